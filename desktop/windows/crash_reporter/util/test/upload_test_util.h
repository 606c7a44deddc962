// Files for the crash-upload tests: writing inputs, reading archives back.

#ifndef DESKTOP_WINDOWS_CRASH_REPORTER_UTIL_TEST_UPLOAD_TEST_UTIL_H_
#define DESKTOP_WINDOWS_CRASH_REPORTER_UTIL_TEST_UPLOAD_TEST_UTIL_H_

#include <string>

#include "base/files/file_path.h"

namespace crash_reporter {
namespace test {

// Writes |data| to |name| in |folder| and returns the path; records a test
// failure when it cannot.
base::FilePath WriteTestFile(const base::FilePath& folder,
                             const std::u16string& name,
                             const std::string& data);

// The name and the inflated content of the only entry of the zip at
// |zip_path|; false when it cannot be read, its content fails the checksum,
// or it holds more or fewer entries than one.
bool ReadOnlyZipEntry(const base::FilePath& zip_path, std::string* name,
                      std::string* content);

}  // namespace test
}  // namespace crash_reporter

#endif  // DESKTOP_WINDOWS_CRASH_REPORTER_UTIL_TEST_UPLOAD_TEST_UTIL_H_
