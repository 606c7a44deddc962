// Reads back what the crash reporter's tests check in a minidump file.

#ifndef DESKTOP_WINDOWS_CRASH_REPORTER_TEST_MINIDUMP_TEST_UTIL_WIN_H_
#define DESKTOP_WINDOWS_CRASH_REPORTER_TEST_MINIDUMP_TEST_UTIL_WIN_H_

#include <stdint.h>

#include <string>

#include "base/files/file_path.h"

namespace crash_reporter {
namespace test {

struct MinidumpContents {
  // The exception stream was found.
  bool has_exception = false;
  uint32_t thread_id = 0;
  uint32_t code = 0;
  // The user streams of the version and of the assertion, empty when
  // missing.
  std::string version;
  std::string assertion;
};

MinidumpContents ReadMinidumpFile(const base::FilePath& path);

}  // namespace test
}  // namespace crash_reporter

#endif  // DESKTOP_WINDOWS_CRASH_REPORTER_TEST_MINIDUMP_TEST_UTIL_WIN_H_
