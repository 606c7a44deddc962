// ClientInfo: what a CrashGenerationServer knows of one registered client
// process: its id, the addresses it registered, its process handle, the two
// events of a dump request and the server's waits on them, and the server's
// copy of the client's crash keys.
//
// Owned by the server's client list; destroyed exactly once, either by the
// handler of the client's end or by the server's shutdown, whichever takes
// it out of the list. A dump callback may use the record (from the wait
// thread of its dump request) until the callback returns.

#ifndef DESKTOP_WINDOWS_CRASH_REPORTER_CLIENT_INFO_WIN_H_
#define DESKTOP_WINDOWS_CRASH_REPORTER_CLIENT_INFO_WIN_H_

#include <windows.h>

#include <memory>
#include <utility>

#include "base/win/scoped_handle.h"
#include "base/win/scoped_registered_wait.h"
#include "desktop/windows/crash_reporter/crash_keys.h"
#include "desktop/windows/crash_reporter/protocol_message.h"

namespace crash_reporter {

class CrashGenerationServer;

class ClientInfo {
 public:
  // A client may register at most this many crash keys for them to be read.
  static constexpr size_t kMaxCustomInfoEntries = 4096;
  // The entry that the server adds after the client's own: the client's
  // uptime in milliseconds when the dump was requested.
  static constexpr char16_t kProcessUptimeKey[] = u"ptime";

  // |request| is an accepted registration request.
  ClientInfo(CrashGenerationServer* server, const ProtocolMessage& request);
  ClientInfo(const ClientInfo&) = delete;
  ClientInfo& operator=(const ClientInfo&) = delete;
  // Unregisters the waits still registered, waiting for their callbacks,
  // and closes the handles.
  ~ClientInfo();

  // Opens the client process (GENERIC_ALL), takes its start time and
  // creates the two events. False on any failure.
  bool Initialize();

  // Copies the client's crash keys into the server's copy and sets the
  // uptime entry. False when there are too many keys (no copy is made) or
  // the client's memory cannot be read (the copy keeps what it held).
  bool PopulateCustomInfo();
  // The copy: the client's keys and the uptime entry last; {null, 0} while
  // no copy has been made.
  CrashKeyEntries GetCustomInfo() const;

  CrashGenerationServer* server() const { return server_; }
  uint32_t pid() const { return pid_; }
  uint32_t dump_type() const { return dump_type_; }
  // Addresses in the client: its 32-bit requesting thread id, the variable
  // holding its EXCEPTION_POINTERS address, its AssertionRecord.
  uint64_t thread_id_address() const { return thread_id_address_; }
  uint64_t exception_pointers_address() const {
    return exception_pointers_address_;
  }
  uint64_t assertion_info_address() const { return assertion_info_address_; }
  HANDLE process_handle() const { return process_.Get(); }
  HANDLE dump_requested_event() const { return dump_requested_.Get(); }
  HANDLE dump_generated_event() const { return dump_generated_.Get(); }
  // The process's creation time (FILETIME units), or when this record was
  // made if that cannot be read.
  uint64_t start_time() const { return start_time_; }
  // The low 32 bits of the start time.
  uint32_t crash_id() const { return static_cast<uint32_t>(start_time_); }
  // True until the client process has ended.
  bool IsProcessAlive() const;

  // The server's waits. Each is unregistered once: with waiting for a
  // running callback, or, from inside that wait's own callback, without.
  void set_dump_request_wait(base::win::ScopedRegisteredWait wait) {
    dump_request_wait_ = std::move(wait);
  }
  void set_process_exit_wait(base::win::ScopedRegisteredWait wait) {
    process_exit_wait_ = std::move(wait);
  }
  void UnregisterDumpRequestWait();
  void UnregisterProcessExitWait();
  void UnregisterProcessExitWaitFromItsCallback();

 private:
  CrashGenerationServer* const server_;
  const uint32_t pid_;
  const uint32_t dump_type_;
  const uint64_t thread_id_address_;
  const uint64_t exception_pointers_address_;
  const uint64_t assertion_info_address_;
  const uint64_t custom_info_address_;
  const uint64_t custom_info_count_;

  base::win::ScopedHandle process_;
  base::win::ScopedHandle dump_requested_;
  base::win::ScopedHandle dump_generated_;
  base::win::ScopedRegisteredWait dump_request_wait_;
  base::win::ScopedRegisteredWait process_exit_wait_;
  uint64_t start_time_ = 0;
  std::unique_ptr<CrashKeyEntry[]> custom_info_;
};

}  // namespace crash_reporter

#endif  // DESKTOP_WINDOWS_CRASH_REPORTER_CLIENT_INFO_WIN_H_
