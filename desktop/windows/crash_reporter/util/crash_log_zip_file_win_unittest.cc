#include "desktop/windows/crash_reporter/util/crash_log_zip_file_win.h"

#include <windows.h>

#include <string>
#include <vector>

#include "base/files/file.h"
#include "base/files/file_util.h"
#include "base/strings/string_util_win.h"
#include "base/test/scoped_temp_dir.h"
#include "base/win/scoped_handle.h"
#include "desktop/windows/crash_reporter/util/test/upload_test_util.h"
#include "gtest/gtest.h"

namespace crash_reporter {
namespace {

class CrashLogZipFileTest : public testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(dir_.CreateUniqueTempDir()); }

  base::FilePath Write(const std::u16string& name, const std::string& data) {
    return test::WriteTestFile(dir_.GetPath(), name, data);
  }

  std::string Read(const base::FilePath& path) {
    std::string text;
    EXPECT_TRUE(base::FileUtil::ReadFileToString(path, &text)) << path;
    return text;
  }

  // The names in the test's folder, in the order the system lists them.
  std::vector<std::u16string> Names() {
    std::vector<std::u16string> names;
    WIN32_FIND_DATAW found = {};
    const HANDLE search = FindFirstFileW(
        base::as_wcstr(dir_.GetPath().Append(u"*").value()), &found);
    if (search == INVALID_HANDLE_VALUE) return names;
    do {
      const std::u16string name = base::as_u16cstr(found.cFileName);
      if (name != u"." && name != u"..") names.push_back(name);
    } while (FindNextFileW(search, &found));
    FindClose(search);
    return names;
  }

  base::ScopedTempDir dir_;
};

TEST_F(CrashLogZipFileTest, EachZipGetsANewRandomNameBesideTheLog) {
  const base::FilePath log = dir_.GetPath().Append(u"velna-crashlog-42-1.txt");
  const std::u16string prefix =
      dir_.GetPath().Append(u"velna-crashlog-42-1-").value();
  const base::FilePath first = CrashLogZipFile::NewPathFor(log);
  ASSERT_EQ(prefix.size() + 16 + 4, first.value().size()) << first;
  EXPECT_EQ(0u, first.value().find(prefix)) << first;
  EXPECT_EQ(prefix.size() + 16,
            first.value().find_first_not_of(u"0123456789ABCDEF", prefix.size()))
      << first;
  EXPECT_EQ(u".zip", first.value().substr(first.value().size() - 4));
  EXPECT_NE(first, CrashLogZipFile::NewPathFor(log));
  EXPECT_TRUE(CrashLogZipFile::NewPathFor(base::FilePath()).empty());
}

// The zip is there, and nobody else writes, renames or deletes it, as long
// as the object lives; then it is gone.
TEST_F(CrashLogZipFileTest, TheZipLastsAsLongAsItsObject) {
  const base::FilePath log = Write(u"velna-crashlog-42-1.txt", "the log");
  base::FilePath path;
  {
    CrashLogZipFile zip;
    ASSERT_TRUE(zip.Create(log));
    path = zip.path();
    EXPECT_EQ(dir_.GetPath(), path.DirName());
    // Read by its name, as the upload reads it (sharing deletion).
    base::File reader(path, base::File::FLAG_OPEN | base::File::FLAG_READ |
                                base::File::FLAG_SHARE_DELETE);
    std::string bytes(static_cast<size_t>(reader.GetLength()), '\0');
    ASSERT_EQ(static_cast<int>(bytes.size()),
              reader.ReadAtCurrentPos(bytes.data(), bytes.size()));
    base::ScopedTempDir copy_dir;
    ASSERT_TRUE(copy_dir.CreateUniqueTempDir());
    const base::FilePath copy =
        test::WriteTestFile(copy_dir.GetPath(), u"copy.zip", bytes);
    std::string name, content;
    ASSERT_TRUE(test::ReadOnlyZipEntry(copy, &name, &content));
    EXPECT_EQ("crashlog.txt", name);
    EXPECT_EQ("the log", content);
    for (DWORD access : {GENERIC_WRITE, DELETE}) {
      base::win::ScopedHandle other(
          CreateFileW(base::as_wcstr(path.value()), access,
                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                      nullptr, OPEN_EXISTING, 0, nullptr));
      EXPECT_FALSE(other.IsValid()) << access;
      EXPECT_EQ(static_cast<DWORD>(ERROR_SHARING_VIOLATION), GetLastError());
    }
  }
  EXPECT_FALSE(base::PathExists(path));
  EXPECT_EQ(std::vector<std::u16string>{u"velna-crashlog-42-1.txt"}, Names());
}

// Someone may have planted a file at the name, or a second name of a file
// of their own: it is refused and stays as it was, and no zip is left.
TEST_F(CrashLogZipFileTest, APlantedFileOrLinkAtTheNameIsRefusedAndKept) {
  const base::FilePath log = Write(u"velna-crashlog-42-1.txt", "the log");
  const base::FilePath own = Write(u"own.zip", "planted");
  const base::FilePath linked = dir_.GetPath().Append(u"linked.zip");
  ASSERT_TRUE(CreateHardLinkW(base::as_wcstr(linked.value()),
                              base::as_wcstr(own.value()), nullptr));
  const base::FilePath plain = Write(u"plain.zip", "planted");
  for (const base::FilePath& planted : {linked, plain}) {
    SCOPED_TRACE(planted.AsUTF8());
    CrashLogZipFile zip;
    EXPECT_FALSE(zip.CreateAt(log, planted));
    EXPECT_TRUE(zip.path().empty());
    EXPECT_EQ("planted", Read(planted));
  }
  EXPECT_EQ("planted", Read(own));
  EXPECT_EQ(4u, Names().size());
}

TEST_F(CrashLogZipFileTest, ALogThatCannotBeZippedLeavesNoFile) {
  const base::FilePath zip_path = dir_.GetPath().Append(u"log.zip");
  for (const base::FilePath& log :
       {Write(u"empty.txt", ""), dir_.GetPath().Append(u"missing.txt")}) {
    CrashLogZipFile zip;
    EXPECT_FALSE(zip.CreateAt(log, zip_path));
    EXPECT_FALSE(base::PathExists(zip_path));
  }
}

}  // namespace
}  // namespace crash_reporter
