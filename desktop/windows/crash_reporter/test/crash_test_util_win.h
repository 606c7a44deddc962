// Helpers of the crash reporter's tests: running the test host, and a dump
// callback that reads out of a crashed client what a reporter reads.

#ifndef DESKTOP_WINDOWS_CRASH_REPORTER_TEST_CRASH_TEST_UTIL_WIN_H_
#define DESKTOP_WINDOWS_CRASH_REPORTER_TEST_CRASH_TEST_UTIL_WIN_H_

#include <windows.h>

#include <string>
#include <utility>
#include <vector>

#include "base/synchronization/lock.h"
#include "base/test/scoped_temp_dir.h"
#include "desktop/windows/crash_reporter/client_info_win.h"
#include "desktop/windows/crash_reporter/crash_keys.h"
#include "desktop/windows/crash_reporter/protocol_message.h"

namespace crash_reporter {
namespace test {

using Switches = std::vector<std::pair<std::string, std::string>>;

// What a run of the test host printed and its exact exit code.
struct HostRun {
  bool started = false;
  DWORD exit_code = 0;
  std::string output;

  // The values printed after |label|, in order.
  std::vector<unsigned long long> Values(const char* label) const;
  // The first one, or |missing| when there is none.
  unsigned long long Value(const char* label,
                           unsigned long long missing = 0) const;
};

// The host's command line with |switches| (empty values: bare switches).
std::u16string HostCommandLine(const Switches& switches);

// Runs the host to its end.
HostRun RunHost(const Switches& switches,
                const std::vector<std::pair<std::u16string, std::u16string>>&
                    environment = {});

// The joined values of every key named |name|, as a reporter reads them.
std::u16string JoinedCrashKeyValue(const std::vector<CrashKeyEntry>& keys,
                                   const char16_t* name);

// One dump request, read as a reporter reads it.
struct ReportedCrash {
  uint32_t pid = 0;
  uint32_t thread_id = 0;
  DWORD exception_code = 0;
  AssertionRecord assertion = {};
  std::vector<CrashKeyEntry> keys;
  // A minidump written with the client's pointers, read back.
  bool dump_read = false;
  uint32_t dump_thread_id = 0;
  DWORD dump_exception_code = 0;
};

// A CrashGenerationServer dump callback (OnDumpRequest, with the recorder
// as its context) that records every request.
class CrashRecorder {
 public:
  // Writing a minidump costs seconds under Wine: only when asked for.
  explicit CrashRecorder(bool write_minidumps = true);
  CrashRecorder(const CrashRecorder&) = delete;
  CrashRecorder& operator=(const CrashRecorder&) = delete;
  ~CrashRecorder();

  static void OnDumpRequest(void* context, ClientInfo* client,
                            const std::u16string* dump_path);

  std::vector<ReportedCrash> crashes() const;

 private:
  void Record(ClientInfo* client);
  // Writes a minidump of the client and reads its exception stream back.
  void ReadBackMinidump(ClientInfo* client, uint64_t exception_pointers,
                        ReportedCrash* crash);

  const bool write_minidumps_;
  base::ScopedTempDir dump_folder_;
  mutable base::Lock lock_;
  std::vector<ReportedCrash> crashes_;
};

}  // namespace test
}  // namespace crash_reporter

#endif  // DESKTOP_WINDOWS_CRASH_REPORTER_TEST_CRASH_TEST_UTIL_WIN_H_
