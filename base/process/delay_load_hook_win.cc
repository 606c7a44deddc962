// The delay-load hook of the product's executable and DLL (see
// velna_delay_load in cmake/velna.cmake). Compiled into each of them, not
// into a library: the C runtime's delay-load helper finds the hook by its
// name when the module is linked.
//
// Every delay-loaded system library is loaded from the system folder by
// LoadNativeLibrary; the helper's own search would begin with the folder of
// the program, which may be Downloads.

#include <windows.h>
// After windows.h.
#include <delayimp.h>

#include "base/files/file_path.h"
#include "base/process/native_library.h"
#include "base/strings/utf_string_conversions.h"

namespace {

FARPROC WINAPI LoadFromSystemFolder(unsigned notification,
                                    PDelayLoadInfo info) {
  if (notification != dliNotePreLoadLibrary || !info || !info->szDll)
    return nullptr;
  HMODULE library = static_cast<HMODULE>(
      base::LoadNativeLibrary(base::FilePath(base::ASCIIToUTF16(info->szDll))));
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
