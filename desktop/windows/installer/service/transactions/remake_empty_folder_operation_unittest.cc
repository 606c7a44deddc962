#include "desktop/windows/installer/service/transactions/remake_empty_folder_operation.h"

#include <windows.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "base/files/file_enumerator.h"
#include "base/files/file_util.h"
#include "base/strings/string_util_win.h"
#include "base/test/scoped_temp_dir.h"
#include "base/test/scoped_unix_link_win.h"
#include "base/win/scoped_handle.h"
#include "desktop/windows/installer/service/folder_security_win.h"
#include "desktop/windows/installer/service/test/recorded_folder_security_win.h"
#include "desktop/windows/installer/service/transactions/transaction.h"
#include "gtest/gtest.h"

namespace installer {
namespace {

using test::RecordedFolderSecurity;

// A folder that every user may change, as one a user made below a drive
// root is.
constexpr char16_t kOpenFolder[] =
    u"O:S-1-5-21-1-2-3-1001D:AI(A;OICIID;FA;;;SY)(A;OICIID;FA;;;BA)"
    u"(A;OICIID;0x1301bf;;;AU)";

class RemakeEmptyFolderOperationTest : public testing::Test {
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

  bool Run(Transaction* transaction) {
    return Transaction::RunOperation(
        transaction, std::make_unique<RemakeEmptyFolderOperation>(
                         folder_, kProtectedFolderSecurity));
  }

  base::ScopedTempDir temp_;
  base::FilePath folder_;
  base::FilePath record_;
  std::unique_ptr<RecordedFolderSecurity> security_;
};

// Another's folder at the name as it is made: a folder made there by
// another when the old one has gone.
class PlantingFolderSecurity : public RecordedFolderSecurity {
 public:
  using RecordedFolderSecurity::RecordedFolderSecurity;
  bool Create(const base::FilePath& folder,
              const std::u16string& descriptor) override {
    if (plant) plant();
    return RecordedFolderSecurity::Create(folder, descriptor);
  }
  std::function<void()> plant;
};

// The new folder has the protected list from its start; a rollback leaves
// an empty folder there again, with the list the old one had.
TEST_F(RemakeEmptyFolderOperationTest, MakesANewFolderAndARollbackAnEmptyOne) {
  Transaction transaction;
  ASSERT_TRUE(Run(&transaction));
  EXPECT_EQ(
      (std::vector<std::u16string>{kOpenFolder, kProtectedFolderSecurity}),
      History());
  EXPECT_FALSE(LetsOthersChange(security_->Read(folder_)));
  Transaction::Rollback(&transaction);
  EXPECT_EQ(
      (std::vector<std::u16string>{kOpenFolder, kProtectedFolderSecurity,
                                   u"D:PAI(A;OICIID;FA;;;SY)(A;OICIID;FA;;;BA)"
                                   u"(A;OICIID;0x1301bf;;;AU)"}),
      History());
  EXPECT_TRUE(base::DirectoryExists(folder_));
  EXPECT_TRUE(base::FileEnumerator(folder_, false,
                                   base::FileEnumerator::FILES |
                                       base::FileEnumerator::DIRECTORIES)
                  .Next()
                  .empty());
}

// A folder that holds anything, that another holds open, or that is a link,
// stays as it is, and so does what it leads to.
TEST_F(RemakeEmptyFolderOperationTest, OnlyAnEmptyFolderNobodyHoldsIsTaken) {
  const base::FilePath target = temp_.GetPath().Append(u"target");
  ASSERT_TRUE(base::FileUtil::CreateDirectory(target));
  enum class Kind { kFilled, kHeld, kLink };
  for (Kind kind : {Kind::kFilled, Kind::kHeld, Kind::kLink}) {
    SCOPED_TRACE(static_cast<int>(kind));
    base::win::ScopedHandle held;
    base::ScopedUnixLink link;
    switch (kind) {
      case Kind::kFilled:
        ASSERT_EQ(
            1, base::WriteBufferToFile(folder_.Append(u"userenv.dll"), "x", 1));
        break;
      case Kind::kHeld:
        held.Set(CreateFileW(
            base::as_wcstr(folder_.value()), FILE_LIST_DIRECTORY,
            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
            OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
        ASSERT_TRUE(held.IsValid());
        break;
      case Kind::kLink:
        ASSERT_TRUE(base::DeleteFileOrDirectory(folder_, true));
        ASSERT_TRUE(link.Make(folder_, target));
        break;
    }
    Transaction transaction;
    EXPECT_FALSE(Run(&transaction));
    Transaction::Rollback(&transaction);
    EXPECT_EQ(std::vector<std::u16string>{kOpenFolder}, History());
    EXPECT_TRUE(base::DirectoryExists(target));
    EXPECT_TRUE(base::DirectoryExists(folder_));
    if (kind == Kind::kFilled) {
      EXPECT_TRUE(base::PathExists(folder_.Append(u"userenv.dll")));
      ASSERT_TRUE(
          base::DeleteFileOrDirectory(folder_.Append(u"userenv.dll"), false));
    }
    if (kind == Kind::kLink) {
      ASSERT_TRUE(link.Remove());
      ASSERT_TRUE(base::FileUtil::CreateDirectory(folder_));
    }
  }
}

// A rollback removes no folder it did not make: one another made at the
// name once the old one had gone (the new one then cannot be made), or put
// in place of the new one, stays theirs.
TEST_F(RemakeEmptyFolderOperationTest, ARollbackRemovesOnlyTheFolderItMade) {
  PlantingFolderSecurity planting(record_);
  internal::SetFolderSecurityForTesting(&planting);
  for (bool in_the_gap : {true, false}) {
    SCOPED_TRACE(in_the_gap);
    base::win::ScopedHandle theirs;
    auto plant = [&] {
      ASSERT_TRUE(CreateDirectoryW(base::as_wcstr(folder_.value()), nullptr));
      theirs.Set(CreateFileW(
          base::as_wcstr(folder_.value()), FILE_LIST_DIRECTORY,
          FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
          OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    };
    if (in_the_gap) planting.plant = plant;
    Transaction transaction;
    EXPECT_EQ(!in_the_gap, Run(&transaction));
    planting.plant = nullptr;
    if (!in_the_gap) {
      ASSERT_TRUE(base::DeleteFileOrDirectory(folder_, false));
      plant();
    }
    Transaction::Rollback(&transaction);
    ASSERT_TRUE(theirs.IsValid());
    theirs.Close();
    EXPECT_TRUE(base::DirectoryExists(folder_));
  }
}

}  // namespace
}  // namespace installer
