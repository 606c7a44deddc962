#include <windows.h>

#include "base/files/file_path.h"
#include "base/logging.h"
#include "base/process/native_library.h"

namespace base {

namespace {

using CharUpperFunction = LPWSTR(WINAPI*)(LPWSTR);

// Looked up once and kept: every caller gets the same answer, so a race on
// the first call is harmless. The system always provides it.
CharUpperFunction GetCharUpper() {
  static const CharUpperFunction char_upper = [] {
    HMODULE user32 =
        static_cast<HMODULE>(LoadNativeLibrary(FilePath(u"user32.dll")));
    return reinterpret_cast<CharUpperFunction>(
        user32 ? reinterpret_cast<void*>(::GetProcAddress(user32, "CharUpperW"))
               : nullptr);
  }();
  return char_upper;
}

}  // namespace

// static
FilePath::CharType FilePath::UpperCaseUnit(CharType c) {
  CharUpperFunction char_upper = GetCharUpper();
  CHECK(char_upper);
  // The single-character form: the unit travels in the low word of the
  // pointer argument and comes back the same way.
  LPWSTR result = char_upper(
      reinterpret_cast<LPWSTR>(static_cast<ULONG_PTR>(static_cast<WORD>(c))));
  return static_cast<CharType>(
      LOWORD(static_cast<ULONG_PTR>(reinterpret_cast<ULONG_PTR>(result))));
}

}  // namespace base
