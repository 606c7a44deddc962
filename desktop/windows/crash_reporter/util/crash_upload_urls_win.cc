#include <windows.h>

#include "base/strings/string_util_win.h"
#include "desktop/windows/crash_reporter/util/crash_upload_urls.h"

namespace crash_reporter {

std::u16string ReadEnvironmentString(const char16_t* name) {
  std::u16string value;
  // The size includes the terminating NUL; 0 means unset (or empty).
  DWORD size = ::GetEnvironmentVariableW(base::as_wcstr(name), nullptr, 0);
  while (size > 0) {
    value.resize(size);
    const DWORD length = ::GetEnvironmentVariableW(
        base::as_wcstr(name), base::as_writable_wcstr(value), size);
    if (length < size) {
      value.resize(length);
      return value;
    }
    // The value grew meanwhile: |length| is its new size.
    size = length;
  }
  return std::u16string();
}

}  // namespace crash_reporter
