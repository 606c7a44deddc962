// CrashGenerationClient: a watched process's end of the crash pipe
// (protocol_message.h). It registers once with the crash reporter's
// CrashGenerationServer and, on a crash, has the reporter collect the crash
// while the crashing thread waits.
//
// Registration tells the server the addresses of three fields of this
// object (the requesting thread's id, the exception pointers and the
// assertion record) and of the crash keys; the server reads them out of this
// process's memory when a dump is requested. So the object must stay where
// it is (it is not copyable or movable) and is kept for the life of the
// process once registered.
//
// Register runs on one thread at start-up; RequestDump runs on the crashing
// thread, one at a time (the exception handler serialises its hooks).

#ifndef DESKTOP_WINDOWS_CRASH_REPORTER_CRASH_GENERATION_CLIENT_WIN_H_
#define DESKTOP_WINDOWS_CRASH_REPORTER_CRASH_GENERATION_CLIENT_WIN_H_

#include <windows.h>

#include <string>

#include "base/win/scoped_handle.h"
#include "desktop/windows/crash_reporter/crash_keys.h"
#include "desktop/windows/crash_reporter/protocol_message.h"

namespace crash_reporter {

class CrashGenerationClient {
 public:
  // How long a crashing thread waits for the reporter.
  static constexpr DWORD kDumpRequestTimeoutMs = 15000;
  // How long a connection attempt waits for a busy pipe, twice at most.
  static constexpr DWORD kPipeBusyWaitMs = 2000;
  // How long each step of the registration waits for the reporter: one
  // that does not answer must not hold up the process it would watch.
  static constexpr DWORD kRegistrationStepTimeoutMs = 10000;

  // |custom_info| (the crash keys, possibly none) must outlive the client.
  CrashGenerationClient(std::u16string pipe_name, uint32_t dump_type,
                        CrashKeyEntries custom_info);
  CrashGenerationClient(const CrashGenerationClient&) = delete;
  CrashGenerationClient& operator=(const CrashGenerationClient&) = delete;
  // Closes the handles received at registration.
  ~CrashGenerationClient();

  // Connects to the pipe and registers; true at once when registered
  // already. False when the pipe cannot be opened (busy for two waits, or
  // absent), the server does not answer within the registration time
  // limit, or its response is not a valid one.
  bool Register();
  bool IsRegistered() const { return dump_request_event_.IsValid(); }

  // How long RequestDump waits in this process: kDumpRequestTimeoutMs, or
  // what a test host set, before any crash, so that its test decides how
  // long a crashed host stays alive for its reporter.
  static DWORD GetDumpRequestTimeoutMs();
  static void SetDumpRequestTimeoutForTesting(DWORD milliseconds);
  // kRegistrationStepTimeoutMs, or what a test set.
  static DWORD GetRegistrationStepTimeoutMs();
  static void SetRegistrationStepTimeoutForTesting(DWORD milliseconds);

  // Signals the reporter and waits up to GetDumpRequestTimeoutMs. True only
  // when the reporter reports the dump done; false when not registered, on
  // time-out, or when the reporter died or released its alive mutex.
  // |assertion| may be null.
  bool RequestDump(EXCEPTION_POINTERS* exception_pointers,
                   const AssertionRecord* assertion);

  // The reporter's process id, 0 until registered.
  uint32_t server_process_id() const { return server_process_id_; }

 private:
  base::win::ScopedHandle ConnectToPipe();
  ProtocolMessage MakeRegistrationRequest() const;

  const std::u16string pipe_name_;
  const uint32_t dump_type_;
  const CrashKeyEntries custom_info_;

  // Received at registration.
  base::win::ScopedHandle dump_request_event_;
  base::win::ScopedHandle dump_generated_event_;
  base::win::ScopedHandle server_alive_mutex_;
  uint32_t server_process_id_ = 0;

  // Read by the reporter through their addresses.
  DWORD requesting_thread_id_ = 0;
  EXCEPTION_POINTERS* exception_pointers_ = nullptr;
  AssertionRecord assertion_info_ = {};
};

}  // namespace crash_reporter

#endif  // DESKTOP_WINDOWS_CRASH_REPORTER_CRASH_GENERATION_CLIENT_WIN_H_
