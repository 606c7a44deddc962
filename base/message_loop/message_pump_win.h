// The Windows pumps.
//
// MessagePumpForUI: the pump of a thread with windows. It dispatches window
// messages between tasks and is woken by one private message (WM_USER+1) to
// a hidden message-only window; at most one such message is outstanding, so
// a burst of posts costs one message. Delayed work wakes it through a
// window timer. A WM_QUIT ends the innermost run and is posted again for the
// enclosing one.
//
// MessagePumpForIO: the pump of an IO thread. It sleeps on a completion
// port; completed overlapped operations of registered handles are handed to
// their IOHandler, and a private completion packet wakes it for tasks.
//
// Wake-up failures (PostMessageW, PostQueuedCompletionStatus, SetTimer) are
// counted in the histogram "Kestro.MessageLoopProblem" (samples 0, 1 and 2)
// and the pump carries on.

#ifndef BASE_MESSAGE_LOOP_MESSAGE_PUMP_WIN_H_
#define BASE_MESSAGE_LOOP_MESSAGE_PUMP_WIN_H_

#include <stdint.h>
#include <windows.h>

#include <atomic>
#include <list>

#include "base/message_loop/message_pump.h"
#include "base/time/time.h"
#include "base/win/scoped_handle.h"

namespace base {

// Sees every window message a UI run loop retrieves before the pump does.
class MessagePumpDispatcher {
 public:
  // Bits of Dispatch's answer; 0 means the dispatcher consumed the message.
  enum PostDispatchAction : uint32_t {
    POST_DISPATCH_NONE = 0,
    POST_DISPATCH_QUIT_LOOP = 1,
    POST_DISPATCH_PERFORM_DEFAULT = 2,
  };

  virtual ~MessagePumpDispatcher() = default;
  virtual uint32_t Dispatch(const MSG& msg) = 0;
};

// The hook the UI pump's window procedure consults when an exception leaves
// one of its message handlers unhandled (one that code inside the handler
// takes never reaches it): its answer is the exception-filter verdict, and
// EXCEPTION_EXECUTE_HANDLER makes the procedure return 0. C++ exceptions are
// left to the runtime.
using WindowProcExceptionFilter = LONG (*)(EXCEPTION_POINTERS* info);

// Replaces the process-wide hook atomically; returns the previous one.
WindowProcExceptionFilter SetWindowProcExceptionFilter(
    WindowProcExceptionFilter filter);

// The OVERLAPPED block of one operation; zero it before each use.
struct IOContext {
  OVERLAPPED overlapped;
};

// Receives the completions of the handles registered with it.
class IOHandler {
 public:
  virtual ~IOHandler() = default;
  // |error| is the system error of a failed operation, else 0.
  virtual void HandleIoCompletion(IOContext* context, DWORD bytes_transferred,
                                  DWORD error) = 0;
};

// What the UI and IO pumps share: the stack of runs and the delay rule.
class MessagePumpWin : public MessagePump {
 public:
  MessagePumpWin();
  ~MessagePumpWin() override;

  void Run(MessagePumpDelegate* delegate) override;
  // Ends the innermost run; a run must be in progress.
  void Quit() override;

  // Milliseconds until the delayed work is due: -1 when there is none,
  // else rounded up and clamped to 0 .. INT_MAX.
  int GetCurrentDelay() const;

 protected:
  struct RunState {
    MessagePumpDelegate* delegate = nullptr;
    MessagePumpDispatcher* dispatcher = nullptr;
    bool should_quit = false;
    int run_depth = 1;
    int schedule_work_error_count = 0;
    Time last_schedule_work_error_time;
  };

  void RunWithState(MessagePumpDelegate* delegate,
                    MessagePumpDispatcher* dispatcher);
  virtual void DoRunLoop() = 0;
  // Counts a failed wake-up: |sample| goes to the histogram, the run state
  // (if a run is in progress) counts the failure and its time.
  void RecordScheduleWorkFailure(int sample);

  TimeTicks delayed_work_time_;
  // 1 while a wake-up message or packet is outstanding.
  std::atomic<LONG> have_work_{0};
  RunState* state_ = nullptr;
};

class MessagePumpForUI : public MessagePumpWin {
 public:
  // The private wake-up message.
  static constexpr UINT kMsgHaveWork = WM_USER + 1;

  MessagePumpForUI();
  ~MessagePumpForUI() override;

  void ScheduleWork() override;
  void ScheduleDelayedWork(const TimeTicks& delayed_work_time) override;

  void RunWithDispatcher(MessagePumpDelegate* delegate,
                         MessagePumpDispatcher* dispatcher);

  HWND message_window() const { return message_hwnd_; }

 private:
  static LRESULT CALLBACK WndProcThunk(HWND hwnd, UINT message, WPARAM wparam,
                                       LPARAM lparam);
  // The procedure's body, run under the exception filter.
  static LRESULT WndProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);
  void DoRunLoop() override;
  void InitMessageWindow();
  void WaitForWork();
  void HandleWorkMessage();
  void HandleTimerMessage();
  void RescheduleTimer();
  bool ProcessNextWindowsMessage();
  bool ProcessMessageHelper(const MSG& msg);
  bool ProcessPumpReplacementMessage();

  ATOM atom_ = 0;
  HWND message_hwnd_ = nullptr;
};

class MessagePumpForIO : public MessagePumpWin {
 public:
  MessagePumpForIO();
  ~MessagePumpForIO() override;

  void ScheduleWork() override;
  void ScheduleDelayedWork(const TimeTicks& delayed_work_time) override;

  // Associates |file| (opened for overlapped IO) with the port; its
  // completions go to |handler|. False, logged, when the system refuses.
  bool RegisterIOHandler(HANDLE file, IOHandler* handler);

  // Waits up to |timeout_ms| (INFINITE allowed) for one completion and
  // dispatches it. With a |filter|, only that handler's completions are
  // dispatched; others are kept and dispatched later by the run loop. True
  // when a completion (or the pump's own wake-up) was taken.
  bool WaitForIOCompletion(DWORD timeout_ms, IOHandler* filter);

 private:
  struct IOItem {
    IOHandler* handler;
    IOContext* context;
    DWORD bytes_transferred;
    DWORD error;
  };

  void DoRunLoop() override;
  void WaitForWork();
  bool MatchCompletedIOItem(IOHandler* filter, IOItem* item);
  bool GetIOItem(DWORD timeout_ms, IOItem* item);
  bool ProcessInternalIOItem(const IOItem& item);

  win::ScopedHandle port_;
  std::list<IOItem> completed_io_;
};

}  // namespace base

#endif  // BASE_MESSAGE_LOOP_MESSAGE_PUMP_WIN_H_
