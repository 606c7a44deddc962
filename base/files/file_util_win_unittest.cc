#include <string.h>
#include <windows.h>
#include <winioctl.h>

#include <algorithm>
#include <string>
#include <vector>

#include "base/files/file.h"
#include "base/files/file_attributes_win.h"
#include "base/files/file_enumerator.h"
#include "base/files/file_util.h"
#include "base/files/important_file_writer.h"
#include "base/files/system_path_win.h"
#include "base/strings/string_util_win.h"
#include "base/strings/utf_string_conversions.h"
#include "base/test/scoped_plain_path_limit_win.h"
#include "base/test/scoped_temp_dir.h"
#include "base/win/scoped_handle.h"
#include "gtest/gtest.h"

namespace base {
namespace {

constexpr char kHoldFileVariable[] = "VELNA_HOLD_FILE";
constexpr char kHoldEventsVariable[] = "VELNA_HOLD_EVENTS";

void WriteFile(const FilePath& path, const std::string& contents) {
  ASSERT_EQ(static_cast<int>(contents.size()),
            WriteBufferToFile(path, contents.data(), contents.size()))
      << path;
}

std::string ReadFile(const FilePath& path) {
  std::string contents;
  EXPECT_TRUE(FileUtil::ReadFileToString(path, &contents)) << path;
  return contents;
}

void SetReadOnly(const FilePath& path) {
  ASSERT_TRUE(
      ::SetFileAttributesW(SystemPathArg(path), FILE_ATTRIBUTE_READONLY));
}

bool IsReadOnly(const FilePath& path) {
  return ::GetFileAttributesW(SystemPathArg(path)) & FILE_ATTRIBUTE_READONLY;
}

// A path of exactly |length| units below |folder|.
FilePath PathOfLength(const FilePath& folder, size_t length) {
  const size_t name_length = length - folder.value().size() - 1;
  return folder.Append(std::u16string(name_length, u'n'));
}

class FileUtilTest : public testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(temp_dir_.CreateUniqueTempDir()); }
  void TearDown() override {
    internal::SetWalkAttributesHookForTesting(nullptr);
  }

  FilePath Dir() const { return temp_dir_.GetPath(); }
  FilePath MakeFolder(const char* relative) {
    const FilePath path = Dir().AppendASCII(relative);
    EXPECT_TRUE(FileUtil::CreateDirectory(path)) << path;
    return path;
  }
  // Parent folders are created as needed.
  FilePath MakeFile(const char* relative, const std::string& contents) {
    const FilePath path = Dir().AppendASCII(relative);
    EXPECT_TRUE(FileUtil::CreateDirectory(path.DirName()));
    WriteFile(path, contents);
    return path;
  }

  ScopedTempDir temp_dir_;
};

TEST_F(FileUtilTest, ExistenceTests) {
  const FilePath file = MakeFile("f.txt", "x");
  const FilePath folder = MakeFolder("d");
  EXPECT_TRUE(PathExists(file));
  EXPECT_TRUE(PathExists(folder));
  EXPECT_FALSE(DirectoryExists(file));
  EXPECT_TRUE(DirectoryExists(folder));
  EXPECT_FALSE(PathExists(Dir().AppendASCII("missing")));
  EXPECT_TRUE(PathIsWritable(file));
  EXPECT_TRUE(PathIsWritable(folder));
  EXPECT_FALSE(PathIsWritable(Dir().AppendASCII("missing")));
}

TEST_F(FileUtilTest, DeleteRefusesPathsAtTheLimitWithoutALongForm) {
  EXPECT_TRUE(DeleteFileOrDirectory(FilePath(), false));
  EXPECT_TRUE(DeleteFileOrDirectory(Dir().AppendASCII("missing"), true));
  // 259 units is accepted (and missing, so true); so is an absolute path of
  // 260, which the system takes in its long form.
  EXPECT_TRUE(DeleteFileOrDirectory(PathOfLength(Dir(), 259), false));
  EXPECT_TRUE(DeleteFileOrDirectory(PathOfLength(Dir(), 260), false));
  // 260 units with no long form: relative, or with a name the plain
  // spelling trims.
  EXPECT_FALSE(
      DeleteFileOrDirectory(FilePath(std::u16string(260, u'n')), false));
  EXPECT_FALSE(DeleteFileOrDirectory(
      FilePath(Dir().value() + u"\\dots.\\" +
               std::u16string(253 - Dir().value().size(), u'n')),
      false));
}

TEST_F(FileUtilTest, DeleteReadOnlyFileAndFolderTrees) {
  const FilePath file = MakeFile("ro.txt", "x");
  SetReadOnly(file);
  EXPECT_TRUE(DeleteFileOrDirectory(file, false));
  EXPECT_FALSE(PathExists(file));

  const FilePath tree = MakeFolder("tree");
  MakeFolder(R"(tree\a\b)");
  SetReadOnly(MakeFile(R"(tree\a\b\deep.txt)", "x"));
  MakeFile(R"(tree\top.txt)", "x");
  SetReadOnly(tree.AppendASCII("a"));
  // Not recursive: a folder with contents stays.
  EXPECT_FALSE(DeleteFileOrDirectory(tree, false));
  EXPECT_TRUE(PathExists(tree.AppendASCII("top.txt")));
  EXPECT_TRUE(DeleteFileOrDirectory(tree, true));
  EXPECT_FALSE(PathExists(tree));
}

TEST_F(FileUtilTest, DeleteWithWildcardsTouchesOnlyMatchesInTheFolder) {
  MakeFile("a.tmp", "x");
  SetReadOnly(MakeFile("b.tmp", "x"));
  MakeFile("c.txt", "x");
  MakeFolder(R"(sub.tmp)");
  MakeFile(R"(sub.tmp\inner.txt)", "x");
  MakeFolder(R"(d)");
  MakeFile(R"(d\e.tmp)", "x");

  EXPECT_TRUE(DeleteFileOrDirectory(Dir().AppendASCII("*.tmp"), false));
  EXPECT_FALSE(PathExists(Dir().AppendASCII("a.tmp")));
  EXPECT_FALSE(PathExists(Dir().AppendASCII("b.tmp")));
  EXPECT_TRUE(PathExists(Dir().AppendASCII("c.txt")));
  EXPECT_TRUE(PathExists(Dir().AppendASCII(R"(sub.tmp\inner.txt)")));
  EXPECT_TRUE(PathExists(Dir().AppendASCII(R"(d\e.tmp)")));

  // Recursive: the matched folder is searched with the same pattern, so its
  // non-matching entry keeps it alive and the call fails.
  EXPECT_FALSE(DeleteFileOrDirectory(Dir().AppendASCII("*.tmp"), true));
  EXPECT_TRUE(PathExists(Dir().AppendASCII(R"(sub.tmp\inner.txt)")));
  EXPECT_TRUE(DeleteFileOrDirectory(Dir().AppendASCII("?.txt"), false));
  EXPECT_FALSE(PathExists(Dir().AppendASCII("c.txt")));
}

// Makes the folders named "link" look like junctions.
uint32_t LinkLooksLikeJunction(const FilePath& path, uint32_t attributes) {
  if (attributes != INVALID_FILE_ATTRIBUTES &&
      path.BaseName().value() == u"link")
    return attributes | FILE_ATTRIBUTE_REPARSE_POINT;
  return attributes;
}

TEST_F(FileUtilTest, RecursiveDeletionNeverEntersAReparsePoint) {
  internal::SetWalkAttributesHookForTesting(&LinkLooksLikeJunction);
  // An empty "junction" is removed as an entry of its own.
  MakeFolder(R"(tree\link)");
  MakeFile(R"(tree\file.txt)", "x");
  EXPECT_TRUE(DeleteFileOrDirectory(Dir().AppendASCII("tree"), true));
  EXPECT_FALSE(PathExists(Dir().AppendASCII("tree")));

  // One with contents (a real junction would show its target's) is never
  // emptied: removing the link itself is all that is tried.
  MakeFolder(R"(tree\link)");
  const FilePath target_file = MakeFile(R"(tree\link\target.txt)", "keep");
  EXPECT_FALSE(DeleteFileOrDirectory(Dir().AppendASCII("tree"), true));
  EXPECT_EQ("keep", ReadFile(target_file));
  EXPECT_FALSE(DeleteFileOrDirectory(Dir().AppendASCII(R"(tree\link)"), true));
  EXPECT_EQ("keep", ReadFile(target_file));
}

// Set by the hook below: the entry whose inspection sets off a rename of
// the folder "victim", and whether that rename, once tried, went through.
const char16_t* g_swap_trigger = u"victim";
bool g_swap_tried = false;
bool g_swap_succeeded = false;

// Stands for another process that, at the worst moment (when the deletion
// decides about the folder, or about an entry inside it), moves the folder
// being deleted away, to put a junction in its place.
uint32_t TrySwappingVictim(const FilePath& path, uint32_t attributes) {
  if (!g_swap_tried && path.BaseName().value() == g_swap_trigger) {
    const FilePath victim =
        path.BaseName().value() == u"victim" ? path : path.DirName();
    g_swap_tried = true;
    g_swap_succeeded =
        ::MoveFileW(as_wcstr(victim.value()),
                    as_wcstr(victim.DirName().Append(u"moved").value())) != 0;
  }
  return attributes;
}

// A folder is held from the moment it is judged until it is deleted, so
// that no link can take its place between the check and the descent, nor
// while its entries go: by the serial deletion and by the parallel one.
TEST_F(FileUtilTest, AFolderCannotBeSwappedWhileItIsDeleted) {
  for (const bool parallel : {false, true}) {
    for (const char16_t* trigger : {u"victim", u"file.txt"}) {
      SCOPED_TRACE(testing::Message() << (parallel ? "parallel, " : "serial, ")
                                      << UTF16ToUTF8(trigger));
      MakeFolder(R"(tree\victim\sub)");
      MakeFile(R"(tree\victim\sub\file.txt)", "x");
      MakeFile(R"(tree\victim\file.txt)", "x");
      g_swap_trigger = trigger;
      g_swap_tried = false;
      g_swap_succeeded = false;
      internal::SetWalkAttributesHookForTesting(&TrySwappingVictim);
      const FilePath tree = Dir().AppendASCII("tree");
      const bool deleted = parallel ? DeleteFolderTreeInParallel(tree, 4)
                                    : DeleteFileOrDirectory(tree, true);
      internal::SetWalkAttributesHookForTesting(nullptr);
      EXPECT_TRUE(g_swap_tried);
      EXPECT_FALSE(g_swap_succeeded);
      EXPECT_TRUE(deleted);
      EXPECT_FALSE(PathExists(tree));
      ASSERT_TRUE(DeleteFileOrDirectory(Dir().AppendASCII("moved"), true));
    }
  }
}

TEST_F(FileUtilTest, LinksAreToldFromTheOpenedEntry) {
  MakeFolder("folder");
  MakeFolder("link");
  const FilePath file = MakeFile("file.txt", "x");
  internal::SetWalkAttributesHookForTesting(&LinkLooksLikeJunction);
  EXPECT_TRUE(IsDirectoryNotLink(Dir().AppendASCII("folder")));
  EXPECT_FALSE(IsLink(Dir().AppendASCII("folder")));
  EXPECT_FALSE(IsDirectoryNotLink(Dir().AppendASCII("link")));
  EXPECT_TRUE(IsLink(Dir().AppendASCII("link")));
  EXPECT_FALSE(IsDirectoryNotLink(file));
  EXPECT_FALSE(IsLink(file));
  EXPECT_FALSE(IsDirectoryNotLink(Dir().AppendASCII("missing")));
  EXPECT_FALSE(IsLink(Dir().AppendASCII("missing")));
  internal::SetWalkAttributesHookForTesting(nullptr);
}

// The layout of a mount-point reparse buffer (the DDK's REPARSE_DATA_BUFFER).
struct MountPointBuffer {
  DWORD reparse_tag;
  WORD reparse_data_length;
  WORD reserved;
  WORD substitute_name_offset;
  WORD substitute_name_length;
  WORD print_name_offset;
  WORD print_name_length;
  wchar_t path_buffer[520];
};

bool MakeJunction(const FilePath& link, const FilePath& target) {
  if (!FileUtil::CreateDirectory(link)) return false;
  HANDLE handle = ::CreateFileW(
      as_wcstr(link.value()), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
      FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return false;
  const std::u16string substitute = u"\\??\\" + target.value();
  const std::u16string& print = target.value();
  MountPointBuffer buffer = {};
  buffer.reparse_tag = IO_REPARSE_TAG_MOUNT_POINT;
  buffer.substitute_name_length = substitute.size() * 2;
  buffer.print_name_offset = (substitute.size() + 1) * 2;
  buffer.print_name_length = print.size() * 2;
  memcpy(buffer.path_buffer, substitute.c_str(), (substitute.size() + 1) * 2);
  memcpy(buffer.path_buffer + substitute.size() + 1, print.c_str(),
         (print.size() + 1) * 2);
  buffer.reparse_data_length =
      8 + (substitute.size() + 1 + print.size() + 1) * 2;
  DWORD returned = 0;
  const BOOL ok = ::DeviceIoControl(handle, FSCTL_SET_REPARSE_POINT, &buffer,
                                    buffer.reparse_data_length + 8, nullptr, 0,
                                    &returned, nullptr);
  ::CloseHandle(handle);
  return ok && internal::IsLink(::GetFileAttributesW(as_wcstr(link.value())));
}

TEST_F(FileUtilTest, RecursiveDeletionRemovesARealJunctionNotItsTarget) {
  const FilePath target = MakeFolder("target");
  const FilePath target_file = MakeFile(R"(target\keep.txt)", "keep");
  MakeFolder("tree");
  if (!MakeJunction(Dir().AppendASCII(R"(tree\link)"), target))
    GTEST_SKIP() << "this system cannot make junctions";
  EXPECT_TRUE(DeleteFileOrDirectory(Dir().AppendASCII("tree"), true));
  EXPECT_FALSE(PathExists(Dir().AppendASCII("tree")));
  EXPECT_EQ("keep", ReadFile(target_file));
}

// The parallel deletion, with one thread and with several: a file that
// cannot go fails the call and stays; then the tree goes whole, read-only
// entries included, and a junction goes without its target.
TEST_F(FileUtilTest, ParallelTreeDeletionRemovesAllButWhatCannotGo) {
  const FilePath target = MakeFolder("target");
  const FilePath target_file = MakeFile(R"(target\keep.txt)", "keep");
  for (size_t threads : {1, 4}) {
    SCOPED_TRACE(threads);
    const FilePath tree = MakeFolder("tree");
    for (int i = 0; i < 120; ++i) {
      const std::string name = "tree\\d" + std::to_string(i % 3) + "\\e" +
                               std::to_string(i % 5) + "\\f" +
                               std::to_string(i) + ".txt";
      MakeFile(name.c_str(), std::string(i * 100, 'x'));
    }
    SetReadOnly(MakeFile(R"(tree\ro.txt)", "x"));
    SetReadOnly(tree.AppendASCII("d1"));
    // Where the system can make one.
    MakeJunction(tree.AppendASCII(R"(d2\link)"), target);
    const FilePath held_path = tree.AppendASCII(R"(d0\e3\f3.txt)");
    HANDLE held =
        ::CreateFileW(as_wcstr(held_path.value()), GENERIC_READ,
                      FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, held);

    EXPECT_FALSE(DeleteFolderTreeInParallel(tree, threads));
    EXPECT_TRUE(PathExists(held_path));
    ::CloseHandle(held);

    EXPECT_TRUE(DeleteFolderTreeInParallel(tree, threads));
    EXPECT_FALSE(PathExists(tree));
    EXPECT_EQ("keep", ReadFile(target_file));
  }
  EXPECT_TRUE(DeleteFolderTreeInParallel(Dir().AppendASCII("missing"), 4));
  EXPECT_TRUE(DeleteFolderTreeInParallel(FilePath(), 4));
}

// A folder that looks like a link is removed as itself, never entered.
TEST_F(FileUtilTest, ParallelTreeDeletionNeverEntersALink) {
  internal::SetWalkAttributesHookForTesting(&LinkLooksLikeJunction);
  const FilePath target_file = MakeFile(R"(tree\link\target.txt)", "keep");
  MakeFile(R"(tree\file.txt)", "x");
  EXPECT_FALSE(DeleteFolderTreeInParallel(Dir().AppendASCII("tree"), 4));
  EXPECT_EQ("keep", ReadFile(target_file));
  EXPECT_FALSE(PathExists(Dir().AppendASCII(R"(tree\file.txt)")));
}

TEST_F(FileUtilTest, AFileHeldOpenElsewhereCannotBeDeletedUntilReleased) {
  const FilePath file = MakeFile("held.txt", "x");
  HANDLE held =
      ::CreateFileW(as_wcstr(file.value()), GENERIC_READ, FILE_SHARE_READ,
                    nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, held);
  EXPECT_FALSE(DeleteFileOrDirectory(file, false));
  EXPECT_EQ(File::FILE_ERROR_IN_USE,
            File::OSErrorToFileError(::GetLastError()));
  ::CloseHandle(held);
  EXPECT_TRUE(DeleteFileOrDirectory(file, false));
}

// Run by the next test in a child process: holds the named file open without
// delete sharing until told to let go.
TEST(FileUtilHelper, DISABLED_HoldFileOpen) {
  const char* path = getenv(kHoldFileVariable);
  const char* events = getenv(kHoldEventsVariable);
  ASSERT_TRUE(path && events);
  HANDLE held =
      ::CreateFileW(as_wcstr(UTF8ToUTF16(path)), GENERIC_READ, FILE_SHARE_READ,
                    nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, held);
  const std::u16string base = UTF8ToUTF16(events);
  HANDLE ready =
      ::OpenEventW(EVENT_MODIFY_STATE, FALSE, as_wcstr(base + u"_ready"));
  HANDLE release =
      ::OpenEventW(SYNCHRONIZE, FALSE, as_wcstr(base + u"_release"));
  ASSERT_TRUE(ready && release);
  ::SetEvent(ready);
  ::WaitForSingleObject(release, 60000);
  ::CloseHandle(held);
}

TEST_F(FileUtilTest, AFileHeldOpenByAnotherProcessCannotBeDeleted) {
  const FilePath file = MakeFile("held.txt", "x");
  const std::u16string events =
      u"Local\\VelnaTestHold" +
      UTF8ToUTF16(std::to_string(::GetCurrentProcessId()));
  HANDLE ready =
      ::CreateEventW(nullptr, TRUE, FALSE, as_wcstr(events + u"_ready"));
  HANDLE release =
      ::CreateEventW(nullptr, TRUE, FALSE, as_wcstr(events + u"_release"));
  ASSERT_TRUE(ready && release);
  _putenv_s(kHoldFileVariable, file.AsUTF8().c_str());
  _putenv_s(kHoldEventsVariable, UTF16ToUTF8(events).c_str());

  wchar_t exe[MAX_PATH];
  ::GetModuleFileNameW(nullptr, exe, MAX_PATH);
  std::wstring command = L"\"" + std::wstring(exe) +
                         L"\" --gtest_also_run_disabled_tests "
                         L"--gtest_filter=FileUtilHelper.DISABLED_HoldFileOpen";
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process = {};
  ASSERT_TRUE(::CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE,
                               0, nullptr, nullptr, &startup, &process));
  HANDLE waits[] = {ready, process.hProcess};
  ASSERT_EQ(WAIT_OBJECT_0, ::WaitForMultipleObjects(2, waits, FALSE, 60000));

  EXPECT_FALSE(DeleteFileOrDirectory(file, false));
  const DWORD error = ::GetLastError();
  EXPECT_EQ(static_cast<DWORD>(ERROR_SHARING_VIOLATION), error);
  EXPECT_EQ(File::FILE_ERROR_IN_USE, File::OSErrorToFileError(error));
  EXPECT_TRUE(PathExists(file));

  ::SetEvent(release);
  EXPECT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(process.hProcess, 60000));
  DWORD exit_code = 1;
  ::GetExitCodeProcess(process.hProcess, &exit_code);
  EXPECT_EQ(0u, exit_code);
  EXPECT_TRUE(DeleteFileOrDirectory(file, false));
  EXPECT_FALSE(PathExists(file));
  ::CloseHandle(process.hThread);
  ::CloseHandle(process.hProcess);
  ::CloseHandle(ready);
  ::CloseHandle(release);
}

TEST_F(FileUtilTest, ReplaceFileMovesOrReplaces) {
  const FilePath from = MakeFile("new.txt", "new");
  const FilePath to = Dir().AppendASCII("target.txt");
  EXPECT_TRUE(ReplaceFile(from, to));
  EXPECT_EQ("new", ReadFile(to));
  EXPECT_FALSE(PathExists(from));

  WriteFile(from, "newer");
  EXPECT_TRUE(ReplaceFile(from, to));
  EXPECT_EQ("newer", ReadFile(to));
  EXPECT_FALSE(PathExists(from));
}

TEST_F(FileUtilTest, FailedReplaceKeepsBothContents) {
  const FilePath from = MakeFile("new.txt", "new");
  const FilePath to = MakeFile("target.txt", "old");
  // Held without delete sharing: |to| can be neither renamed nor replaced.
  HANDLE held = ::CreateFileW(as_wcstr(to.value()), GENERIC_READ,
                              FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, held);
  EXPECT_FALSE(ReplaceFile(from, to));
  ::CloseHandle(held);
  EXPECT_EQ("new", ReadFile(from));
  EXPECT_EQ("old", ReadFile(to));

  // The replacement itself cannot be moved: it stays, with its contents.
  held = ::CreateFileW(as_wcstr(from.value()), GENERIC_READ,
                       FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                       OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, held);
  const bool replaced = ReplaceFile(from, to);
  ::CloseHandle(held);
  if (replaced) {
    EXPECT_EQ("new", ReadFile(to));
  } else {
    EXPECT_EQ("new", ReadFile(from));
    EXPECT_TRUE(PathExists(to));
  }
}

TEST_F(FileUtilTest, MoveFileOrDirectory) {
  const FilePath from = MakeFile("a.txt", "a");
  const FilePath to = MakeFile("b.txt", "b");
  EXPECT_TRUE(MoveFileOrDirectory(from, to));
  EXPECT_EQ("a", ReadFile(to));
  EXPECT_FALSE(PathExists(from));

  MakeFile(R"(folder\x.txt)", "x");
  EXPECT_TRUE(DirectoryExists(Dir().AppendASCII("folder")));
  EXPECT_TRUE(MoveFileOrDirectory(Dir().AppendASCII("folder"),
                                  Dir().AppendASCII("moved")));
  EXPECT_EQ("x", ReadFile(Dir().AppendASCII(R"(moved\x.txt)")));

  // A failure leaves the error of the first attempt.
  ::SetLastError(0);
  EXPECT_FALSE(MoveFileOrDirectory(Dir().AppendASCII("missing"), to));
  EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), ::GetLastError());
  EXPECT_FALSE(MoveFileOrDirectory(FilePath(std::u16string(260, u'n')), to));

  EXPECT_FALSE(FileUtil::Move(Dir().AppendASCII(R"(moved\..\b.txt)"),
                              Dir().AppendASCII("c.txt")));
  EXPECT_TRUE(FileUtil::Move(to, Dir().AppendASCII("c.txt")));
  EXPECT_EQ("a", ReadFile(Dir().AppendASCII("c.txt")));

  // Held by a program that does not share deletion: it stays, and the
  // system's reason is the error.
  const FilePath held = MakeFile("held.txt", "held");
  {
    win::ScopedHandle handle(::CreateFileW(SystemPathArg(held), GENERIC_READ,
                                           FILE_SHARE_READ, nullptr,
                                           OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(handle.IsValid());
    EXPECT_FALSE(MoveFileOrDirectory(held, Dir().AppendASCII("d.txt")));
    EXPECT_EQ(static_cast<DWORD>(ERROR_SHARING_VIOLATION), ::GetLastError());
  }
  EXPECT_EQ("held", ReadFile(held));
  EXPECT_FALSE(PathExists(Dir().AppendASCII("d.txt")));
  // A read-only file moves and stays read-only.
  SetReadOnly(held);
  EXPECT_TRUE(MoveFileOrDirectory(held, Dir().AppendASCII("d.txt")));
  EXPECT_TRUE(IsReadOnly(Dir().AppendASCII("d.txt")));
}

TEST_F(FileUtilTest, CopyOneFileOverwritesAndClearsReadOnly) {
  const FilePath from = MakeFile("from.txt", "fresh");
  SetReadOnly(from);
  const FilePath to = MakeFile("to.txt", "stale contents");
  EXPECT_TRUE(CopyOneFile(from, to));
  EXPECT_EQ("fresh", ReadFile(to));
  EXPECT_FALSE(IsReadOnly(to));
  EXPECT_TRUE(IsReadOnly(from));

  EXPECT_FALSE(CopyOneFile(Dir().AppendASCII(R"(x\..\from.txt)"), to));
  EXPECT_FALSE(CopyOneFile(from, FilePath(std::u16string(260, u'n'))));
  EXPECT_FALSE(CopyOneFile(Dir().AppendASCII("missing"), to));
}

TEST_F(FileUtilTest, CopyDirectoryIntoExistingAndMissingTargets) {
  MakeFile(R"(src\a.txt)", "a");
  MakeFile(R"(src\sub\b.txt)", "b");
  MakeFolder(R"(src\empty)");
  const FilePath src = Dir().AppendASCII("src");

  const FilePath existing = MakeFolder("existing");
  EXPECT_TRUE(CopyDirectory(src, existing));
  EXPECT_EQ("a", ReadFile(existing.AppendASCII(R"(src\a.txt)")));
  EXPECT_EQ("b", ReadFile(existing.AppendASCII(R"(src\sub\b.txt)")));
  EXPECT_TRUE(DirectoryExists(existing.AppendASCII(R"(src\empty)")));

  const FilePath missing = Dir().AppendASCII("missing");
  EXPECT_TRUE(CopyDirectory(src, missing));
  EXPECT_EQ("a", ReadFile(missing.AppendASCII("a.txt")));
  EXPECT_EQ("b", ReadFile(missing.AppendASCII(R"(sub\b.txt)")));
  EXPECT_TRUE(DirectoryExists(missing.AppendASCII("empty")));

  EXPECT_FALSE(CopyDirectory(Dir().AppendASCII("nothing"),
                             Dir().AppendASCII("nothing2")));
}

TEST_F(FileUtilTest, CopyDirectoryRefusesOnlyCopiesIntoItself) {
  MakeFile(R"(x\app\a.txt)", "a");
  const FilePath app = Dir().AppendASCII(R"(x\app)");
  struct {
    const char* to;
    bool allowed;
  } cases[] = {
      {R"(x\app\sub)", false},
      {R"(X\APP\sub)", false},
      {R"(x\app\sub\deeper)", false},
      {R"(x\app)", false},
      {R"(x\app2)", true},
      {R"(x\ap)", true},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.allowed, CopyDirectory(app, Dir().AppendASCII(c.to))) << c.to;
  }
  EXPECT_EQ("a", ReadFile(Dir().AppendASCII(R"(x\app2\a.txt)")));
  EXPECT_FALSE(PathExists(Dir().AppendASCII(R"(x\app\sub)")));
  // An existing folder whose name merely starts with the source's.
  MakeFolder(R"(x\app3)");
  EXPECT_TRUE(CopyDirectory(app, Dir().AppendASCII(R"(x\app3)")));
  EXPECT_EQ("a", ReadFile(Dir().AppendASCII(R"(x\app3\app\a.txt)")));
}

TEST_F(FileUtilTest, CreateDirectoryAndGetError) {
  File::Error error = File::FILE_OK;
  const FilePath chain = Dir().AppendASCII(R"(a\b\c)");
  EXPECT_TRUE(CreateDirectoryAndGetError(chain, &error));
  EXPECT_TRUE(DirectoryExists(chain));
  EXPECT_TRUE(CreateDirectoryAndGetError(chain, &error));

  const FilePath file = MakeFile("file", "x");
  EXPECT_FALSE(CreateDirectoryAndGetError(file, &error));
  EXPECT_EQ(File::FILE_ERROR_NOT_A_DIRECTORY, error);
  error = File::FILE_OK;
  EXPECT_FALSE(CreateDirectoryAndGetError(file.AppendASCII("below"), &error));
  EXPECT_EQ(File::FILE_ERROR_NOT_A_DIRECTORY, error);

  const DWORD drives = ::GetLogicalDrives();
  char16_t unused = 0;
  for (char16_t letter = u'Y'; letter > u'D' && !unused; --letter) {
    if (!(drives & (1u << (letter - u'A')))) unused = letter;
  }
  ASSERT_NE(0, unused);
  error = File::FILE_OK;
  const FilePath on_missing_drive(std::u16string(1, unused) + u":\\a\\b");
  EXPECT_FALSE(CreateDirectoryAndGetError(on_missing_drive, &error));
  EXPECT_EQ(File::FILE_ERROR_NOT_FOUND, error);
  EXPECT_FALSE(FileUtil::CreateDirectory(on_missing_drive));
}

TEST_F(FileUtilTest, TemporaryFilesAndFolders) {
  FilePath temp;
  ASSERT_TRUE(GetTempDir(&temp));
  EXPECT_FALSE(FilePath::IsSeparator(temp.value().back()));
  EXPECT_TRUE(DirectoryExists(temp));

  FilePath file;
  ASSERT_TRUE(CreateTemporaryFile(&file));
  EXPECT_TRUE(PathExists(file));
  EXPECT_EQ(0, FilePath::CompareIgnoreCase(MakeAbsoluteFilePath(temp).value(),
                                           file.DirName().value()))
      << file;
  int64_t size = -1;
  EXPECT_TRUE(FileUtil::GetFileSize(file, &size));
  EXPECT_EQ(0, size);
  EXPECT_TRUE(DeleteFileOrDirectory(file, false));

  FilePath in_dir;
  FilePath other;
  ASSERT_TRUE(CreateTemporaryFileInDir(Dir(), &in_dir));
  ASSERT_TRUE(CreateTemporaryFileInDir(Dir(), &other));
  EXPECT_NE(in_dir, other);
  EXPECT_EQ(Dir(), in_dir.DirName());
  // Writers that leave such a file when killed are cleaned up after by it.
  EXPECT_TRUE(IsTemporaryFileName(in_dir.BaseName().value())) << in_dir;
  for (const char16_t* name : {u"a.tmp", u"1A2b.TMP", u"ffff.Tmp"})
    EXPECT_TRUE(IsTemporaryFileName(name)) << name;
  for (const char16_t* name : {u".tmp", u"12345.tmp", u"1g.tmp", u"12.tmp.old",
                               u"12.temp", u"x12.tmp"}) {
    EXPECT_FALSE(IsTemporaryFileName(name)) << name;
  }
  std::u16string of;
  EXPECT_TRUE(IsTemporaryFileNameOf(u"installation_status.xml.1A2b.TMP", &of));
  EXPECT_EQ(u"installation_status.xml", of);
  EXPECT_TRUE(IsTemporaryFileNameOf(u"a.f.tmp", nullptr));
  for (const char16_t* name :
       {u"1A2b.tmp", u".1A2b.tmp", u"notes.tmp", u"a.12345.tmp", u"a.1g.tmp",
        u"a.1A2b.tmp.old", u"a.1A2b"}) {
    EXPECT_FALSE(IsTemporaryFileNameOf(name, &of)) << name;
  }
  EXPECT_FALSE(CreateTemporaryFileInDir(Dir().AppendASCII("missing"), &other));

  const FilePath home = GetHomeDir();
  EXPECT_TRUE(home.IsAbsolute()) << home;
}

TEST_F(FileUtilTest, FileInformation) {
  const FilePath file = MakeFile("info.txt", std::string(70000, 'i'));
  File::Info info;
  ASSERT_TRUE(GetFileInfo(file, &info));
  EXPECT_EQ(70000, info.size);
  EXPECT_FALSE(info.is_directory);
  EXPECT_FALSE(info.is_symbolic_link);
  EXPECT_FALSE(info.last_modified.is_null());
  EXPECT_FALSE(info.creation_time.is_null());
  const Time now = Time::Now();
  EXPECT_LT((now - info.last_modified).InSeconds(), 600);

  ASSERT_TRUE(GetFileInfo(Dir(), &info));
  EXPECT_TRUE(info.is_directory);
  EXPECT_FALSE(GetFileInfo(Dir().AppendASCII("missing"), &info));
  int64_t size = 0;
  EXPECT_FALSE(FileUtil::GetFileSize(Dir().AppendASCII("missing"), &size));
}

TEST_F(FileUtilTest, CurrentFolderAndAbsolutePaths) {
  FilePath current;
  ASSERT_TRUE(GetCurrentDirectory(&current));
  EXPECT_TRUE(current.IsAbsolute());
  EXPECT_EQ(Dir().AppendASCII("b"),
            MakeAbsoluteFilePath(Dir().AppendASCII(R"(a\..\.\b)")));
  EXPECT_EQ(current.AppendASCII("rel"), MakeAbsoluteFilePath(FilePath(u"rel")));
  EXPECT_TRUE(MakeAbsoluteFilePath(PathOfLength(Dir(), 270)).empty());
}

TEST_F(FileUtilTest, BufferReadsWritesAndAppends) {
  const FilePath file = MakeFile("buffer.txt", "0123456789");
  char buffer[32] = {};
  EXPECT_EQ(4, ReadFileIntoBuffer(file, buffer, 4));
  EXPECT_EQ("0123", std::string(buffer, 4));
  EXPECT_EQ(10, ReadFileIntoBuffer(file, buffer, sizeof(buffer)));
  EXPECT_EQ(-1, ReadFileIntoBuffer(Dir().AppendASCII("missing"), buffer, 4));

  // Writing truncates what was there.
  EXPECT_EQ(3, WriteBufferToFile(file, "abc", 3));
  EXPECT_EQ("abc", ReadFile(file));
  EXPECT_TRUE(AppendToFile(file, "de", 2));
  EXPECT_EQ("abcde", ReadFile(file));
  // Appending needs an existing file.
  EXPECT_FALSE(AppendToFile(Dir().AppendASCII("missing"), "x", 1));
  EXPECT_FALSE(PathExists(Dir().AppendASCII("missing")));
  EXPECT_EQ(-1, WriteBufferToFile(Dir().AppendASCII(R"(no\such.txt)"), "x", 1));
}

TEST_F(FileUtilTest, OpenFileSharesWithOtherWriters) {
  const FilePath file = MakeFile("shared.txt", "abc");
  FILE* reader = OpenFile(file, "rb");
  ASSERT_TRUE(reader);
  EXPECT_EQ(3, WriteBufferToFile(Dir().AppendASCII("other.txt"), "xyz", 3));
  FILE* writer = OpenFile(file, "ab");
  ASSERT_TRUE(writer);
  fclose(writer);
  fclose(reader);
  EXPECT_EQ(nullptr, OpenFile(Dir().AppendASCII("missing"), "rb"));
}

// Every call at 250 to 300 units, which only the long form reaches.
TEST_F(FileUtilTest, LongPathsWorkInEveryCall) {
  ScopedPlainPathLimit limit;
  ASSERT_TRUE(limit.ok());
  const size_t refused = ScopedPlainPathLimit::refused();
  const FilePath top = Dir().Append(std::u16string(100, u'a'));
  const FilePath folder = PathOfLength(top, 250);
  const FilePath sub = folder.AppendASCII("sub");
  const FilePath file = PathOfLength(folder, 280).AddExtension(u"txt");
  const FilePath deep = PathOfLength(sub, 296).AddExtension(u"txt");
  ASSERT_EQ(300u, deep.value().size());

  // Folders beyond CreateDirectoryW's plain limit, and files in them.
  ASSERT_TRUE(FileUtil::CreateDirectory(sub));
  EXPECT_TRUE(DirectoryExists(folder));
  EXPECT_TRUE(IsDirectoryNotLink(sub));
  ASSERT_EQ(4, WriteBufferToFile(file, "long", 4));
  EXPECT_TRUE(AppendToFile(file, "er", 2));
  EXPECT_EQ("longer", ReadFile(file));
  char buffer[8] = {};
  EXPECT_EQ(6, ReadFileIntoBuffer(file, buffer, sizeof(buffer)));
  File::Info info;
  ASSERT_TRUE(GetFileInfo(file, &info));
  EXPECT_EQ(6, info.size);
  EXPECT_TRUE(PathExists(file));
  EXPECT_FALSE(DirectoryExists(file));
  EXPECT_TRUE(PathIsWritable(file));
  EXPECT_FALSE(IsLink(file));
  {
    File opened(deep, File::FLAG_CREATE | File::FLAG_WRITE);
    ASSERT_TRUE(opened.IsValid());
    EXPECT_EQ(4, opened.Write(0, "deep", 4));
  }
  FILE* stream = OpenFile(deep, "rb");
  ASSERT_TRUE(stream);
  fclose(stream);

  // Copies, moves and replacements.
  SetReadOnly(file);
  const FilePath copy = sub.AppendASCII("copy.txt");
  ASSERT_TRUE(CopyOneFile(file, copy));
  EXPECT_FALSE(IsReadOnly(copy));
  const FilePath moved = PathOfLength(sub, 290);
  ASSERT_TRUE(MoveFileOrDirectory(copy, moved));
  EXPECT_FALSE(PathExists(copy));
  ASSERT_EQ(3, WriteBufferToFile(copy, "new", 3));
  EXPECT_TRUE(ReplaceFile(copy, moved));
  EXPECT_EQ("new", ReadFile(moved));
  EXPECT_TRUE(ImportantFileWriter::WriteFileAtomically(moved, "atomic"));
  EXPECT_EQ("atomic", ReadFile(moved));

  // "." and ".." are resolved before the long form is taken, and "/" is
  // read as "\", as the plain spelling does.
  const FilePath roundabout(sub.value() + u"\\.\\..//" +
                            file.BaseName().value());
  EXPECT_TRUE(PathExists(roundabout));
  File::Info roundabout_info;
  ASSERT_TRUE(GetFileInfo(roundabout, &roundabout_info));
  EXPECT_EQ(6, roundabout_info.size);
  EXPECT_EQ("longer", ReadFile(FilePath(folder.value() + u"/./" +
                                        file.BaseName().value())));
  EXPECT_EQ(5, WriteBufferToFile(FilePath(sub.value() + u"\\..\\sub\\x"),
                                 "short", 5));
  EXPECT_EQ("short", ReadFile(sub.AppendASCII("x")));
  EXPECT_TRUE(
      DeleteFileOrDirectory(FilePath(folder.value() + u"/./sub/x"), false));
  EXPECT_FALSE(PathExists(sub.AppendASCII("x")));

  // Enumeration, with and without a pattern.
  std::vector<FilePath> found;
  FileEnumerator all(folder, true,
                     FileEnumerator::FILES | FileEnumerator::DIRECTORIES);
  for (FilePath entry = all.Next(); !entry.empty(); entry = all.Next())
    found.push_back(entry);
  std::sort(found.begin(), found.end());
  std::vector<FilePath> expected = {file, sub, deep, moved};
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(expected, found);
  FileEnumerator texts(folder, false, FileEnumerator::FILES, u"*.txt");
  EXPECT_EQ(file, texts.Next());
  EXPECT_TRUE(texts.Next().empty());

  // Temporary files in a folder too long for the system's naming call.
  FilePath temp;
  FilePath other;
  ASSERT_TRUE(CreateTemporaryFileInDir(folder, &temp));
  ASSERT_TRUE(CreateTemporaryFileInDir(folder, &other));
  EXPECT_NE(temp, other);
  EXPECT_EQ(folder, temp.DirName());
  EXPECT_TRUE(PathExists(other));
  EXPECT_TRUE(DeleteFileOrDirectory(folder.AppendASCII("*.tmp"), false));
  EXPECT_FALSE(PathExists(temp));

  // A tree copied and moved as a whole, then deleted.
  auto deep_below = [&](const FilePath& root) {
    return FilePath(root.value() + deep.value().substr(top.value().size()));
  };
  const FilePath tree_copy = Dir().AppendASCII("copy");
  ASSERT_TRUE(CopyDirectory(top, tree_copy));
  const FilePath copied_deep = deep_below(tree_copy);
  EXPECT_EQ("deep", ReadFile(copied_deep));
  const FilePath renamed = Dir().Append(std::u16string(100, u'b'));
  ASSERT_TRUE(MoveFileOrDirectory(top, renamed));
  EXPECT_FALSE(PathExists(file));
  EXPECT_EQ("deep", ReadFile(deep_below(renamed)));
  EXPECT_TRUE(DeleteFileOrDirectory(renamed, true));
  EXPECT_FALSE(PathExists(renamed));
  EXPECT_TRUE(DeleteFileOrDirectory(tree_copy, true));
  EXPECT_FALSE(PathExists(copied_deep));
  // Each call reached the system in the long form.
  EXPECT_EQ(refused, ScopedPlainPathLimit::refused());
}

}  // namespace
}  // namespace base
