#include "desktop/windows/installer/service/transactions/create_folder_operation.h"

#include <memory>
#include <string>

#include "base/files/file_util.h"
#include "base/test/scoped_temp_dir.h"
#include "desktop/windows/installer/service/folder_security_win.h"
#include "desktop/windows/installer/service/test/log_capture.h"
#include "desktop/windows/installer/service/test/machine_state_snapshot.h"
#include "desktop/windows/installer/service/test/recorded_folder_security_win.h"
#include "desktop/windows/installer/service/transactions/transaction.h"
#include "gtest/gtest.h"

namespace installer {
namespace {

using test::TakeFileTreeSnapshot;

class CreateFolderOperationTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(temp_.CreateUniqueTempDir());
    ancestor_ = temp_.GetPath().Append(u"existing");
    ASSERT_TRUE(base::FileUtil::CreateDirectory(ancestor_));
  }

  base::ScopedTempDir temp_;
  base::FilePath ancestor_;
};

TEST_F(CreateFolderOperationTest, ThreeLevelsAreRemovedButNeverTheAncestor) {
  const base::FilePath folder = ancestor_.Append(u"a\\b\\c");
  const auto before = TakeFileTreeSnapshot(temp_.GetPath());
  test::ScopedLogCapture log;
  Transaction transaction;
  ASSERT_TRUE(Transaction::RunOperation(
      &transaction, std::make_unique<CreateFolderOperation>(folder)));
  EXPECT_TRUE(base::DirectoryExists(folder));
  EXPECT_TRUE(log.Has(-1, "Folder created successfully"));
  Transaction::Rollback(&transaction);
  EXPECT_EQ(before, TakeFileTreeSnapshot(temp_.GetPath()));
  EXPECT_TRUE(base::DirectoryExists(ancestor_));
}

TEST_F(CreateFolderOperationTest, RollbackStopsAtAFolderThatIsNotEmpty) {
  const base::FilePath folder = ancestor_.Append(u"a\\b\\c");
  Transaction transaction;
  ASSERT_TRUE(Transaction::RunOperation(
      &transaction, std::make_unique<CreateFolderOperation>(folder)));
  // Something else put a file into the middle level meanwhile.
  const base::FilePath kept = ancestor_.Append(u"a\\b\\kept.txt");
  ASSERT_EQ(1, base::WriteBufferToFile(kept, "k", 1));
  Transaction::Rollback(&transaction);
  EXPECT_FALSE(base::PathExists(folder));
  EXPECT_TRUE(base::PathExists(kept));
}

TEST_F(CreateFolderOperationTest, ExistingFolderRecordsNothing) {
  test::ScopedLogCapture log;
  Transaction transaction;
  ASSERT_TRUE(Transaction::RunOperation(
      &transaction, std::make_unique<CreateFolderOperation>(ancestor_)));
  EXPECT_TRUE(log.Has(-1, "Folder already exists"));
  Transaction::Rollback(&transaction);
  EXPECT_TRUE(base::DirectoryExists(ancestor_));
}

// With a descriptor the folder and its missing parents are made with it; a
// folder someone made first fails, and a rollback removes only what was
// made.
TEST_F(CreateFolderOperationTest, AFolderWithADescriptorIsMadeWithIt) {
  const base::FilePath record = temp_.GetPath().Append(u"record");
  test::RecordedFolderSecurity security(record);
  internal::SetFolderSecurityForTesting(&security);
  const base::FilePath folder = ancestor_.Append(u"a\\b");
  const auto before = TakeFileTreeSnapshot(ancestor_);
  Transaction transaction;
  ASSERT_TRUE(Transaction::RunOperation(&transaction,
                                        std::make_unique<CreateFolderOperation>(
                                            folder, kProtectedFolderSecurity)));
  EXPECT_TRUE(test::RecordedFolderSecurity::MadeWithFirst(record, folder));
  EXPECT_TRUE(
      test::RecordedFolderSecurity::MadeWithFirst(record, folder.DirName()));
  EXPECT_TRUE(test::RecordedFolderSecurity::History(record, ancestor_).empty());
  Transaction::Rollback(&transaction);
  EXPECT_EQ(before, TakeFileTreeSnapshot(ancestor_));

  // Made by another between the look and the creation.
  class Racing : public test::RecordedFolderSecurity {
   public:
    using RecordedFolderSecurity::RecordedFolderSecurity;
    bool Create(const base::FilePath& folder,
                const std::u16string& descriptor) override {
      base::FileUtil::CreateDirectory(folder);
      return RecordedFolderSecurity::Create(folder, descriptor);
    }
  } racing(record);
  internal::SetFolderSecurityForTesting(&racing);
  EXPECT_FALSE(Transaction::RunOperation(
      &transaction, std::make_unique<CreateFolderOperation>(
                        folder, kProtectedFolderSecurity)));
  Transaction::Rollback(&transaction);
  EXPECT_FALSE(base::PathExists(folder.DirName()));
  internal::SetFolderSecurityForTesting(nullptr);
}

TEST_F(CreateFolderOperationTest, PathThroughAFileFails) {
  const base::FilePath file = ancestor_.Append(u"file");
  ASSERT_EQ(1, base::WriteBufferToFile(file, "f", 1));
  const auto before = TakeFileTreeSnapshot(temp_.GetPath());
  test::ScopedLogCapture log;
  Transaction transaction;
  EXPECT_FALSE(Transaction::RunOperation(
      &transaction,
      std::make_unique<CreateFolderOperation>(file.Append(u"x\\y"))));
  EXPECT_TRUE(log.Has(logging::LOG_ERROR, "Failed folder creation"));
  EXPECT_EQ(before, TakeFileTreeSnapshot(temp_.GetPath()));
}

TEST_F(CreateFolderOperationTest, LevelsMadeBeforeAFailureAreRolledBack) {
  // "a\b" can be made, "a\b\bad?" cannot: "?" is no file name character.
  const base::FilePath folder = ancestor_.Append(u"a\\b\\bad?\\d");
  const auto before = TakeFileTreeSnapshot(temp_.GetPath());
  Transaction transaction;
  EXPECT_FALSE(Transaction::RunOperation(
      &transaction, std::make_unique<CreateFolderOperation>(folder)));
  EXPECT_EQ(before, TakeFileTreeSnapshot(temp_.GetPath()));
}

}  // namespace
}  // namespace installer
