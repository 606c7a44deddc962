#include <windows.h>

#include "base/process/native_library.h"
#include "base/strings/string_util_win.h"

namespace base {

namespace {

// The library's own folder for its dependencies, then the system folder;
// never the current folder, the executable's folder or PATH.
constexpr DWORD kRestrictedSearch =
    LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR | LOAD_LIBRARY_SEARCH_SYSTEM32;

// |name| in the system folder; empty when that folder cannot be read.
FilePath InSystemFolder(const FilePath& name) {
  wchar_t folder[MAX_PATH] = {};
  const UINT length = GetSystemDirectoryW(folder, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return FilePath();
  return FilePath(as_u16cstr(folder)).Append(name.value());
}

NativeLibrary __stdcall SystemLoad(const wchar_t* path, void* reserved,
                                   unsigned long flags) {
  return LoadLibraryExW(path, static_cast<HANDLE>(reserved), flags);
}

}  // namespace

NativeLibrary LoadNativeLibraryHelper(const FilePath& path,
                                      NativeLibraryLoadFunction load) {
  FilePath full_path = path;
  if (!path.IsAbsolute()) {
    // "dir\x.dll" or "C:x.dll" would be found relative to the current
    // folder, which anybody may have chosen.
    if (path.BaseName() != path) {
      SetLastError(ERROR_INVALID_PARAMETER);
      return nullptr;
    }
    full_path = InSystemFolder(path);
    if (full_path.empty()) return nullptr;
  }
  NativeLibrary library =
      load(as_wcstr(full_path.value()), nullptr, kRestrictedSearch);
  // Windows 7 without the loader update rejects the search flags; the full
  // path then still pins the library itself.
  if (!library && GetLastError() == ERROR_INVALID_PARAMETER) {
    library = load(as_wcstr(full_path.value()), nullptr,
                   LOAD_WITH_ALTERED_SEARCH_PATH);
  }
  return library;
}

NativeLibrary LoadNativeLibrary(const FilePath& path) {
  return LoadNativeLibraryHelper(path, &SystemLoad);
}

ScopedNativeLibrary::ScopedNativeLibrary(const FilePath& path)
    : library_(LoadNativeLibrary(path)) {}

ScopedNativeLibrary::~ScopedNativeLibrary() {
  if (library_) FreeLibrary(static_cast<HMODULE>(library_));
}

void* ScopedNativeLibrary::GetFunctionPointer(const char* name) const {
  if (!library_) return nullptr;
  return reinterpret_cast<void*>(
      GetProcAddress(static_cast<HMODULE>(library_), name));
}

}  // namespace base
