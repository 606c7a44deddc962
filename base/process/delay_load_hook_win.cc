// The delay-load hook of the product's executable and DLL (see
// velna_delay_load in cmake/velna.cmake). Compiled into each of them, not
// into a library: the C runtime's delay-load helper finds the hook by its
// name when the module is linked.
//
// Every delay-loaded system library is loaded from the system folder (or,
// for the common controls, from the side-by-side store the manifest names);
// the helper's own search would begin with the folder of the program, which
// may be Downloads.

#include <windows.h>
// After windows.h.
#include <delayimp.h>

#include <string>

#include "base/files/file_path.h"
#include "base/process/native_library.h"
#include "base/strings/string_util_win.h"
#include "base/strings/utf_string_conversions.h"

namespace {

FARPROC WINAPI LoadFromSystemFolder(unsigned notification,
                                    PDelayLoadInfo info) {
  if (notification != dliNotePreLoadLibrary || !info || !info->szDll)
    return nullptr;
  const std::u16string name = base::ASCIIToUTF16(info->szDll);
  // By name, so that side-by-side redirection still applies, but searched
  // in the system folder only.
  HMODULE library = ::LoadLibraryExW(base::as_wcstr(name), nullptr,
                                     LOAD_LIBRARY_SEARCH_SYSTEM32);
  // Windows 7 without the loader update knows no search flags.
  if (!library && ::GetLastError() == ERROR_INVALID_PARAMETER) {
    library =
        static_cast<HMODULE>(base::LoadNativeLibrary(base::FilePath(name)));
  }
  if (!library) {
    // Returning null would let the helper search for the library itself:
    // fail as the helper fails, with the error it raises.
    info->dwLastError = ::GetLastError();
    ULONG_PTR argument = reinterpret_cast<ULONG_PTR>(info);
    ::RaiseException(VcppException(ERROR_SEVERITY_ERROR, ERROR_MOD_NOT_FOUND),
                     0, 1, &argument);
  }
  return reinterpret_cast<FARPROC>(library);
}

}  // namespace

extern "C" {
PfnDliHook __pfnDliNotifyHook2 = &LoadFromSystemFolder;
}
