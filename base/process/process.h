// Process: the handle of a process that this program started or stands for.
// A Process owns a real process handle, stands for the current process, or
// is empty (invalid). Windows only.

#ifndef BASE_PROCESS_PROCESS_H_
#define BASE_PROCESS_PROCESS_H_

#include <stdint.h>

#include "base/win/scoped_handle.h"

namespace base {

using ProcessHandle = win::Handle;
using ProcessId = uint32_t;

class Process {
 public:
  // An empty Process.
  Process() = default;
  // Takes ownership of a real process handle. The current-process pseudo
  // handle is a programming error: use Current().
  explicit Process(ProcessHandle handle);
  Process(Process&& other) noexcept;
  Process& operator=(Process&& other) noexcept;
  Process(const Process&) = delete;
  Process& operator=(const Process&) = delete;
  ~Process();

  static Process Current();

  // Takes |other|'s handle (closing the one held) and leaves |other| empty;
  // the thread's last-error value is unchanged.
  void MoveAssign(Process&& other);

  bool IsValid() const;
  // The current-process pseudo handle for Current(), else the held one.
  ProcessHandle Handle() const;
  // 0 for an empty Process.
  ProcessId Pid() const;

  // Waits up to |milliseconds| (0xFFFFFFFF: without limit) for the process
  // to end and stores its exit code. False, leaving |*exit_code| alone, when
  // it is still running, the wait failed or the code cannot be read.
  bool WaitForExitWithTimeout(uint32_t milliseconds, int* exit_code) const;

  // Ends the process with |exit_code|; with |wait|, returns once it has
  // ended (up to 60 seconds). False when it could not be ended.
  bool Terminate(int exit_code, bool wait) const;

  void Close();

 private:
  bool is_current_process_ = false;
  win::ScopedHandle process_;
};

}  // namespace base

#endif  // BASE_PROCESS_PROCESS_H_
