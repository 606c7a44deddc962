#include "base/files/open_without_links_win.h"

#include <windows.h>

#include <string>

#include "base/files/file_attributes_win.h"
#include "base/files/file_util.h"
#include "base/strings/string_util_win.h"
#include "base/test/scoped_temp_dir.h"
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
