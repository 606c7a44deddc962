#include "desktop/windows/installer/service/transactions/move_file_operation.h"

#include <memory>
#include <string>
#include <vector>

#include "base/files/file_util.h"
#include "base/test/scoped_temp_dir.h"
#include "desktop/windows/installer/service/test/log_capture.h"
#include "desktop/windows/installer/service/test/machine_state_snapshot.h"
#include "desktop/windows/installer/service/transactions/transaction.h"
#include "gtest/gtest.h"

namespace installer {
namespace {

using test::TakeFileTreeSnapshot;

class MoveFileOperationTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(temp_.CreateUniqueTempDir());
    source_ = temp_.GetPath().Append(u"package\\browser.dll");
    ASSERT_TRUE(base::FileUtil::CreateDirectory(source_.DirName()));
    ASSERT_TRUE(test::WriteFileContents(source_, "moved contents"));
  }

  base::ScopedTempDir temp_;
  base::FilePath source_;
};

// Rollback brings the file back under its source name, and a file that was
// at the destination before comes back there; commit keeps the move.
TEST_F(MoveFileOperationTest, RollbackAndCommit) {
  struct Case {
    const char* name;
    bool destination_exists;
    bool destination_folder_exists;
    bool commit;
  } cases[] = {
      {"into existing folder, rolled back", false, true, false},
      {"over existing file, rolled back", true, true, false},
      {"into missing folder, rolled back", false, false, false},
      {"over existing file, committed", true, true, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const base::FilePath folder = temp_.GetPath().Append(
        c.destination_folder_exists ? u"install" : u"new\\install");
    const base::FilePath destination = folder.Append(u"browser.dll");
    ASSERT_TRUE(
        base::FileUtil::CreateDirectory(temp_.GetPath().Append(u"install")));
    if (c.destination_exists) {
      ASSERT_TRUE(test::WriteFileContents(destination, "old contents"));
    }
    const auto before = TakeFileTreeSnapshot(temp_.GetPath());
    {
      Transaction transaction;
      test::ScopedLogCapture log;
      ASSERT_TRUE(Transaction::RunOperation(
          &transaction,
          std::make_unique<MoveFileOperation>(source_, destination)));
      EXPECT_TRUE(log.Has(
          -1, "Moving " + source_.AsUTF8() + "to" + destination.AsUTF8()));
      EXPECT_FALSE(base::PathExists(source_));
      if (!c.commit) Transaction::Rollback(&transaction);
    }
    auto after = TakeFileTreeSnapshot(temp_.GetPath());
    if (c.commit) {
      std::string contents;
      ASSERT_TRUE(base::FileUtil::ReadFileToString(destination, &contents));
      EXPECT_EQ("moved contents", contents);
      EXPECT_FALSE(base::PathExists(source_));
      EXPECT_TRUE(test::FindEntriesEndingWith(after, ".old").empty());
      // Back to the start for the next case.
      ASSERT_TRUE(base::MoveFileOrDirectory(destination, source_));
    } else {
      EXPECT_EQ(before, after);
    }
    base::DeleteFileOrDirectory(temp_.GetPath().Append(u"install"), true);
    base::DeleteFileOrDirectory(temp_.GetPath().Append(u"new"), true);
  }
}

TEST_F(MoveFileOperationTest, MissingSourceFails) {
  const auto before = TakeFileTreeSnapshot(temp_.GetPath());
  Transaction transaction;
  EXPECT_FALSE(Transaction::RunOperation(
      &transaction, std::make_unique<MoveFileOperation>(
                        temp_.GetPath().Append(u"missing.dll"),
                        temp_.GetPath().Append(u"dest\\missing.dll"))));
  EXPECT_TRUE(transaction.empty());
  // The destination folder made for it went with the failure.
  EXPECT_EQ(before, TakeFileTreeSnapshot(temp_.GetPath()));
}

// Records the security calls; Wine keeps no access lists to look at.
class RecordingFileSecurity : public FileSecurity {
 public:
  RecordingFileSecurity() { FileSecurity::SetForTesting(this); }
  ~RecordingFileSecurity() override { FileSecurity::SetForTesting(nullptr); }

  bool Save(const base::FilePath& path, Saved* saved) override {
    calls.push_back("Save " + path.BaseName().AsUTF8() + " in " +
                    path.DirName().BaseName().AsUTF8());
    *saved = {1, 2, 3};
    return true;
  }
  bool TakeFolderSecurity(const base::FilePath& path) override {
    calls.push_back("Take " + path.BaseName().AsUTF8() + " in " +
                    path.DirName().BaseName().AsUTF8());
    return take_succeeds;
  }
  bool Restore(const base::FilePath& path, const Saved& saved) override {
    calls.push_back("Restore " + path.BaseName().AsUTF8() + " in " +
                    path.DirName().BaseName().AsUTF8() + " " +
                    std::to_string(saved.size()));
    return true;
  }

  std::vector<std::string> calls;
  bool take_succeeds = true;
};

TEST_F(MoveFileOperationTest, TheMovedFileTakesItsNewFolderSecurity) {
  const base::FilePath destination =
      temp_.GetPath().Append(u"install").Append(u"browser.dll");
  const auto before = TakeFileTreeSnapshot(temp_.GetPath());
  for (bool take_succeeds : {true, false}) {
    SCOPED_TRACE(take_succeeds);
    RecordingFileSecurity security;
    security.take_succeeds = take_succeeds;
    Transaction transaction;
    EXPECT_EQ(take_succeeds,
              Transaction::RunOperation(
                  &transaction, std::make_unique<MoveFileOperation>(
                                    source_, destination,
                                    MoveFileOperation::kTakeFolderSecurity)));
    // Its own security comes back with its old place, after a failure too.
    if (take_succeeds) Transaction::Rollback(&transaction);
    EXPECT_EQ((std::vector<std::string>{"Save browser.dll in package",
                                        "Take browser.dll in install",
                                        "Restore browser.dll in package 3"}),
              security.calls);
    EXPECT_EQ(before, TakeFileTreeSnapshot(temp_.GetPath()));
  }
  // Without the option nothing is asked; with the real calls the move
  // succeeds.
  for (MoveFileOperation::Security option :
       {MoveFileOperation::kKeepSecurity,
        MoveFileOperation::kTakeFolderSecurity}) {
    std::unique_ptr<RecordingFileSecurity> security;
    if (option == MoveFileOperation::kKeepSecurity)
      security = std::make_unique<RecordingFileSecurity>();
    Transaction transaction;
    ASSERT_TRUE(Transaction::RunOperation(
        &transaction,
        std::make_unique<MoveFileOperation>(source_, destination, option)));
    Transaction::Rollback(&transaction);
    if (security) {
      EXPECT_TRUE(security->calls.empty());
    }
    EXPECT_EQ(before, TakeFileTreeSnapshot(temp_.GetPath()));
  }
}

}  // namespace
}  // namespace installer
