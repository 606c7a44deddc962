#include "desktop/windows/installer/service/transactions/protect_folder_operation.h"

#include <memory>
#include <string>
#include <vector>

#include "base/files/file_util.h"
#include "base/test/scoped_temp_dir.h"
#include "desktop/windows/installer/service/folder_security_win.h"
#include "desktop/windows/installer/service/test/recorded_folder_security_win.h"
#include "desktop/windows/installer/service/transactions/transaction.h"
#include "gtest/gtest.h"

namespace installer {
namespace {

using test::RecordedFolderSecurity;

// A folder that every user may change, as an install folder below a drive
// root is before the installer protects it.
constexpr char16_t kOpenFolder[] =
    u"O:S-1-5-21-1-2-3-1001D:AI(A;OICIID;FA;;;SY)(A;OICIID;FA;;;BA)"
    u"(A;OICIID;0x1301bf;;;AU)";

class ProtectFolderOperationTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(temp_.CreateUniqueTempDir());
    folder_ = temp_.GetPath().Append(u"Velna");
    record_ = temp_.GetPath().Append(u"security.txt");
    security_ = std::make_unique<RecordedFolderSecurity>(record_);
    ASSERT_TRUE(security_->Create(folder_, kOpenFolder));
    internal::SetFolderSecurityForTesting(security_.get());
  }
  void TearDown() override { internal::SetFolderSecurityForTesting(nullptr); }

  std::vector<std::u16string> History() const {
    return RecordedFolderSecurity::History(record_, folder_);
  }

  base::ScopedTempDir temp_;
  base::FilePath folder_;
  base::FilePath record_;
  std::unique_ptr<RecordedFolderSecurity> security_;
};

TEST_F(ProtectFolderOperationTest, ProtectsAndARollbackRestoresTheOldList) {
  Transaction transaction;
  ASSERT_TRUE(Transaction::RunOperation(
      &transaction, std::make_unique<ProtectFolderOperation>(folder_)));
  EXPECT_EQ(
      (std::vector<std::u16string>{kOpenFolder, kProtectedFolderSecurity}),
      History());
  EXPECT_FALSE(LetsOthersChange(security_->Read(folder_)));
  Transaction::Rollback(&transaction);
  EXPECT_EQ((std::vector<std::u16string>{kOpenFolder, kProtectedFolderSecurity,
                                         kOpenFolder}),
            History());
}

TEST_F(ProtectFolderOperationTest, NothingChangesWhenItCannotBeDone) {
  const struct {
    const char* name;
    base::FilePath folder;
    bool fail_writes;
  } cases[] = {
      {"a missing folder", temp_.GetPath().Append(u"missing"), false},
      {"a list that cannot be written", folder_, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    if (c.fail_writes) security_->FailWrites();
    Transaction transaction;
    EXPECT_FALSE(Transaction::RunOperation(
        &transaction, std::make_unique<ProtectFolderOperation>(c.folder)));
    Transaction::Rollback(&transaction);
    EXPECT_EQ(std::vector<std::u16string>{kOpenFolder}, History());
    EXPECT_TRUE(RecordedFolderSecurity::History(record_, c.folder).size() <=
                1u);
  }
}

}  // namespace
}  // namespace installer
