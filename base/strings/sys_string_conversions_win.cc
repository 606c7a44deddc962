#include <windows.h>

#include <limits>

#include "base/strings/string_util_win.h"
#include "base/strings/sys_string_conversions.h"

namespace base {

namespace {

// The platform takes a signed 32-bit count: a longer input would be cut
// silently, so it is refused instead.
bool FitsPlatformCount(size_t size) {
  return size <= static_cast<size_t>(std::numeric_limits<int>::max());
}

}  // namespace

std::string SysWideToUTF8(StringPiece16 wide) {
  if (wide.empty() || !FitsPlatformCount(wide.size())) return std::string();
  const int count = static_cast<int>(wide.size());
  const int length = ::WideCharToMultiByte(CP_UTF8, 0, as_wcstr(wide.data()),
                                           count, nullptr, 0, nullptr, nullptr);
  if (length == 0) return std::string();
  std::string result(length, '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, as_wcstr(wide.data()), count, result.data(),
                        length, nullptr, nullptr);
  return result;
}

std::u16string SysUTF8ToWide(StringPiece utf8) {
  if (utf8.empty() || !FitsPlatformCount(utf8.size())) {
    return std::u16string();
  }
  const int count = static_cast<int>(utf8.size());
  const int length =
      ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), count, nullptr, 0);
  if (length == 0) return std::u16string();
  std::u16string result(length, u'\0');
  ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), count,
                        as_writable_wcstr(result), length);
  return result;
}

}  // namespace base
