// Loading a library of our own or of the system without letting a file of
// the same name elsewhere take its place. Windows only.
//
// A bare file name ("dbghelp.dll") is loaded from the system folder only. A
// full path is loaded from exactly there, with its own dependencies searched
// beside it and in the system folder. Neither the current folder nor the
// folder of the running (perhaps just downloaded) executable is searched:
// a DLL planted there is never loaded. Relative paths with folders are
// refused for the same reason.

#ifndef BASE_PROCESS_NATIVE_LIBRARY_H_
#define BASE_PROCESS_NATIVE_LIBRARY_H_

#include "base/files/file_path.h"

namespace base {

// An HMODULE.
using NativeLibrary = void*;

// The system's LoadLibraryExW; tests pass a recording stand-in.
using NativeLibraryLoadFunction = NativeLibrary(__stdcall*)(
    const wchar_t* path, void* reserved, unsigned long flags);

// Loads |path| by the rules above through |load|. Null on failure, with the
// system's error as the thread's last error.
NativeLibrary LoadNativeLibraryHelper(const FilePath& path,
                                      NativeLibraryLoadFunction load);

// Loads |path| by the rules above with the system's loader; the library
// stays loaded until the caller frees it. Null on failure, with the last
// error set.
NativeLibrary LoadNativeLibrary(const FilePath& path);

// Owns one loaded library and frees it when destroyed.
class ScopedNativeLibrary {
 public:
  explicit ScopedNativeLibrary(const FilePath& path);
  ScopedNativeLibrary(const ScopedNativeLibrary&) = delete;
  ScopedNativeLibrary& operator=(const ScopedNativeLibrary&) = delete;
  ~ScopedNativeLibrary();

  bool is_valid() const { return library_ != nullptr; }
  NativeLibrary get() const { return library_; }
  // Null when nothing is loaded or the library has no such export.
  void* GetFunctionPointer(const char* name) const;

 private:
  NativeLibrary library_;
};

}  // namespace base

#endif  // BASE_PROCESS_NATIVE_LIBRARY_H_
