#include "desktop/windows/crash_reporter/test/scoped_environment_win.h"

#include <windows.h>

#include "base/strings/string_util_win.h"

namespace crash_reporter {
namespace test {

ScopedEnvironment::ScopedEnvironment(const char16_t* name,
                                     const char16_t* value)
    : name_(name) {
  const DWORD size = GetEnvironmentVariableW(base::as_wcstr(name_), nullptr, 0);
  if (size > 0) {
    old_value_.resize(size);
    const DWORD length = GetEnvironmentVariableW(
        base::as_wcstr(name_), base::as_writable_wcstr(old_value_), size);
    had_value_ = length < size;
    old_value_.resize(had_value_ ? length : 0);
  }
  SetEnvironmentVariableW(base::as_wcstr(name_),
                          value ? base::as_wcstr(value) : nullptr);
}

ScopedEnvironment::~ScopedEnvironment() {
  SetEnvironmentVariableW(base::as_wcstr(name_),
                          had_value_ ? base::as_wcstr(old_value_) : nullptr);
}

}  // namespace test
}  // namespace crash_reporter
