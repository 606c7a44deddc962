// ScopedEnvironment: sets (or, with null, removes) an environment variable
// of the test process for its scope, so that child processes inherit it,
// and puts the old value back at the end.

#ifndef DESKTOP_WINDOWS_CRASH_REPORTER_TEST_SCOPED_ENVIRONMENT_WIN_H_
#define DESKTOP_WINDOWS_CRASH_REPORTER_TEST_SCOPED_ENVIRONMENT_WIN_H_

#include <string>

namespace crash_reporter {
namespace test {

class ScopedEnvironment {
 public:
  ScopedEnvironment(const char16_t* name, const char16_t* value);
  ScopedEnvironment(const ScopedEnvironment&) = delete;
  ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;
  ~ScopedEnvironment();

 private:
  const std::u16string name_;
  bool had_value_ = false;
  std::u16string old_value_;
};

}  // namespace test
}  // namespace crash_reporter

#endif  // DESKTOP_WINDOWS_CRASH_REPORTER_TEST_SCOPED_ENVIRONMENT_WIN_H_
