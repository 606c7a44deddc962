#include <windows.h>

#include <string>
#include <vector>

#include "base/files/file_util.h"
#include "base/process/native_library.h"
#include "base/strings/string_util.h"
#include "base/strings/string_util_win.h"
#include "base/strings/utf_string_conversions.h"
#include "base/test/child_process_win.h"
#include "base/test/scoped_temp_dir.h"
#include "gtest/gtest.h"

namespace base {
namespace {

constexpr char16_t kLibrary[] = u"velna_test_library.dll";
constexpr char16_t kDependency[] = u"velna_test_library_dep.dll";

// Built into a folder of their own beside the test executable, so that the
// executable's folder does not hold them.
FilePath TestLibrariesFolder() {
  return FilePath(GetTestExecutableFolder() + u"test_libraries");
}

FilePath SystemFolder() {
  wchar_t folder[MAX_PATH] = {};
  GetSystemDirectoryW(folder, MAX_PATH);
  return FilePath(as_u16cstr(folder));
}

std::u16string ModulePath(NativeLibrary library) {
  wchar_t path[MAX_PATH] = {};
  GetModuleFileNameW(static_cast<HMODULE>(library), path, MAX_PATH);
  return as_u16cstr(path);
}

// Switches the current folder for one scope.
class ScopedCurrentDirectory {
 public:
  explicit ScopedCurrentDirectory(const FilePath& folder) {
    EXPECT_TRUE(GetCurrentDirectory(&previous_));
    EXPECT_TRUE(SetCurrentDirectoryW(as_wcstr(folder.value())));
  }
  ~ScopedCurrentDirectory() {
    SetCurrentDirectoryW(as_wcstr(previous_.value()));
  }

 private:
  FilePath previous_;
};

struct LoadCall {
  std::u16string path;
  unsigned long flags;
};
std::vector<LoadCall>* g_calls = nullptr;
bool g_reject_search_flags = false;

NativeLibrary __stdcall RecordingLoad(const wchar_t* path, void*,
                                      unsigned long flags) {
  g_calls->push_back({as_u16cstr(path), flags});
  if (g_reject_search_flags && (flags & LOAD_LIBRARY_SEARCH_SYSTEM32)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  return reinterpret_cast<NativeLibrary>(0x1000);
}

TEST(NativeLibraryTest, SearchIsRestricted) {
  const std::u16string system = SystemFolder().value();
  const unsigned long kRestricted =
      LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR | LOAD_LIBRARY_SEARCH_SYSTEM32;
  struct Case {
    const char16_t* path;
    bool old_loader;
    std::vector<LoadCall> calls;
  };
  const Case cases[] = {
      {u"dbghelp.dll", false, {{system + u"\\dbghelp.dll", kRestricted}}},
      {u"C:\\app\\x.dll", false, {{u"C:\\app\\x.dll", kRestricted}}},
      {u"\\\\server\\share\\x.dll",
       false,
       {{u"\\\\server\\share\\x.dll", kRestricted}}},
      {u"C:\\app\\x.dll",
       true,
       {{u"C:\\app\\x.dll", kRestricted},
        {u"C:\\app\\x.dll", LOAD_WITH_ALTERED_SEARCH_PATH}}},
      {u"sub\\x.dll", false, {}},
      {u"..\\x.dll", false, {}},
      {u"C:x.dll", false, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(UTF16ToUTF8(c.path));
    std::vector<LoadCall> calls;
    g_calls = &calls;
    g_reject_search_flags = c.old_loader;
    const NativeLibrary library =
        LoadNativeLibraryHelper(FilePath(c.path), &RecordingLoad);
    EXPECT_EQ(c.calls.empty(), library == nullptr);
    ASSERT_EQ(c.calls.size(), calls.size());
    for (size_t i = 0; i < calls.size(); ++i) {
      EXPECT_TRUE(FilePath::CompareIgnoreCase(c.calls[i].path, calls[i].path) ==
                  0)
          << UTF16ToUTF8(calls[i].path);
      EXPECT_EQ(c.calls[i].flags, calls[i].flags);
    }
  }
  g_calls = nullptr;
  g_reject_search_flags = false;
}

TEST(NativeLibraryTest, LibraryPlantedInTheCurrentFolderIsNotLoaded) {
  ScopedTempDir planted;
  ASSERT_TRUE(planted.CreateUniqueTempDir());
  ASSERT_TRUE(CopyOneFile(TestLibrariesFolder().Append(kDependency),
                          planted.GetPath().Append(kDependency)));
  ScopedCurrentDirectory current(planted.GetPath());

  // The system's default search would take it from the current folder ...
  HMODULE unsafe = LoadLibraryW(as_wcstr(kDependency));
  ASSERT_NE(nullptr, unsafe);
  FreeLibrary(unsafe);
  // ... the helper does not.
  ScopedNativeLibrary library{FilePath(kDependency)};
  EXPECT_FALSE(library.is_valid());
  EXPECT_EQ(nullptr, library.GetFunctionPointer("VelnaTestLibraryDepPath"));
}

TEST(NativeLibraryTest, SystemLibraryWinsOverAPlantedNamesake) {
  ScopedTempDir planted;
  ASSERT_TRUE(planted.CreateUniqueTempDir());
  ASSERT_TRUE(CopyOneFile(TestLibrariesFolder().Append(kDependency),
                          planted.GetPath().Append(u"dbghelp.dll")));
  ScopedCurrentDirectory current(planted.GetPath());

  ScopedNativeLibrary library{FilePath(u"dbghelp.dll")};
  ASSERT_TRUE(library.is_valid());
  EXPECT_EQ(0, FilePath::CompareIgnoreCase(
                   SystemFolder().Append(u"dbghelp.dll").value(),
                   ModulePath(library.get())));
  EXPECT_NE(nullptr, library.GetFunctionPointer("MiniDumpWriteDump"));
  EXPECT_EQ(nullptr, library.GetFunctionPointer("VelnaTestLibraryDepPath"));
}

TEST(NativeLibraryTest, DependenciesComeFromTheLibrarysOwnFolder) {
  ScopedTempDir own_folder;
  ScopedTempDir planted;
  ASSERT_TRUE(own_folder.CreateUniqueTempDir());
  ASSERT_TRUE(planted.CreateUniqueTempDir());
  for (const char16_t* name : {kLibrary, kDependency}) {
    ASSERT_TRUE(CopyOneFile(TestLibrariesFolder().Append(name),
                            own_folder.GetPath().Append(name)));
  }
  ASSERT_TRUE(CopyOneFile(TestLibrariesFolder().Append(kDependency),
                          planted.GetPath().Append(kDependency)));
  ScopedCurrentDirectory current(planted.GetPath());
  FilePath before;
  ASSERT_TRUE(GetCurrentDirectory(&before));

  {
    ScopedNativeLibrary library(own_folder.GetPath().Append(kLibrary));
    ASSERT_TRUE(library.is_valid());
    using PathFunction = const wchar_t* (*)();
    auto dependency_path = reinterpret_cast<PathFunction>(
        library.GetFunctionPointer("VelnaTestLibraryDependencyPath"));
    ASSERT_NE(nullptr, dependency_path);
    EXPECT_EQ(0, FilePath::CompareIgnoreCase(
                     own_folder.GetPath().Append(kDependency).value(),
                     as_u16cstr(dependency_path())));
    EXPECT_EQ(nullptr, library.GetFunctionPointer("NoSuchExport"));
  }
  // Loading leaves the current folder alone.
  FilePath after;
  ASSERT_TRUE(GetCurrentDirectory(&after));
  EXPECT_EQ(before, after);
  // Unloaded with the object: the copies can go.
  EXPECT_TRUE(own_folder.Delete());
}

}  // namespace
}  // namespace base
