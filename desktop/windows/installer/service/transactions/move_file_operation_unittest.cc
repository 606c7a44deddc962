#include "desktop/windows/installer/service/transactions/move_file_operation.h"

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "base/files/file_util.h"
#include "base/files/open_without_links_win.h"
#include "base/files/system_path_win.h"
#include "base/strings/utf_string_conversions.h"
#include "base/test/scoped_plain_path_limit_win.h"
#include "base/test/scoped_temp_dir.h"
#include "base/test/scoped_unix_link_win.h"
#include "base/win/scoped_handle.h"
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
    // Through folders held for it.
    bool held;
  } cases[] = {
      {"into existing folder, rolled back", false, true, false, false},
      {"over existing file, rolled back", true, true, false, false},
      {"into missing folder, rolled back", false, false, false, false},
      {"over existing file, committed", true, true, true, false},
      {"into existing folder, held, rolled back", false, true, false, true},
      {"into missing folder, held, rolled back", false, false, false, true},
      {"into existing folder, held, committed", false, true, true, true},
      {"over existing file, held, committed", true, true, true, true},
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
      // Let go before the rollback or commit, as the installer does.
      auto folders = std::make_shared<HeldFolders>();
      if (c.held) {
        folders->Add(source_.DirName());
        folders->Add(temp_.GetPath());
      }
      ASSERT_TRUE(Transaction::RunOperation(
          &transaction,
          std::make_unique<MoveFileOperation>(source_, destination,
                                              MoveFileOperation::kKeepSecurity,
                                              nullptr, folders)));
      folders.reset();
      // An existing file is moved aside on the road by path.
      EXPECT_TRUE(log.Has(
          -1,
          c.held && !c.destination_exists
              ? "Moving " + source_.AsUTF8() + " to " + destination.AsUTF8() +
                    " through held folders"
              : "Moving " + source_.AsUTF8() + "to" + destination.AsUTF8()));
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

// Through held folders a link on the destination's way is taken no more
// than by path: refused where links on the way are, followed where a
// user's own links are.
TEST_F(MoveFileOperationTest, AHeldMoveTakesNoLinkOnTheWay) {
  const base::FilePath victim = temp_.GetPath().Append(u"victim");
  ASSERT_TRUE(base::FileUtil::CreateDirectory(victim.Append(u"sub")));
  ASSERT_TRUE(
      base::FileUtil::CreateDirectory(temp_.GetPath().Append(u"install")));
  base::ScopedUnixLink link;
  ASSERT_TRUE(link.Make(temp_.GetPath().Append(u"install\\J"), victim));
  const base::FilePath destination =
      temp_.GetPath().Append(u"install\\J\\sub\\browser.dll");
  for (base::LinkRule rule :
       {base::LinkRule::kRefuseOnTheWay, base::LinkRule::kFollowOnTheWay}) {
    const bool follow = rule == base::LinkRule::kFollowOnTheWay;
    SCOPED_TRACE(follow);
    base::SetLinkRule(rule);
    auto folders = std::make_shared<HeldFolders>();
    folders->Add(source_.DirName());
    folders->Add(temp_.GetPath().Append(u"install"));
    Transaction transaction;
    EXPECT_EQ(follow, Transaction::RunOperation(
                          &transaction, std::make_unique<MoveFileOperation>(
                                            source_, destination,
                                            MoveFileOperation::kKeepSecurity,
                                            nullptr, folders)));
    folders.reset();
    EXPECT_EQ(follow, base::PathExists(victim.Append(u"sub\\browser.dll")));
    Transaction::Rollback(&transaction);
    EXPECT_TRUE(base::PathExists(source_));
  }
  base::SetLinkRule(base::LinkRule::kRefuseOnTheWay);
}

// The log names the paths and the system's reason.
TEST_F(MoveFileOperationTest, MissingSourceFails) {
  const auto before = TakeFileTreeSnapshot(temp_.GetPath());
  const base::FilePath source = temp_.GetPath().Append(u"missing.dll");
  const base::FilePath destination =
      temp_.GetPath().Append(u"dest\\missing.dll");
  test::ScopedLogCapture log;
  Transaction transaction;
  EXPECT_FALSE(Transaction::RunOperation(
      &transaction, std::make_unique<MoveFileOperation>(source, destination)));
  EXPECT_TRUE(transaction.empty());
  EXPECT_TRUE(log.Has(
      logging::LOG_ERROR,
      "File move failed: " + source.AsUTF8() + " to " + destination.AsUTF8() +
          ": " + logging::SystemErrorCodeToString(ERROR_FILE_NOT_FOUND)));
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

// The real calls, over an installation's worth of moves: files share what
// their folder passed on to the first, a folder moves by name, a file held
// open fails alone, and rollback gives every file back its place and its
// own security.
TEST_F(MoveFileOperationTest, MovesIntoFoldersShareWhatTheFoldersPassOn) {
  const base::FilePath package = source_.DirName();
  const base::FilePath install = temp_.GetPath().Append(u"install");
  const std::vector<std::u16string> files = {
      u"a.dll", u"locales\\en.pak", u"b.dll", u"locales\\fr.pak", u"c.dll"};
  for (const std::u16string& file : files) {
    ASSERT_TRUE(
        base::FileUtil::CreateDirectory(package.Append(file).DirName()));
    ASSERT_TRUE(test::WriteFileContents(
        package.Append(file), "contents of " + package.Append(file).AsUTF8()));
  }
  ASSERT_TRUE(SetFileAttributesW(base::SystemPathArg(package.Append(u"b.dll")),
                                 FILE_ATTRIBUTE_READONLY));
  ASSERT_TRUE(base::FileUtil::CreateDirectory(package.Append(u"data")));
  ASSERT_TRUE(test::WriteFileContents(package.Append(u"data\\x.bin"), "x"));
  const auto before = TakeFileTreeSnapshot(temp_.GetPath());
  FileSecurity::Saved own;
  ASSERT_TRUE(FileSecurity::Get()->Save(package.Append(u"a.dll"), &own));

  auto known = std::make_shared<FileSecurity::FolderSecurities>();
  Transaction transaction;
  auto move = [&](const std::u16string& name) {
    return Transaction::RunOperation(
        &transaction, std::make_unique<MoveFileOperation>(
                          package.Append(name), install.Append(name),
                          MoveFileOperation::kTakeFolderSecurity, known));
  };
  for (const std::u16string& file : files) {
    SCOPED_TRACE(base::UTF16ToUTF8(file));
    ASSERT_TRUE(move(file));
    EXPECT_FALSE(base::PathExists(package.Append(file)));
    EXPECT_EQ("contents of " + package.Append(file).AsUTF8(),
              test::ReadFileContents(install.Append(file)));
    // Whatever the system gave the first file in its folder.
    FileSecurity::Saved given;
    ASSERT_TRUE(FileSecurity::Get()->Save(install.Append(file), &given));
    const FileSecurity::Saved* first =
        known->Find(install.Append(file).DirName());
    ASSERT_TRUE(first);
    EXPECT_EQ(*first, given);
  }
  EXPECT_EQ(2u, known->size());
  ASSERT_TRUE(move(u"data"));
  EXPECT_EQ("x", test::ReadFileContents(install.Append(u"data\\x.bin")));
  EXPECT_EQ(2u, known->size());

  // Held open by a program that does not let it go: that move fails and
  // changes nothing.
  ASSERT_TRUE(test::WriteFileContents(package.Append(u"held.dll"), "held"));
  {
    base::win::ScopedHandle held(CreateFileW(
        base::SystemPathArg(package.Append(u"held.dll")), GENERIC_READ,
        FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(held.IsValid());
    Transaction failed;
    EXPECT_FALSE(Transaction::RunOperation(
        &failed, std::make_unique<MoveFileOperation>(
                     package.Append(u"held.dll"), install.Append(u"held.dll"),
                     MoveFileOperation::kTakeFolderSecurity, known)));
  }
  EXPECT_EQ("held", test::ReadFileContents(package.Append(u"held.dll")));
  EXPECT_FALSE(base::PathExists(install.Append(u"held.dll")));
  ASSERT_TRUE(base::DeleteFileOrDirectory(package.Append(u"held.dll"), false));

  Transaction::Rollback(&transaction);
  EXPECT_EQ(before, TakeFileTreeSnapshot(temp_.GetPath()));
  FileSecurity::Saved back;
  ASSERT_TRUE(FileSecurity::Get()->Save(package.Append(u"a.dll"), &back));
  EXPECT_EQ(own, back);
}

// Past the plain path length, as an installation in a deep folder is.
TEST_F(MoveFileOperationTest, MovesIntoALongFolderTakeItsSecurity) {
  base::ScopedPlainPathLimit limit;
  ASSERT_TRUE(limit.ok());
  const size_t refused = base::ScopedPlainPathLimit::refused();
  const base::FilePath folder = temp_.GetPath().Append(
      std::u16string(250 - temp_.GetPath().value().size(), u'l'));
  const auto before = TakeFileTreeSnapshot(temp_.GetPath());
  auto known = std::make_shared<FileSecurity::FolderSecurities>();
  Transaction transaction;
  for (const char16_t* name : {u"browser.dll", u"second.dll"}) {
    const base::FilePath source = source_.DirName().Append(name);
    if (source != source_) {
      ASSERT_TRUE(test::WriteFileContents(source, "second"));
    }
    ASSERT_TRUE(Transaction::RunOperation(
        &transaction, std::make_unique<MoveFileOperation>(
                          source, folder.Append(name),
                          MoveFileOperation::kTakeFolderSecurity, known)));
  }
  EXPECT_EQ(1u, known->size());
  EXPECT_EQ("moved contents",
            test::ReadFileContents(folder.Append(u"browser.dll")));
  Transaction::Rollback(&transaction);
  ASSERT_TRUE(base::DeleteFileOrDirectory(
      source_.DirName().Append(u"second.dll"), false));
  EXPECT_EQ(before, TakeFileTreeSnapshot(temp_.GetPath()));
  EXPECT_EQ(refused, base::ScopedPlainPathLimit::refused());
}

}  // namespace
}  // namespace installer
