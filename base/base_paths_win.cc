// Both providers of PathService: the common keys (PathProvider) and the
// Windows ones (PathProviderWin).

#include "base/base_paths_win.h"

#include <windows.h>

// These need windows.h first.
#include <knownfolders.h>
#include <objbase.h>
#include <shlobj.h>

#include "base/base_paths.h"
#include "base/files/file_path.h"
#include "base/files/file_util.h"
#include "base/path_service.h"
#include "base/strings/string_util_win.h"
#include "base/win/windows_version.h"

// The start of the module this code is linked into.
extern "C" IMAGE_DOS_HEADER __ImageBase;

namespace base {

namespace {

bool GetModulePath(HMODULE module, FilePath* result) {
  wchar_t path[MAX_PATH] = {};
  if (GetModuleFileNameW(module, path, MAX_PATH) == 0) return false;
  *result = FilePath(as_u16cstr(path));
  return true;
}

bool GetCsidlPath(int csidl, FilePath* result) {
  wchar_t path[MAX_PATH] = {};
  if (FAILED(SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT,
                              path))) {
    return false;
  }
  *result = FilePath(as_u16cstr(path));
  return true;
}

bool GetAppShortcutsPath(FilePath* result) {
  if (win::GetWindowsVersion() < win::kVersionWin8) return false;
  wchar_t* path = nullptr;
  const HRESULT hr =
      SHGetKnownFolderPath(FOLDERID_ApplicationShortcuts, 0, nullptr, &path);
  if (SUCCEEDED(hr)) *result = FilePath(as_u16cstr(path));
  // Freed on failure too: the shell may hand out a buffer either way.
  CoTaskMemFree(path);
  return SUCCEEDED(hr);
}

bool GetBelowQuickLaunch(const char16_t* first, const char16_t* second,
                         FilePath* result) {
  FilePath quick_launch;
  if (!PathService::Get(DIR_QUICK_LAUNCH, &quick_launch)) return false;
  *result = quick_launch.Append(first).Append(second);
  return true;
}

}  // namespace

bool PathProvider(int key, FilePath* result) {
  FilePath path;
  switch (key) {
    case DIR_EXE:
      if (!PathService::Get(FILE_EXE, &path)) return false;
      *result = path.DirName();
      return true;
    case DIR_MODULE:
      if (!PathService::Get(FILE_MODULE, &path)) return false;
      *result = path.DirName();
      return true;
    case DIR_TEMP:
      return GetTempDir(result);
    case DIR_HOME:
      *result = GetHomeDir();
      return true;
    case DIR_TEST_DATA:
      if (!PathService::Get(DIR_TWO_ABOVE_EXE, &path)) return false;
      path = path.Append(u"base").Append(u"test").Append(u"data");
      if (!PathExists(path)) return false;
      *result = path;
      return true;
    default:
      return false;
  }
}

bool PathProviderWin(int key, FilePath* result) {
  wchar_t buffer[MAX_PATH] = {};
  FilePath path;
  switch (key) {
    case FILE_EXE:
      return GetModulePath(nullptr, result);
    case FILE_MODULE:
      return GetModulePath(reinterpret_cast<HMODULE>(&__ImageBase), result);
    case DIR_TWO_ABOVE_EXE:
      // Taken even when DIR_EXE fails: the parents of nothing give ".".
      PathService::Get(DIR_EXE, &path);
      *result = path.DirName().DirName();
      return true;
    case DIR_USER_DESKTOP:
      return GetCsidlPath(CSIDL_DESKTOPDIRECTORY, result);
    case DIR_WINDOWS:
      GetWindowsDirectoryW(buffer, MAX_PATH);
      *result = FilePath(as_u16cstr(buffer));
      return true;
    case DIR_SYSTEM:
      GetSystemDirectoryW(buffer, MAX_PATH);
      *result = FilePath(as_u16cstr(buffer));
      return true;
    case DIR_PROGRAM_FILES:
    case DIR_PROGRAM_FILES_NATIVE:
      return GetCsidlPath(CSIDL_PROGRAM_FILES, result);
    case DIR_PROGRAM_FILES_X86:
      if (win::OSInfo::GetInstance()->architecture() == win::kX86Architecture)
        return GetCsidlPath(CSIDL_PROGRAM_FILES, result);
      return GetCsidlPath(CSIDL_PROGRAM_FILESX86, result);
    case DIR_INTERNET_CACHE:
      return GetCsidlPath(CSIDL_INTERNET_CACHE, result);
    case DIR_COMMON_START_MENU:
      return GetCsidlPath(CSIDL_COMMON_PROGRAMS, result);
    case DIR_START_MENU:
      return GetCsidlPath(CSIDL_PROGRAMS, result);
    case DIR_ROAMING_APP_DATA:
      return GetCsidlPath(CSIDL_APPDATA, result);
    case DIR_LOCAL_APP_DATA:
      return GetCsidlPath(CSIDL_LOCAL_APPDATA, result);
    case DIR_COMMON_APP_DATA:
      return GetCsidlPath(CSIDL_COMMON_APPDATA, result);
    case DIR_APP_SHORTCUTS:
      return GetAppShortcutsPath(result);
    case DIR_COMMON_DESKTOP:
      return GetCsidlPath(CSIDL_COMMON_DESKTOPDIRECTORY, result);
    case DIR_QUICK_LAUNCH:
      if (!PathService::Get(DIR_ROAMING_APP_DATA, &path)) return false;
      *result = path.Append(u"Microsoft")
                    .Append(u"Internet Explorer")
                    .Append(u"Quick Launch");
      return true;
    case DIR_TASKBAR_PINS:
      return GetBelowQuickLaunch(u"User Pinned", u"TaskBar", result);
    case DIR_IMPLICIT_APP_SHORTCUTS:
      return GetBelowQuickLaunch(u"User Pinned", u"ImplicitAppShortcuts",
                                 result);
    case DIR_FONTS:
      return GetCsidlPath(CSIDL_FONTS, result);
    default:
      return false;
  }
}

}  // namespace base
