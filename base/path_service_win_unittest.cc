
#include <windows.h>

// These need windows.h first.
#include <knownfolders.h>
#include <objbase.h>
#include <shlobj.h>

#include <thread>
#include <vector>

#include "base/base_paths.h"
#include "base/base_paths_win.h"
#include "base/files/file_util.h"
#include "base/path_service.h"
#include "base/strings/string_util_win.h"
#include "base/strings/utf_string_conversions.h"
#include "base/test/scoped_temp_dir.h"
#include "base/win/windows_version.h"
#include "gtest/gtest.h"

namespace base {
namespace {

FilePath Environment(const wchar_t* name) {
  wchar_t value[MAX_PATH] = {};
  if (!GetEnvironmentVariableW(name, value, MAX_PATH)) return FilePath();
  return FilePath(as_u16cstr(value));
}

FilePath KnownFolder(REFKNOWNFOLDERID id) {
  wchar_t* path = nullptr;
  FilePath result;
  if (SUCCEEDED(SHGetKnownFolderPath(id, 0, nullptr, &path)))
    result = FilePath(as_u16cstr(path));
  CoTaskMemFree(path);
  return result;
}

FilePath ExecutablePath() {
  wchar_t path[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, path, MAX_PATH);
  return FilePath(as_u16cstr(path));
}

::testing::AssertionResult SamePath(const FilePath& expected,
                                    const FilePath& actual) {
  if (!expected.empty() &&
      FilePath::CompareIgnoreCase(expected.value(), actual.value()) == 0) {
    return ::testing::AssertionSuccess();
  }
  return ::testing::AssertionFailure()
         << "expected \"" << expected << "\", got \"" << actual << "\"";
}

FilePath Get(int key) {
  FilePath path;
  EXPECT_TRUE(PathService::Get(key, &path)) << "key " << key;
  return path;
}

// Each key against what the system says through another way in.
TEST(PathServiceTest, KeysAnswerTheirFolders) {
  const FilePath exe = ExecutablePath();
  const FilePath quick_launch = Environment(L"APPDATA")
                                    .Append(u"Microsoft")
                                    .Append(u"Internet Explorer")
                                    .Append(u"Quick Launch");
  const struct {
    int key;
    FilePath expected;
  } cases[] = {
      {DIR_EXE, exe.DirName()},
      {FILE_EXE, exe},
      // The tests link the library statically: the module is the program.
      {FILE_MODULE, exe},
      {DIR_MODULE, exe.DirName()},
      {DIR_TWO_ABOVE_EXE, exe.DirName().DirName().DirName()},
      {DIR_HOME, Environment(L"USERPROFILE")},
      {DIR_USER_DESKTOP, KnownFolder(FOLDERID_Desktop)},
      {DIR_WINDOWS, Environment(L"SystemRoot")},
      {DIR_SYSTEM, Environment(L"SystemRoot").Append(u"system32")},
      {DIR_PROGRAM_FILES, Environment(L"ProgramFiles")},
      {DIR_PROGRAM_FILES_X86, Environment(L"ProgramFiles(x86)")},
      {DIR_PROGRAM_FILES_NATIVE, Environment(L"ProgramFiles")},
      {DIR_INTERNET_CACHE, KnownFolder(FOLDERID_InternetCache)},
      {DIR_COMMON_START_MENU, KnownFolder(FOLDERID_CommonPrograms)},
      {DIR_START_MENU, KnownFolder(FOLDERID_Programs)},
      {DIR_ROAMING_APP_DATA, Environment(L"APPDATA")},
      {DIR_LOCAL_APP_DATA, Environment(L"LOCALAPPDATA")},
      {DIR_COMMON_APP_DATA, Environment(L"ProgramData")},
      {DIR_COMMON_DESKTOP, KnownFolder(FOLDERID_PublicDesktop)},
      {DIR_QUICK_LAUNCH, quick_launch},
      {DIR_TASKBAR_PINS,
       quick_launch.Append(u"User Pinned").Append(u"TaskBar")},
      {DIR_IMPLICIT_APP_SHORTCUTS,
       quick_launch.Append(u"User Pinned").Append(u"ImplicitAppShortcuts")},
      {DIR_FONTS, KnownFolder(FOLDERID_Fonts)},
  };
  for (const auto& c : cases)
    EXPECT_TRUE(SamePath(c.expected, Get(c.key))) << "key " << c.key;

  FilePath temp;
  ASSERT_TRUE(GetTempDir(&temp));
  EXPECT_EQ(temp, Get(DIR_TEMP));
}

TEST(PathServiceTest, CurrentFolderIsReadAfresh) {
  ScopedTempDir folder;
  ASSERT_TRUE(folder.CreateUniqueTempDir());
  const FilePath before = Get(DIR_CURRENT);
  const FilePath exe_folder = Get(DIR_EXE);
  ASSERT_TRUE(SetCurrentDirectoryW(as_wcstr(folder.GetPath().value())));
  EXPECT_TRUE(SamePath(folder.GetPath(), Get(DIR_CURRENT)));
  EXPECT_EQ(exe_folder, Get(DIR_EXE));
  ASSERT_TRUE(SetCurrentDirectoryW(as_wcstr(before.value())));
  EXPECT_EQ(before, Get(DIR_CURRENT));
}

TEST(PathServiceTest, UnknownKeyOnlyThroughAnOverride) {
  const int kKey = 9991;
  FilePath path(u"unchanged");
  EXPECT_FALSE(PathService::Get(kKey, &path));
  EXPECT_EQ(FilePath(u"unchanged"), path);
  ASSERT_TRUE(PathService::OverrideAndCreateIfNeeded(kKey, FilePath(u"C:\\x"),
                                                     true, false));
  EXPECT_EQ(FilePath(u"C:\\x"), Get(kKey));
  // A later override wins over the cached answer.
  ASSERT_TRUE(PathService::OverrideAndCreateIfNeeded(kKey, FilePath(u"C:\\y"),
                                                     true, false));
  EXPECT_EQ(FilePath(u"C:\\y"), Get(kKey));
  EXPECT_TRUE(PathService::RemoveOverrideForTesting(kKey));
  EXPECT_FALSE(PathService::Get(kKey, &path));
}

TEST(PathServiceTest, OverrideCreatesTheFolderChain) {
  ScopedTempDir folder;
  ASSERT_TRUE(folder.CreateUniqueTempDir());
  const int kKey = 9992;
  const FilePath deep =
      folder.GetPath().Append(u"User Data").Append(u"a").Append(u"b");
  ASSERT_TRUE(PathService::OverrideAndCreateIfNeeded(kKey, deep, true, true));
  EXPECT_TRUE(DirectoryExists(deep));
  EXPECT_EQ(deep, Get(kKey));

  // A file in the way: no folder, no override.
  const FilePath file = folder.GetPath().Append(u"file");
  ASSERT_EQ(1, WriteBufferToFile(file, "x", 1));
  const int kOtherKey = 9993;
  EXPECT_FALSE(PathService::OverrideAndCreateIfNeeded(
      kOtherKey, file.Append(u"sub"), true, true));
  FilePath path;
  EXPECT_FALSE(PathService::Get(kOtherKey, &path));
  PathService::RemoveOverrideForTesting(kKey);
}

TEST(PathServiceTest, RelativeOverrideIsStoredAbsolute) {
  ScopedTempDir folder;
  ASSERT_TRUE(folder.CreateUniqueTempDir());
  const FilePath before = Get(DIR_CURRENT);
  ASSERT_TRUE(SetCurrentDirectoryW(as_wcstr(folder.GetPath().value())));
  const int kKey = 9994;
  ASSERT_TRUE(PathService::OverrideAndCreateIfNeeded(
      kKey, FilePath(u"sub\\dir"), false, false));
  ASSERT_TRUE(SetCurrentDirectoryW(as_wcstr(before.value())));
  EXPECT_TRUE(
      SamePath(folder.GetPath().Append(u"sub").Append(u"dir"), Get(kKey)));
  PathService::RemoveOverrideForTesting(kKey);
}

// An override empties every cached answer, since others derive from it;
// and a derived answer with ".." comes back absolute.
TEST(PathServiceTest, OverrideReachesDerivedKeys) {
  const FilePath real_exe_folder = Get(DIR_EXE);
  ASSERT_TRUE(PathService::OverrideAndCreateIfNeeded(
      FILE_EXE, FilePath(u"C:\\a\\..\\b\\velna.exe"), true, false));
  EXPECT_EQ(FilePath(u"C:\\a\\..\\b\\velna.exe"), Get(FILE_EXE));
  EXPECT_EQ(FilePath(u"C:\\b"), Get(DIR_EXE));
  EXPECT_EQ(FilePath(u"C:\\"), Get(DIR_TWO_ABOVE_EXE));
  EXPECT_TRUE(PathService::RemoveOverrideForTesting(FILE_EXE));
  EXPECT_EQ(real_exe_folder, Get(DIR_EXE));
}

TEST(PathServiceTest, TestDataOnlyWhenItExists) {
  ScopedTempDir folder;
  ASSERT_TRUE(folder.CreateUniqueTempDir());
  const FilePath exe =
      folder.GetPath().Append(u"out").Append(u"bin").Append(u"velna.exe");
  ASSERT_TRUE(
      PathService::OverrideAndCreateIfNeeded(FILE_EXE, exe, true, false));
  FilePath path;
  EXPECT_FALSE(PathService::Get(DIR_TEST_DATA, &path));
  const FilePath data =
      folder.GetPath().Append(u"base").Append(u"test").Append(u"data");
  ASSERT_TRUE(FileUtil::CreateDirectory(data));
  EXPECT_EQ(data, Get(DIR_TEST_DATA));
  PathService::RemoveOverrideForTesting(FILE_EXE);
}

TEST(PathServiceTest, AppShortcutsFromWindows8On) {
  FilePath path;
  const bool answered = PathService::Get(DIR_APP_SHORTCUTS, &path);
  if (win::GetWindowsVersion() < win::kVersionWin8) {
    EXPECT_FALSE(answered);
  } else if (answered) {
    EXPECT_TRUE(SamePath(KnownFolder(FOLDERID_ApplicationShortcuts), path));
  } else {
    // The system has no such known folder (Wine lacks it).
    EXPECT_TRUE(KnownFolder(FOLDERID_ApplicationShortcuts).empty());
  }
}

TEST(PathServiceTest, ThreadsAgree) {
  constexpr int kThreads = 8;
  std::vector<FilePath> answers(kThreads);
  std::vector<std::thread> threads;
  for (int i = 0; i < kThreads; ++i) {
    threads.emplace_back(
        [&answers, i] { PathService::Get(DIR_TASKBAR_PINS, &answers[i]); });
  }
  for (std::thread& thread : threads) thread.join();
  for (const FilePath& answer : answers) {
    EXPECT_FALSE(answer.empty());
    EXPECT_EQ(answers[0], answer);
  }
}

}  // namespace
}  // namespace base
