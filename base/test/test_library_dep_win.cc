// A test library without dependencies of its own: it tells from which file
// it was loaded.

#include <windows.h>

extern "C" __declspec(dllexport) const wchar_t* VelnaTestLibraryDepPath() {
  static wchar_t path[MAX_PATH];
  HMODULE self = nullptr;
  GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                         GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                     reinterpret_cast<LPCWSTR>(&VelnaTestLibraryDepPath),
                     &self);
  GetModuleFileNameW(self, path, MAX_PATH);
  return path;
}
