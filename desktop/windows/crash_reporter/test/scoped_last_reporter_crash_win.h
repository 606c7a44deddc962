// ScopedLastReporterCrash: the real "Last crash in crash reporter" value of
// the company key, which the reporter's own-crash tests change; put back
// exactly as it was (type, size and data, or absent) at the end; the
// company key too, when the test made it.

#ifndef DESKTOP_WINDOWS_CRASH_REPORTER_TEST_SCOPED_LAST_REPORTER_CRASH_WIN_H_
#define DESKTOP_WINDOWS_CRASH_REPORTER_TEST_SCOPED_LAST_REPORTER_CRASH_WIN_H_

#include <stdint.h>
#include <windows.h>

#include <vector>

#include "base/win/registry.h"

namespace crash_reporter {
namespace test {

class ScopedLastReporterCrash {
 public:
  ScopedLastReporterCrash();
  ScopedLastReporterCrash(const ScopedLastReporterCrash&) = delete;
  ScopedLastReporterCrash& operator=(const ScopedLastReporterCrash&) = delete;
  ~ScopedLastReporterCrash();

  // Writes a REG_QWORD, or any bytes of any type.
  void Set(uint64_t file_time);
  void SetRaw(DWORD type, const std::vector<uint8_t>& data);
  void Delete();
  // The stored QWORD; 0 when it is absent.
  uint64_t Get() const;

 private:
  base::win::RegKey key_;
  bool had_key_ = false;
  bool had_value_ = false;
  DWORD old_type_ = 0;
  std::vector<uint8_t> old_data_;
};

}  // namespace test
}  // namespace crash_reporter

#endif  // DESKTOP_WINDOWS_CRASH_REPORTER_TEST_SCOPED_LAST_REPORTER_CRASH_WIN_H_
