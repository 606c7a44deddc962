#include <windows.h>

#include "base/logging.h"
#include "base/process/process.h"

namespace base {

namespace {

constexpr DWORD kTerminateWaitMs = 60000;

}  // namespace

Process::Process(ProcessHandle handle) : process_(handle) {
  CHECK(handle != GetCurrentProcess())
      << "the current-process pseudo handle is not a handle to own";
}

Process::Process(Process&& other) noexcept { MoveAssign(std::move(other)); }

Process& Process::operator=(Process&& other) noexcept {
  MoveAssign(std::move(other));
  return *this;
}

Process::~Process() = default;

// static
Process Process::Current() {
  Process process;
  process.is_current_process_ = true;
  return process;
}

void Process::MoveAssign(Process&& other) {
  if (this == &other) return;
  const DWORD last_error = GetLastError();
  process_ = std::move(other.process_);
  is_current_process_ = other.is_current_process_;
  other.is_current_process_ = false;
  SetLastError(last_error);
}

bool Process::IsValid() const {
  return process_.IsValid() || is_current_process_;
}

ProcessHandle Process::Handle() const {
  return is_current_process_ ? GetCurrentProcess() : process_.Get();
}

ProcessId Process::Pid() const {
  return IsValid() ? GetProcessId(Handle()) : 0;
}

bool Process::WaitForExitWithTimeout(uint32_t milliseconds,
                                     int* exit_code) const {
  if (!IsValid()) return false;
  if (WaitForSingleObject(Handle(), milliseconds) != WAIT_OBJECT_0)
    return false;
  DWORD code = 0;
  if (!GetExitCodeProcess(Handle(), &code)) {
    PLOG(ERROR) << "GetExitCodeProcess failed";
    return false;
  }
  *exit_code = static_cast<int>(code);
  return true;
}

bool Process::Terminate(int exit_code, bool wait) const {
  if (!IsValid()) return false;
  if (!TerminateProcess(Handle(), static_cast<UINT>(exit_code))) {
    PLOG(ERROR) << "TerminateProcess failed";
    return false;
  }
  if (wait && WaitForSingleObject(Handle(), kTerminateWaitMs) != WAIT_OBJECT_0)
    return false;
  return true;
}

void Process::Close() {
  is_current_process_ = false;
  process_.Close();
}

}  // namespace base
