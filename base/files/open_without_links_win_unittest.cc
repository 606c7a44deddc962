#include "base/files/open_without_links_win.h"

#include <windows.h>

#include <functional>
#include <string>

#include "base/files/file_attributes_win.h"
#include "base/files/file_util.h"
#include "base/files/folder_walk_win.h"
#include "base/strings/string_util_win.h"
#include "base/test/scoped_temp_dir.h"
#include "base/test/scoped_unix_link_win.h"
#include "gtest/gtest.h"

namespace base {
namespace {

std::string ReadFile(const FilePath& path) {
  std::string contents;
  FileUtil::ReadFileToString(path, &contents);
  return contents;
}

class OpenWithoutLinksTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(temp_dir_.CreateUniqueTempDir());
    victim_ = Dir().Append(u"victim.txt");
    ASSERT_EQ(6, WriteBufferToFile(victim_, "victim", 6));
  }
  void TearDown() override {
    internal::SetWalkAttributesHookForTesting(nullptr);
    SetLinkRule(LinkRule::kRefuseOnTheWay);
  }

  FilePath Dir() const { return temp_dir_.GetPath(); }

  // Opens |path| for appending, creating it when missing, and writes
  // "written" when that succeeds.
  bool AppendTo(const FilePath& path) {
    HANDLE file = OpenWithoutLinks(path.value(), FILE_APPEND_DATA,
                                   FILE_SHARE_READ, OPEN_ALWAYS);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    ::WriteFile(file, "written", 7, &written, nullptr);
    ::CloseHandle(file);
    return true;
  }

  FilePath victim_;
  ScopedTempDir temp_dir_;
};

TEST_F(OpenWithoutLinksTest, PlainFilesAndFoldersOpenInAnySpelling) {
  const FilePath folder = Dir().Append(u"a long folder name");
  ASSERT_TRUE(FileUtil::CreateDirectory(folder));
  const FilePath file = folder.Append(u"new.log");
  EXPECT_TRUE(AppendTo(file));
  EXPECT_EQ("written", ReadFile(file));

  wchar_t short_folder[MAX_PATH] = {};
  ASSERT_NE(0u, ::GetShortPathNameW(as_wcstr(folder.value()), short_folder,
                                    MAX_PATH));
  const std::u16string spellings[] = {
      file.value(), u"\\\\?\\" + file.value(),
      std::u16string(as_u16cstr(short_folder)) + u"\\new.log",
      folder.value() + u"\\.\\new.log"};
  for (const std::u16string& spelling : spellings) {
    SCOPED_TRACE(FilePath(spelling).AsUTF8());
    HANDLE handle = OpenWithoutLinks(spelling, GENERIC_READ, FILE_SHARE_READ,
                                     OPEN_EXISTING);
    ASSERT_NE(INVALID_HANDLE_VALUE, handle);
    EXPECT_TRUE(
        PathsEqualIgnoringCase(file.value(), GetFinalPathOfHandle(handle)));
    ::CloseHandle(handle);
  }
  for (const std::u16string& spelling :
       {folder.value(), folder.value() + u"\\"}) {
    HANDLE handle = OpenWithoutLinks(spelling, FILE_LIST_DIRECTORY,
                                     FILE_SHARE_READ, OPEN_EXISTING);
    ASSERT_NE(INVALID_HANDLE_VALUE, handle);
    ::CloseHandle(handle);
  }
  // Emptied once accepted.
  HANDLE handle =
      OpenWithoutLinks(file.value(), GENERIC_WRITE, 0, CREATE_ALWAYS);
  ASSERT_NE(INVALID_HANDLE_VALUE, handle);
  ::CloseHandle(handle);
  EXPECT_EQ("", ReadFile(file));
}

// A second name of a file is that file: nothing is written or deleted
// through it, whether it is opened as it is or for a new file.
TEST_F(OpenWithoutLinksTest, ASecondNameOfAnotherFileIsRefused) {
  const FilePath link = Dir().Append(u"planted.log");
  ASSERT_TRUE(::CreateHardLinkW(as_wcstr(link.value()),
                                as_wcstr(victim_.value()), nullptr));
  for (DWORD disposition : {OPEN_EXISTING, OPEN_ALWAYS, CREATE_ALWAYS}) {
    SCOPED_TRACE(disposition);
    HANDLE handle = OpenWithoutLinks(
        link.value(), FILE_APPEND_DATA | DELETE,
        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, disposition);
    EXPECT_EQ(INVALID_HANDLE_VALUE, handle);
    EXPECT_EQ(static_cast<DWORD>(ERROR_CANT_ACCESS_FILE), ::GetLastError());
  }
  EXPECT_EQ("victim", ReadFile(victim_));
  EXPECT_TRUE(PathExists(link));
  EXPECT_FALSE(AppendTo(victim_));

  // Deleting that name leaves the file's read-only attribute as it was.
  ASSERT_TRUE(
      ::SetFileAttributesW(as_wcstr(victim_.value()), FILE_ATTRIBUTE_READONLY));
  DeleteWithoutLinks(link.value(), false);
  EXPECT_TRUE(::GetFileAttributesW(as_wcstr(victim_.value())) &
              FILE_ATTRIBUTE_READONLY);
  EXPECT_EQ("victim", ReadFile(victim_));
  ::SetFileAttributesW(as_wcstr(victim_.value()), FILE_ATTRIBUTE_NORMAL);
}

// A reparse point (as the attribute check sees it) is never opened; a file
// the call made before it found out is gone again.
TEST_F(OpenWithoutLinksTest, AReparsePointIsRefusedAndWhatWasMadeRemoved) {
  internal::SetWalkAttributesHookForTesting(
      [](const FilePath& path, uint32_t attributes) -> uint32_t {
        return path.BaseName().value() == u"link.log"
                   ? attributes | FILE_ATTRIBUTE_REPARSE_POINT
                   : attributes;
      });
  const FilePath link = Dir().Append(u"link.log");
  EXPECT_FALSE(AppendTo(link));
  EXPECT_FALSE(PathExists(link));
  EXPECT_TRUE(AppendTo(Dir().Append(u"other.log")));
  // A reparse point that leads its name nowhere else (a file the system
  // keeps compressed) is no link.
  internal::SetReparseTagHookForTesting(
      [](const FilePath&, uint32_t) -> uint32_t { return 0x80000017u; });
  EXPECT_TRUE(AppendTo(link));
  internal::SetReparseTagHookForTesting(nullptr);
}

// The operations of a privileged process on paths that another account
// may have prepared: a link anywhere on a path (here a Linux link under the
// test system, which stands in for a junction) is refused by each, with
// ERROR_CANT_ACCESS_FILE, and what it leads to stays as it was.
TEST_F(OpenWithoutLinksTest, EveryOperationRefusesALinkOnThePath) {
  const FilePath target = Dir().Append(u"target");
  ASSERT_TRUE(FileUtil::CreateDirectory(target.Append(u"sub")));
  ASSERT_EQ(6, WriteBufferToFile(target.Append(u"secret.txt"), "secret", 6));
  const FilePath plain = Dir().Append(u"plain.txt");
  ASSERT_EQ(5, WriteBufferToFile(plain, "plain", 5));
  const FilePath tree = Dir().Append(u"tree");
  ASSERT_TRUE(FileUtil::CreateDirectory(tree));
  ScopedUnixLink junction;
  ScopedUnixLink inner;
  ASSERT_TRUE(junction.Make(Dir().Append(u"J"), target));
  ASSERT_TRUE(inner.Make(tree.Append(u"K"), target));
  const std::u16string through = Dir().Append(u"J\\secret.txt").value();
  const std::u16string into = Dir().Append(u"J\\new").value();
  const std::u16string link = Dir().Append(u"J").value();
  std::u16string temp_name;

  const struct {
    const char* name;
    std::function<bool()> call;
  } cases[] = {
      {"delete through", [&] { return DeleteWithoutLinks(through, false); }},
      {"delete the link", [&] { return DeleteWithoutLinks(link, true); }},
      {"delete a tree holding one",
       [&] { return DeleteWithoutLinks(tree.value(), true); }},
      {"delete an empty folder",
       [&] { return DeleteEmptyFolderWithoutLinks(link); }},
      {"move out",
       [&] {
         return MoveWithoutLinks(through, Dir().Append(u"out").value(), true);
       }},
      {"move in", [&] { return MoveWithoutLinks(plain.value(), into, true); }},
      {"make a folder in",
       [&] { return CreateFolderWithoutLinks(into, nullptr); }},
      {"copy in", [&] { return CopyFileWithoutLinks(plain.value(), into); }},
      {"copy out",
       [&] {
         return CopyFileWithoutLinks(through, Dir().Append(u"out").value());
       }},
      {"make a temporary file in",
       [&] {
         const HANDLE made = CreateTemporaryFileWithoutLinks(link, &temp_name);
         if (made != INVALID_HANDLE_VALUE) ::CloseHandle(made);
         return made != INVALID_HANDLE_VALUE;
       }},
      {"delete a tree holding one, by the common call",
       [&] { return DeleteFileOrDirectory(tree, true); }},
      {"walk in",
       [&] {
         return FolderWalk(Dir()).Folder(FilePath(u"J"), true) != nullptr;
       }},
      {"walk in and make a file",
       [&] {
         FolderWalk walk(Dir());
         const HANDLE made = walk.OpenFile(FilePath(u"J\\new"), GENERIC_WRITE,
                                           0, CREATE_NEW, 0);
         if (made != INVALID_HANDLE_VALUE) ::CloseHandle(made);
         return made != INVALID_HANDLE_VALUE;
       }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ::SetLastError(0);
    EXPECT_FALSE(c.call());
    EXPECT_EQ(static_cast<DWORD>(ERROR_CANT_ACCESS_FILE), ::GetLastError());
    EXPECT_EQ("secret", ReadFile(target.Append(u"secret.txt")));
    EXPECT_TRUE(DirectoryExists(target.Append(u"sub")));
    EXPECT_FALSE(PathExists(target.Append(u"new")));
    EXPECT_FALSE(PathExists(Dir().Append(u"out")));
    EXPECT_EQ("plain", ReadFile(plain));
  }
  EXPECT_TRUE(IsLink(FilePath(link)));
  EXPECT_TRUE(IsLink(FilePath(through)));
  EXPECT_FALSE(IsDirectoryNotLink(FilePath(link)));
  // Following links on the way, a tree delete still never enters one.
  SetLinkRule(LinkRule::kFollowOnTheWay);
  for (size_t i : {1, 2, 3, 10}) {
    SCOPED_TRACE(cases[i].name);
    EXPECT_FALSE(cases[i].call());
    EXPECT_EQ("secret", ReadFile(target.Append(u"secret.txt")));
    EXPECT_TRUE(DirectoryExists(target.Append(u"sub")));
  }
  EXPECT_TRUE(CopyFileWithoutLinks(plain.value(), into));
  SetLinkRule(LinkRule::kRefuseOnTheWay);
  EXPECT_EQ("plain", ReadFile(target.Append(u"new")));
}

// The same operations where no link is in the way.
TEST_F(OpenWithoutLinksTest, OperationsOnPlainPaths) {
  const FilePath tree = Dir().Append(u"tree");
  const FilePath deep = tree.Append(u"a\\b");
  ASSERT_TRUE(FileUtil::CreateDirectory(deep));
  const FilePath file = deep.Append(u"file.txt");
  ASSERT_EQ(4, WriteBufferToFile(file, "file", 4));
  ASSERT_TRUE(
      ::SetFileAttributesW(as_wcstr(file.value()), FILE_ATTRIBUTE_READONLY));

  // A copy is new, takes the times and leaves the read-only bit behind.
  const FilePath copy = Dir().Append(u"copy.txt");
  ASSERT_TRUE(CopyFileWithoutLinks(file.value(), copy.value()));
  EXPECT_EQ("file", ReadFile(copy));
  EXPECT_FALSE(::GetFileAttributesW(as_wcstr(copy.value())) &
               FILE_ATTRIBUTE_READONLY);
  File::Info original;
  File::Info copied;
  ASSERT_TRUE(GetFileInfo(file, &original));
  ASSERT_TRUE(GetFileInfo(copy, &copied));
  EXPECT_EQ(original.last_modified, copied.last_modified);
  EXPECT_FALSE(CopyFileWithoutLinks(file.value(), copy.value()));
  EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_EXISTS), ::GetLastError());

  // A rename replaces only when told to.
  const FilePath other = Dir().Append(u"other.txt");
  ASSERT_EQ(5, WriteBufferToFile(other, "other", 5));
  EXPECT_FALSE(MoveWithoutLinks(copy.value(), other.value(), false));
  EXPECT_EQ("other", ReadFile(other));
  EXPECT_TRUE(MoveWithoutLinks(copy.value(), other.value(), true));
  EXPECT_EQ("file", ReadFile(other));
  EXPECT_FALSE(PathExists(copy));
  // The same into a held folder, by the name alone. A held file is never
  // emptied at its open, before it is checked.
  {
    FolderWalk walk(Dir());
    for (DWORD emptying : {DWORD{CREATE_ALWAYS}, DWORD{TRUNCATE_EXISTING}}) {
      EXPECT_EQ(INVALID_HANDLE_VALUE,
                walk.OpenFile(FilePath(u"other.txt"), GENERIC_WRITE,
                              FILE_SHARE_READ, emptying, 0));
      EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), ::GetLastError());
      EXPECT_EQ("file", ReadFile(other));
    }
    const HANDLE moved = walk.OpenFile(FilePath(u"other.txt"), DELETE,
                                       FILE_SHARE_READ, OPEN_EXISTING, 0);
    ASSERT_NE(INVALID_HANDLE_VALUE, moved);
    const HANDLE into = walk.Folder(FilePath(u"tree\\a"), false);
    EXPECT_FALSE(RenameOpenedInto(moved, into, u"b", false));
    EXPECT_TRUE(RenameOpenedInto(moved, into, u"moved.txt", false));
    ::CloseHandle(moved);
    EXPECT_EQ("file", ReadFile(tree.Append(u"a\\moved.txt")));
    ASSERT_TRUE(MoveWithoutLinks(tree.Append(u"a\\moved.txt").value(),
                                 other.value(), false));
  }

  // A folder is made once; a temporary file is new each time.
  const FilePath made = Dir().Append(u"made");
  EXPECT_TRUE(CreateFolderWithoutLinks(made.value(), nullptr));
  EXPECT_FALSE(CreateFolderWithoutLinks(made.value(), nullptr));
  std::u16string first;
  std::u16string second;
  const HANDLE one = CreateTemporaryFileWithoutLinks(made.value(), &first);
  const HANDLE two = CreateTemporaryFileWithoutLinks(made.value(), &second);
  ASSERT_NE(INVALID_HANDLE_VALUE, one);
  ASSERT_NE(INVALID_HANDLE_VALUE, two);
  EXPECT_NE(first, second);
  EXPECT_TRUE(IsTemporaryFileName(FilePath(first).BaseName().value()));
  EXPECT_TRUE(DeleteOpened(one));
  ::CloseHandle(one);
  ::CloseHandle(two);
  EXPECT_FALSE(PathExists(FilePath(first)));
  EXPECT_TRUE(PathExists(FilePath(second)));

  // Only an empty folder goes so; a tree with read-only files goes whole.
  EXPECT_FALSE(DeleteEmptyFolderWithoutLinks(made.value()));
  EXPECT_FALSE(DeleteEmptyFolderWithoutLinks(other.value()));
  EXPECT_FALSE(DeleteWithoutLinks(tree.value(), false));
  EXPECT_TRUE(DeleteWithoutLinks(tree.value(), true));
  EXPECT_FALSE(PathExists(tree));
  EXPECT_TRUE(DeleteWithoutLinks(tree.value(), true));
  EXPECT_TRUE(DeleteWithoutLinks(second, false));
  EXPECT_TRUE(DeleteEmptyFolderWithoutLinks(made.value()));
  EXPECT_FALSE(PathExists(made));
}

TEST(OpenWithoutLinksNamesTest, LongPathPrefixes) {
  const struct {
    const char16_t* path;
    const char16_t* plain;
  } cases[] = {
      {u"\\\\?\\C:\\x\\y", u"C:\\x\\y"},
      {u"\\\\?\\UNC\\server\\share\\x", u"\\\\server\\share\\x"},
      {u"\\\\?\\Volume{1}\\x", u"\\\\?\\Volume{1}\\x"},
      {u"\\\\.\\C:\\x", u"\\\\.\\C:\\x"},
      {u"C:\\x", u"C:\\x"},
      {u"\\\\?\\", u"\\\\?\\"},
      {u"", u""},
  };
  for (const auto& c : cases)
    EXPECT_EQ(std::u16string(c.plain), StripLongPathPrefix(c.path));
  EXPECT_TRUE(PathsEqualIgnoringCase(u"C:\\Users\\Me", u"c:\\users\\ME"));
  EXPECT_FALSE(PathsEqualIgnoringCase(u"C:\\Users\\Me", u"C:\\Users\\Me2"));
}

}  // namespace
}  // namespace base
