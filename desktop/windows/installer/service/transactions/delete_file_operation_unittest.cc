#include "desktop/windows/installer/service/transactions/delete_file_operation.h"

#include <aclapi.h>
#include <windows.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "base/files/file_attributes_win.h"
#include "base/files/file_util.h"
#include "base/files/open_without_links_win.h"
#include "base/files/system_path_win.h"
#include "base/strings/string_number_conversions.h"
#include "base/strings/string_util.h"
#include "base/strings/string_util_win.h"
#include "base/strings/utf_string_conversions.h"
#include "base/test/scoped_plain_path_limit_win.h"
#include "base/test/scoped_temp_dir.h"
#include "base/test/scoped_unix_link_win.h"
#include "base/time/time.h"
#include "base/win/registry.h"
#include "base/win/scoped_handle.h"
#include "desktop/windows/installer/service/access_control.h"
#include "desktop/windows/installer/service/test/in_use_child.h"
#include "desktop/windows/installer/service/test/log_capture.h"
#include "desktop/windows/installer/service/test/machine_state_snapshot.h"
#include "desktop/windows/installer/service/test/security_test_util.h"
#include "desktop/windows/installer/service/transactions/file_operation_helpers.h"
#include "desktop/windows/installer/service/transactions/transaction.h"
#include "gtest/gtest.h"

namespace installer {
namespace {

using test::FindEntriesEndingWith;
using test::TakeFileTreeSnapshot;

constexpr char16_t kSessionManagerKey[] =
    u"SYSTEM\\CurrentControlSet\\Control\\Session Manager";
constexpr char16_t kPendingRenames[] = u"PendingFileRenameOperations";

// The strings of the pending renames, in pairs (source, target).
std::vector<std::u16string> ReadPendingRenames() {
  base::win::RegKey key;
  std::vector<std::u16string> entries;
  if (key.Open(HKEY_LOCAL_MACHINE, kSessionManagerKey, KEY_QUERY_VALUE) !=
      ERROR_SUCCESS) {
    return entries;
  }
  DWORD size = 0;
  DWORD type = 0;
  if (RegQueryValueExW(key.Handle(), base::as_wcstr(kPendingRenames), nullptr,
                       &type, nullptr, &size) != ERROR_SUCCESS ||
      type != REG_MULTI_SZ) {
    return entries;
  }
  std::u16string data(size / sizeof(char16_t), u'\0');
  RegQueryValueExW(key.Handle(), base::as_wcstr(kPendingRenames), nullptr,
                   nullptr, reinterpret_cast<BYTE*>(data.data()), &size);
  // Pairs may hold an empty target, so split by position, not by emptiness.
  size_t start = 0;
  while (start < data.size()) {
    const size_t end = data.find(u'\0', start);
    entries.push_back(data.substr(start, end - start));
    if (end == std::u16string::npos) break;
    start = end + 1;
  }
  // The list ends with two NULs: drop the empty tail.
  while (entries.size() % 2 && entries.back().empty()) entries.pop_back();
  return entries;
}

// Removes the pending renames whose source ends with |name|.
void RemovePendingRenames(const std::u16string& name) {
  std::vector<std::u16string> entries = ReadPendingRenames();
  std::u16string kept;
  for (size_t i = 0; i + 1 < entries.size(); i += 2) {
    const std::u16string& source = entries[i];
    if (source.size() >= name.size() &&
        source.compare(source.size() - name.size(), name.size(), name) == 0) {
      continue;
    }
    kept += source + u'\0' + entries[i + 1] + u'\0';
  }
  base::win::RegKey key;
  if (key.Open(HKEY_LOCAL_MACHINE, kSessionManagerKey, KEY_SET_VALUE) !=
      ERROR_SUCCESS) {
    return;
  }
  if (kept.empty()) {
    key.DeleteValue(kPendingRenames);
  } else {
    kept += u'\0';
    key.WriteValue(kPendingRenames, kept.data(),
                   static_cast<DWORD>(kept.size() * sizeof(char16_t)),
                   REG_MULTI_SZ);
  }
}

// Whether a line of |log| ends with |end|.
bool LoggedEnding(const test::ScopedLogCapture& log, const char* end) {
  for (const std::string& line : log.Messages(-1)) {
    if (base::EndsWith(line, end, base::CompareCase::SENSITIVE)) return true;
  }
  return false;
}

// Whether the file was moved aside through its held folder.
bool MovedInHeldFolder(const test::ScopedLogCapture& log) {
  return LoggedEnding(log, " in its held folder");
}

class DeleteFileOperationTest : public testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(temp_.CreateUniqueTempDir()); }

  base::FilePath Path(const char16_t* relative) const {
    return temp_.GetPath().Append(relative);
  }

  // A folder in the test's folder whose path has |length| units.
  base::FilePath LongFolder(size_t length) const {
    return temp_.GetPath().Append(
        std::u16string(length - temp_.GetPath().value().size() - 1, u'l'));
  }

  // Folders held below the test's folder, or none.
  std::shared_ptr<HeldFolders> Held(bool held) const {
    auto folders = std::make_shared<HeldFolders>();
    if (held) folders->Add(temp_.GetPath());
    return folders;
  }

  std::vector<std::string> AsideFiles() const {
    return FindEntriesEndingWith(TakeFileTreeSnapshot(temp_.GetPath()), ".old");
  }

  base::ScopedTempDir temp_;
};

TEST_F(DeleteFileOperationTest, MissingFileSucceedsAndCommitsNothing) {
  test::ScopedLogCapture log;
  {
    Transaction transaction;
    ASSERT_TRUE(Transaction::RunOperation(
        &transaction, std::make_unique<DeleteFileOperation>(
                          Path(u"empty\\missing.dll"), true, true)));
  }
  EXPECT_TRUE(log.Has(-1, "File does not exist. Nothing to do"));
  // Removing empty parents is commit work of a file that was moved only.
  EXPECT_TRUE(base::DirectoryExists(temp_.GetPath()));
}

TEST_F(DeleteFileOperationTest, RollbackBringsFileBackAndDeletesNothing) {
  const base::FilePath file = Path(u"folder\\browser.dll");
  ASSERT_TRUE(base::FileUtil::CreateDirectory(file.DirName()));
  ASSERT_TRUE(test::WriteFileContents(file, "contents"));
  const auto before = TakeFileTreeSnapshot(temp_.GetPath());
  for (bool held : {false, true}) {
    SCOPED_TRACE(held);
    test::ScopedLogCapture log;
    Transaction transaction;
    auto folders = Held(held);
    ASSERT_TRUE(Transaction::RunOperation(
        &transaction,
        std::make_unique<DeleteFileOperation>(file, true, true, folders)));
    folders.reset();
    EXPECT_FALSE(base::PathExists(file));
    EXPECT_EQ(1u, AsideFiles().size());
    EXPECT_EQ(held, MovedInHeldFolder(log));
    Transaction::Rollback(&transaction);
    EXPECT_EQ(before, TakeFileTreeSnapshot(temp_.GetPath()));
  }
}

// An aside copy is not moved aside again (ended before its commit, a run
// would leave a name no later run knows): it goes in place, at commit only.
TEST_F(DeleteFileOperationTest, AnAsideCopyGoesInPlaceAtCommit) {
  const base::FilePath copy = Path(u"folder\\launcher.exe.1700000000.old");
  ASSERT_TRUE(base::FileUtil::CreateDirectory(copy.DirName()));
  ASSERT_TRUE(test::WriteFileContents(copy, "aside"));
  const auto before = TakeFileTreeSnapshot(temp_.GetPath());
  for (bool commit : {false, true}) {
    Transaction transaction;
    ASSERT_TRUE(Transaction::RunOperation(
        &transaction,
        std::make_unique<DeleteFileOperation>(copy, false, true)));
    EXPECT_EQ(before, TakeFileTreeSnapshot(temp_.GetPath())) << commit;
    if (!commit) Transaction::Rollback(&transaction);
  }
  EXPECT_FALSE(base::PathExists(copy.DirName()));
}

TEST_F(DeleteFileOperationTest, CommitDeletesAsideFileAndEmptiedParents) {
  struct Case {
    bool remove_empty_parents;
    bool b_removed;
    bool held;
  } cases[] = {
      {true, true, false},
      {false, false, false},
      {true, true, true},
      {false, false, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.remove_empty_parents);
    SCOPED_TRACE(c.held);
    // a holds another file, so only a\b\c and a\b may go.
    const base::FilePath file = Path(u"a\\b\\c\\launcher.exe");
    ASSERT_TRUE(base::FileUtil::CreateDirectory(file.DirName()));
    ASSERT_TRUE(test::WriteFileContents(file, "contents"));
    ASSERT_TRUE(test::WriteFileContents(Path(u"a\\other.txt"), "other"));
    {
      test::ScopedLogCapture log;
      {
        Transaction transaction;
        // Let go before the commit, as the installer does.
        auto folders = Held(c.held);
        ASSERT_TRUE(Transaction::RunOperation(
            &transaction, std::make_unique<DeleteFileOperation>(
                              file, false, c.remove_empty_parents, folders)));
        folders.reset();
        EXPECT_EQ(c.held, MovedInHeldFolder(log));
      }
      // The file moved in its held folder goes by the handle it moved with.
      EXPECT_EQ(c.held, LoggedEnding(log, " through its handle"));
    }
    EXPECT_TRUE(AsideFiles().empty());
    EXPECT_FALSE(base::PathExists(file));
    EXPECT_EQ(!c.b_removed, base::DirectoryExists(Path(u"a\\b")));
    EXPECT_TRUE(base::PathExists(Path(u"a\\other.txt")));
    ASSERT_TRUE(base::DeleteFileOrDirectory(Path(u"a"), true));
  }
}

// Only the last file of a folder tries its folders at commit, as the
// installer asks: when that one was gone already, the folder the others
// emptied still goes, and a rollback removes nothing.
TEST_F(DeleteFileOperationTest, AnAbsentLastFileStillRemovesTheEmptiedFolder) {
  for (bool commit : {true, false}) {
    SCOPED_TRACE(commit);
    const base::FilePath file = Path(u"a\\b\\present.dll");
    ASSERT_TRUE(base::FileUtil::CreateDirectory(file.DirName()));
    ASSERT_TRUE(test::WriteFileContents(file, "contents"));
    ASSERT_TRUE(test::WriteFileContents(Path(u"a\\other.txt"), "other"));
    {
      Transaction transaction;
      ASSERT_TRUE(Transaction::RunOperation(
          &transaction,
          std::make_unique<DeleteFileOperation>(file, false, false)));
      ASSERT_TRUE(Transaction::RunOperation(
          &transaction, std::make_unique<DeleteFileOperation>(
                            Path(u"a\\b\\absent.dll"), false, true)));
      if (!commit) Transaction::Rollback(&transaction);
    }
    EXPECT_NE(commit, base::PathExists(Path(u"a\\b")));
    EXPECT_NE(commit, base::PathExists(file));
    ASSERT_TRUE(base::DeleteFileOrDirectory(Path(u"a"), true));
  }
}

// A process that ends between a deletion and its commit leaves the aside
// copy: it is found by its name, and names that merely look alike are not.
TEST_F(DeleteFileOperationTest, FindsTheAsideCopiesOfAPath) {
  const base::FilePath file = Path(u"launcher.exe");
  ASSERT_TRUE(test::WriteFileContents(file, "contents"));
  for (const char16_t* name :
       {u"launcher.exe.1700000000.old", u"LAUNCHER.EXE.12.old",
        u"launcher.exe.x1.old", u"launcher.exe..old", u"launcher.exe.old",
        u"launcher.exe.1.old.txt", u"launcher.exeb.1.old",
        u"other.exe.1.old"}) {
    ASSERT_TRUE(test::WriteFileContents(Path(name), "aside"));
  }
  ASSERT_TRUE(base::FileUtil::CreateDirectory(Path(u"launcher.exe.5.old")));
  std::vector<std::u16string> expected = {u"LAUNCHER.EXE.12.old",
                                          u"launcher.exe.1700000000.old",
                                          u"launcher.exe.5.old"};
  {
    Transaction transaction;
    ASSERT_TRUE(Transaction::RunOperation(
        &transaction,
        std::make_unique<DeleteFileOperation>(file, false, false)));
    std::vector<std::u16string> found;
    for (const base::FilePath& copy :
         DeleteFileOperation::FindAsideCopies(file))
      found.push_back(copy.BaseName().value());
    std::sort(found.begin(), found.end());
    // The operation's own aside copy is one of them.
    ASSERT_EQ(expected.size() + 1, found.size());
    Transaction::Rollback(&transaction);
  }
  std::vector<std::u16string> found;
  for (const base::FilePath& copy : DeleteFileOperation::FindAsideCopies(file))
    found.push_back(copy.BaseName().value());
  std::sort(found.begin(), found.end());
  EXPECT_EQ(expected, found);
  EXPECT_TRUE(
      DeleteFileOperation::FindAsideCopies(Path(u"missing\\a.txt")).empty());
}

TEST(DeleteFileOperationNamesTest, TellsAsideCopyNames) {
  const struct {
    const char16_t* name;
    const char16_t* original;  // null: not an aside copy's name
  } kCases[] = {
      {u"a.lnk.1700000000.old", u"a.lnk"},
      {u"a.1.OLD", u"a"},
      {u"a.b.c.12.old", u"a.b.c"},
      {u"a.old", nullptr},
      {u"a..old", nullptr},
      {u".1.old", nullptr},
      {u"a.1x.old", nullptr},
      {u"a.1.old.txt", nullptr},
      {u".old", nullptr},
      {u"", nullptr},
  };
  for (const auto& test_case : kCases) {
    SCOPED_TRACE(base::UTF16ToUTF8(test_case.name));
    std::u16string original = u"unchanged";
    EXPECT_EQ(test_case.original != nullptr,
              DeleteFileOperation::IsAsideCopyName(test_case.name, &original));
    EXPECT_EQ(test_case.original ? test_case.original : u"unchanged", original);
  }
}

TEST_F(DeleteFileOperationTest, TakenAsideNameFails) {
  const base::FilePath file = Path(u"browser.dll");
  ASSERT_TRUE(test::WriteFileContents(file, "contents"));
  // Every name the next seconds could give is taken.
  const int64_t now = base::Time::Now().ToTimeT();
  for (int64_t seconds = now - 1; seconds <= now + 5; ++seconds) {
    ASSERT_TRUE(test::WriteFileContents(
        file.AddExtension(base::Int64ToString16(seconds) + u".old"), "taken"));
  }
  const auto before = TakeFileTreeSnapshot(temp_.GetPath());
  test::ScopedLogCapture log;
  Transaction transaction;
  EXPECT_FALSE(Transaction::RunOperation(
      &transaction, std::make_unique<DeleteFileOperation>(file, false, false)));
  const std::vector<std::string> errors = log.Messages(logging::LOG_ERROR);
  ASSERT_EQ(1u, errors.size());
  EXPECT_EQ(0u, errors[0].find("Temporary file with name" + file.AsUTF8()));
  EXPECT_NE(std::string::npos, errors[0].find(".oldalready exists"));
  EXPECT_EQ(before, TakeFileTreeSnapshot(temp_.GetPath()));
}

// Left to us: a file whose move back fails stays under its aside name, and
// the destructor must neither delete it nor schedule its deletion.
TEST_F(DeleteFileOperationTest, FileThatCannotMoveBackIsNeverDeleted) {
  const base::FilePath file = Path(u"browser.dll");
  ASSERT_TRUE(test::WriteFileContents(file, "precious"));
  {
    Transaction transaction;
    ASSERT_TRUE(Transaction::RunOperation(
        &transaction,
        std::make_unique<DeleteFileOperation>(file, false, true)));
    // A folder now stands where the file must go back.
    ASSERT_TRUE(base::FileUtil::CreateDirectory(file));
    ASSERT_TRUE(
        test::WriteFileContents(file.Append(u"blocker.txt"), "blocker"));
    Transaction::Rollback(&transaction);
  }
  const std::vector<std::string> aside = AsideFiles();
  ASSERT_EQ(1u, aside.size());
  std::string contents;
  ASSERT_TRUE(base::FileUtil::ReadFileToString(
      Path(base::UTF8ToUTF16(aside[0]).c_str()), &contents));
  EXPECT_EQ("precious", contents);
  for (const std::u16string& entry : ReadPendingRenames())
    EXPECT_EQ(std::u16string::npos, entry.find(u"browser.dll"));
}

// At commit an aside file that cannot be deleted is left to the system to
// delete at the next restart, also one beyond MAX_PATH; where a run forbids
// that (others may change a folder on the way), it stays and is said.
TEST_F(DeleteFileOperationTest, UndeletableAsideFileIsScheduledForRestart) {
  const std::u16string unique_name =
      u"scheduled_" + base::UintToString16(GetCurrentProcessId()) + u".txt";
  const base::FilePath long_folder = LongFolder(250);
  base::ScopedPlainPathLimit limit;
  ASSERT_TRUE(limit.ok());
  for (const auto& [folder, allowed] : {std::make_pair(temp_.GetPath(), true),
                                        std::make_pair(long_folder, true),
                                        std::make_pair(long_folder, false)}) {
    SCOPED_TRACE(folder.value().size());
    SCOPED_TRACE(allowed);
    SetDeleteAtRestartAllowed(allowed);
    test::ScopedLogCapture log;
    ASSERT_TRUE(base::FileUtil::CreateDirectory(folder));
    const base::FilePath file = folder.Append(unique_name);
    ASSERT_TRUE(test::WriteFileContents(file, "contents"));
    base::FilePath aside;
    {
      auto transaction = std::make_unique<Transaction>();
      ASSERT_TRUE(Transaction::RunOperation(
          transaction.get(),
          std::make_unique<DeleteFileOperation>(file, false, false)));
      const std::vector<base::FilePath> copies =
          DeleteFileOperation::FindAsideCopies(file);
      ASSERT_EQ(1u, copies.size());
      aside = copies[0];
      // Held without delete sharing, so the deletion at commit fails.
      base::win::ScopedHandle holder(
          CreateFileW(base::SystemPathArg(aside), GENERIC_READ, FILE_SHARE_READ,
                      nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
      ASSERT_TRUE(holder.IsValid());
      transaction.reset();
    }
    EXPECT_TRUE(base::PathExists(aside));
    bool scheduled = false;
    const std::vector<std::u16string> renames = ReadPendingRenames();
    for (size_t i = 0; i + 1 < renames.size(); i += 2) {
      // The system's own spelling: "\??\" and the absolute path.
      if (base::EndsWith16(renames[i], aside.value(),
                           base::CompareCase::INSENSITIVE_ASCII)) {
        scheduled = true;
        EXPECT_TRUE(renames[i + 1].empty());
      }
    }
    RemovePendingRenames(aside.BaseName().value());
    SetDeleteAtRestartAllowed(true);
    EXPECT_EQ(allowed, scheduled);
    bool left = false;
    for (const std::string& line : log.Messages(logging::LOG_WARNING)) {
      left |=
          line.rfind("Leaving " + aside.AsUTF8() + ": it cannot be deleted now",
                     0) == 0;
    }
    EXPECT_EQ(!allowed, left);
    ASSERT_TRUE(base::DeleteFileOrDirectory(aside, false));
  }
}

// Beyond MAX_PATH (the file 270 units, 285 aside): moved aside and found
// there, back at a rollback, and deleted with the folder it emptied at the
// commit.
TEST_F(DeleteFileOperationTest, LongPathsAreMovedAsideAndBack) {
  base::ScopedPlainPathLimit limit;
  ASSERT_TRUE(limit.ok());
  const size_t refused = base::ScopedPlainPathLimit::refused();
  const base::FilePath folder = LongFolder(240);
  const base::FilePath sub = folder.Append(u"sub");
  const base::FilePath file =
      sub.Append(std::u16string(270 - sub.value().size() - 5, u'f') + u".exe");
  ASSERT_EQ(270u, file.value().size());
  ASSERT_TRUE(base::FileUtil::CreateDirectory(sub));
  ASSERT_TRUE(test::WriteFileContents(file, "contents"));
  ASSERT_TRUE(test::WriteFileContents(folder.Append(u"other.txt"), "other"));
  const auto before = TakeFileTreeSnapshot(temp_.GetPath());
  {
    Transaction transaction;
    ASSERT_TRUE(Transaction::RunOperation(
        &transaction, std::make_unique<DeleteFileOperation>(file, true, true)));
    EXPECT_FALSE(base::PathExists(file));
    const std::vector<base::FilePath> copies =
        DeleteFileOperation::FindAsideCopies(file);
    ASSERT_EQ(1u, copies.size());
    EXPECT_EQ(285u, copies[0].value().size());
    EXPECT_EQ(1u, AsideFiles().size());
    Transaction::Rollback(&transaction);
  }
  EXPECT_EQ(before, TakeFileTreeSnapshot(temp_.GetPath()));
  {
    Transaction transaction;
    ASSERT_TRUE(Transaction::RunOperation(
        &transaction, std::make_unique<DeleteFileOperation>(file, true, true)));
  }
  EXPECT_FALSE(base::DirectoryExists(sub));
  EXPECT_TRUE(base::PathExists(folder.Append(u"other.txt")));
  EXPECT_TRUE(AsideFiles().empty());
  EXPECT_EQ(refused, base::ScopedPlainPathLimit::refused());
}

TEST_F(DeleteFileOperationTest, WriteAccessIsGrantedWhenDenied) {
  const base::FilePath file = Path(u"locked.dll");
  ASSERT_TRUE(test::WriteFileContents(file, "contents"));
  // Deny the current user write and delete on the file.
  BYTE user_buffer[SECURITY_MAX_SID_SIZE + sizeof(TOKEN_USER)] = {};
  DWORD size = 0;
  HANDLE token = nullptr;
  ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token));
  base::win::ScopedHandle owned_token(token);
  ASSERT_TRUE(GetTokenInformation(token, TokenUser, user_buffer,
                                  sizeof(user_buffer), &size));
  EXPLICIT_ACCESS_W deny = {};
  deny.grfAccessPermissions = FILE_GENERIC_WRITE | DELETE;
  deny.grfAccessMode = DENY_ACCESS;
  deny.Trustee.TrusteeForm = TRUSTEE_IS_SID;
  deny.Trustee.ptstrName = reinterpret_cast<LPWSTR>(
      reinterpret_cast<TOKEN_USER*>(user_buffer)->User.Sid);
  PACL dacl = nullptr;
  ASSERT_EQ(static_cast<DWORD>(ERROR_SUCCESS),
            SetEntriesInAclW(1, &deny, nullptr, &dacl));
  std::u16string name = file.value();
  ASSERT_EQ(static_cast<DWORD>(ERROR_SUCCESS),
            SetNamedSecurityInfoW(base::as_writable_wcstr(name), SE_FILE_OBJECT,
                                  DACL_SECURITY_INFORMATION, nullptr, nullptr,
                                  dacl, nullptr));
  LocalFree(dacl);
  ASSERT_FALSE(CanCurrentUserAccess(file.value(), SE_FILE_OBJECT, 0x130116));

  Transaction transaction;
  ASSERT_TRUE(Transaction::RunOperation(
      &transaction, std::make_unique<DeleteFileOperation>(file, false, false)));
  EXPECT_FALSE(base::PathExists(file));
  const std::vector<std::string> aside = AsideFiles();
  ASSERT_EQ(1u, aside.size());
  // The grant stays with the file.
  EXPECT_TRUE(
      CanCurrentUserAccess(Path(base::UTF8ToUTF16(aside[0]).c_str()).value(),
                           SE_FILE_OBJECT, 0x130116));
}

// Makes the entries named "link" look like junctions.
uint32_t LinkLooksLikeJunction(const base::FilePath& path,
                               uint32_t attributes) {
  if (attributes != INVALID_FILE_ATTRIBUTES &&
      path.BaseName().value() == u"link") {
    return attributes | FILE_ATTRIBUTE_REPARSE_POINT;
  }
  return attributes;
}

// A junction is moved aside as itself; the access list read through it is
// its target's, and nothing is granted there.
TEST_F(DeleteFileOperationTest, ALinkIsMovedAsideWithoutAGrant) {
  const base::FilePath link = Path(u"link");
  ASSERT_TRUE(base::FileUtil::CreateDirectory(link));
  ASSERT_TRUE(test::SetDaclFromSddl(
      link.value(), SE_FILE_OBJECT,
      u"D:(D;;SDFW;;;" + test::CurrentUserSidString() + u")(A;;FA;;;WD)"));
  const std::u16string before = test::GetDaclSddl(link.value(), SE_FILE_OBJECT);
  ASSERT_FALSE(CanCurrentUserAccess(link.value(), SE_FILE_OBJECT, 0x130116));
  base::internal::SetWalkAttributesHookForTesting(&LinkLooksLikeJunction);
  Transaction transaction;
  EXPECT_TRUE(Transaction::RunOperation(
      &transaction, std::make_unique<DeleteFileOperation>(link, false, false)));
  base::internal::SetWalkAttributesHookForTesting(nullptr);
  EXPECT_FALSE(base::PathExists(link));
  const std::vector<std::string> aside = AsideFiles();
  ASSERT_EQ(1u, aside.size());
  EXPECT_EQ(before,
            test::GetDaclSddl(Path(base::UTF8ToUTF16(aside[0]).c_str()).value(),
                              SE_FILE_OBJECT));
}

// Through held folders a link on the file's way is taken no more than by
// path: refused where links on the way are (nothing it leads to moves),
// followed where a user's own links are.
TEST_F(DeleteFileOperationTest, AHeldDeleteTakesNoLinkOnTheWay) {
  const base::FilePath victim = Path(u"victim\\sub\\browser.dll");
  ASSERT_TRUE(base::FileUtil::CreateDirectory(victim.DirName()));
  ASSERT_TRUE(test::WriteFileContents(victim, "victim"));
  ASSERT_TRUE(base::FileUtil::CreateDirectory(Path(u"install")));
  base::ScopedUnixLink link;
  ASSERT_TRUE(link.Make(Path(u"install\\J"), Path(u"victim")));
  const base::FilePath file = Path(u"install\\J\\sub\\browser.dll");
  for (base::LinkRule rule :
       {base::LinkRule::kRefuseOnTheWay, base::LinkRule::kFollowOnTheWay}) {
    const bool follow = rule == base::LinkRule::kFollowOnTheWay;
    SCOPED_TRACE(follow);
    base::SetLinkRule(rule);
    auto folders = std::make_shared<HeldFolders>();
    folders->Add(Path(u"install"));
    Transaction transaction;
    EXPECT_EQ(follow, Transaction::RunOperation(
                          &transaction, std::make_unique<DeleteFileOperation>(
                                            file, false, false, folders)));
    folders.reset();
    EXPECT_NE(follow, base::PathExists(victim));
    Transaction::Rollback(&transaction);
    EXPECT_TRUE(base::PathExists(victim));
  }
  base::SetLinkRule(base::LinkRule::kRefuseOnTheWay);
}

// An image that another process runs or has loaded cannot be deleted: with
// the in-use check the file is back under its own name and the delete fails.
TEST_F(DeleteFileOperationTest, ImageInUseByAnotherProcess) {
  const base::FilePath executable = Path(u"app.exe");
  const base::FilePath module = Path(u"module.dll");
  ASSERT_TRUE(base::CopyOneFile(test::GetInUseChildPath(), executable));
  ASSERT_TRUE(base::CopyOneFile(test::GetTestModulePath(), module));
  test::InUseChild child;
  ASSERT_TRUE(child.Start(executable, module));
  const auto before = TakeFileTreeSnapshot(temp_.GetPath());
  for (const auto& [path, held] :
       {std::make_pair(executable, false), std::make_pair(module, false),
        std::make_pair(executable, true), std::make_pair(module, true)}) {
    SCOPED_TRACE(path.AsUTF8());
    SCOPED_TRACE(held);
    test::ScopedLogCapture log;
    Transaction transaction;
    EXPECT_FALSE(Transaction::RunOperation(
        &transaction,
        std::make_unique<DeleteFileOperation>(path, true, true, Held(held))));
    EXPECT_EQ(held, MovedInHeldFolder(log));
    const std::vector<std::string> errors = log.Messages(logging::LOG_ERROR);
    ASSERT_EQ(2u, errors.size());
    EXPECT_EQ(0u,
              errors[0].find("Attempt to open the file for writing failed: "));
    EXPECT_EQ(0u, errors[1].find("File removal failed"));
    EXPECT_NE(std::string::npos, errors[1].find(path.AsUTF8())) << errors[1];
    EXPECT_EQ(before, TakeFileTreeSnapshot(temp_.GetPath()));
  }
}

// Only ".exe" and ".dll" are checked: another file held the same way is
// moved aside all the same.
TEST_F(DeleteFileOperationTest, InUseCheckIsForImagesOnly) {
  const base::FilePath file = Path(u"held.dat");
  ASSERT_TRUE(test::WriteFileContents(file, "contents"));
  base::win::ScopedHandle holder(
      CreateFileW(base::as_wcstr(file.value()), GENERIC_READ,
                  FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                  FILE_ATTRIBUTE_NORMAL, nullptr));
  ASSERT_TRUE(holder.IsValid());
  Transaction transaction;
  EXPECT_TRUE(Transaction::RunOperation(
      &transaction, std::make_unique<DeleteFileOperation>(file, true, false)));
  EXPECT_FALSE(base::PathExists(file));
  Transaction::Rollback(&transaction);
  EXPECT_TRUE(base::PathExists(file));
}

}  // namespace
}  // namespace installer
