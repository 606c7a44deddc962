// The Win32 boundary: wide strings are UTF-16 char16_t text here and wchar_t
// text in Windows calls. These casts view one as the other without a copy.

#ifndef BASE_STRINGS_STRING_UTIL_WIN_H_
#define BASE_STRINGS_STRING_UTIL_WIN_H_

#include <string>

namespace base {

static_assert(sizeof(wchar_t) == sizeof(char16_t),
              "wide characters are UTF-16 units on Windows");

inline const wchar_t* as_wcstr(const char16_t* str) {
  return reinterpret_cast<const wchar_t*>(str);
}
inline const wchar_t* as_wcstr(const std::u16string& str) {
  return reinterpret_cast<const wchar_t*>(str.c_str());
}
inline wchar_t* as_writable_wcstr(char16_t* str) {
  return reinterpret_cast<wchar_t*>(str);
}
inline wchar_t* as_writable_wcstr(std::u16string& str) {
  return reinterpret_cast<wchar_t*>(str.data());
}
inline const char16_t* as_u16cstr(const wchar_t* str) {
  return reinterpret_cast<const char16_t*>(str);
}
inline char16_t* as_writable_u16cstr(wchar_t* str) {
  return reinterpret_cast<char16_t*>(str);
}

}  // namespace base

#endif  // BASE_STRINGS_STRING_UTIL_WIN_H_
