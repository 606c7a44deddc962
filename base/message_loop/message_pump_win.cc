#include "base/message_loop/message_pump_win.h"

#include <limits.h>
#include <math.h>
#include <wchar.h>

#include "base/logging.h"
#include "base/message_loop/window_proc_filter_win.h"
#include "base/metrics/histogram_macros.h"
#include "base/trace_event/trace_event.h"

namespace base {

namespace {

// Samples of "Kestro.MessageLoopProblem".
enum MessageLoopProblem {
  kMessagePostError = 0,
  kCompletionPostError = 1,
  kSetTimerError = 2,
  kMessageLoopProblemMax = 3,
};

// CallMsgFilter's code for messages of this pump.
constexpr int kMessageFilterCode = 0x5001;

std::atomic<WindowProcExceptionFilter> g_window_proc_filter{nullptr};

// The code gcc raises for C++ exceptions: one that leaves a message handler
// uncaught goes on to the runtime's terminate handling, not to the hook.
constexpr DWORD kGccCxxExceptionCode = 0x20474343;

HMODULE ThisModule() {
  HMODULE module = nullptr;
  GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                         GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                     reinterpret_cast<LPCWSTR>(&ThisModule), &module);
  return module;
}

}  // namespace

WindowProcExceptionFilter SetWindowProcExceptionFilter(
    WindowProcExceptionFilter filter) {
  return g_window_proc_filter.exchange(filter);
}

// MessagePumpWin ---------------------------------------------------------

MessagePumpWin::MessagePumpWin() = default;
MessagePumpWin::~MessagePumpWin() = default;

void MessagePumpWin::Run(MessagePumpDelegate* delegate) {
  RunWithState(delegate, nullptr);
}

void MessagePumpWin::RunWithState(MessagePumpDelegate* delegate,
                                  MessagePumpDispatcher* dispatcher) {
  RunState state;
  state.delegate = delegate;
  state.dispatcher = dispatcher;
  state.run_depth = state_ ? state_->run_depth + 1 : 1;
  RunState* previous_state = state_;
  state_ = &state;
  DoRunLoop();
  state_ = previous_state;
}

void MessagePumpWin::Quit() {
  CHECK(state_);
  state_->should_quit = true;
}

int MessagePumpWin::GetCurrentDelay() const {
  if (delayed_work_time_.is_null()) return -1;
  TimeDelta remaining = delayed_work_time_ - TimeTicks::Now();
  if (remaining.is_max()) return INT_MAX;
  double milliseconds = ceil(remaining.InMicroseconds() / 1000.0);
  if (milliseconds < 0) return 0;
  if (milliseconds > INT_MAX) return INT_MAX;
  return static_cast<int>(milliseconds);
}

void MessagePumpWin::RecordScheduleWorkFailure(int sample) {
  HISTOGRAM_ENUMERATION("Kestro.MessageLoopProblem", sample,
                        kMessageLoopProblemMax);
  if (state_) {
    ++state_->schedule_work_error_count;
    state_->last_schedule_work_error_time = Time::Now();
  }
}

// MessagePumpForUI -------------------------------------------------------

MessagePumpForUI::MessagePumpForUI() { InitMessageWindow(); }

MessagePumpForUI::~MessagePumpForUI() {
  DestroyWindow(message_hwnd_);
  UnregisterClassW(MAKEINTATOM(atom_), ThisModule());
}

void MessagePumpForUI::InitMessageWindow() {
  // A class per pump, named after it, so that pumps of several threads (or
  // modules) never share a window procedure's registration.
  wchar_t class_name[64];
  swprintf(class_name, 64, L"Kestro_MessagePumpWindow_%p",
           static_cast<void*>(this));
  HMODULE module = ThisModule();
  WNDCLASSEXW window_class = {};
  window_class.cbSize = sizeof(window_class);
  window_class.lpfnWndProc = &WndProcThunk;
  window_class.hInstance = module;
  window_class.lpszClassName = class_name;
  atom_ = RegisterClassExW(&window_class);
  CHECK(atom_) << "RegisterClassExW failed, error " << GetLastError();
  message_hwnd_ = CreateWindowExW(0, MAKEINTATOM(atom_), nullptr, 0, 0, 0, 0, 0,
                                  HWND_MESSAGE, nullptr, module, nullptr);
  CHECK(message_hwnd_) << "CreateWindowExW failed, error " << GetLastError();
}

void MessagePumpForUI::ScheduleWork() {
  if (have_work_.exchange(1) != 0) return;  // a wake-up is outstanding already
  if (PostMessageW(message_hwnd_, kMsgHaveWork, reinterpret_cast<WPARAM>(this),
                   0)) {
    return;
  }
  // Let a later post try again.
  have_work_.store(0);
  RecordScheduleWorkFailure(kMessagePostError);
}

void MessagePumpForUI::ScheduleDelayedWork(const TimeTicks& delayed_work_time) {
  delayed_work_time_ = delayed_work_time;
  RescheduleTimer();
}

void MessagePumpForUI::RunWithDispatcher(MessagePumpDelegate* delegate,
                                         MessagePumpDispatcher* dispatcher) {
  RunWithState(delegate, dispatcher);
}

// static
LRESULT CALLBACK MessagePumpForUI::WndProcThunk(HWND hwnd, UINT message,
                                                WPARAM wparam, LPARAM lparam) {
  // Only what no handler inside takes reaches the hook.
  return BaseCallWindowProcWithExceptionFilter(&WndProc, hwnd, message, wparam,
                                               lparam);
}

// static
LRESULT MessagePumpForUI::WndProc(HWND hwnd, UINT message, WPARAM wparam,
                                  LPARAM lparam) {
  switch (message) {
    case kMsgHaveWork:
      reinterpret_cast<MessagePumpForUI*>(wparam)->HandleWorkMessage();
      break;
    case WM_TIMER:
      reinterpret_cast<MessagePumpForUI*>(wparam)->HandleTimerMessage();
      break;
  }
  return DefWindowProcW(hwnd, message, wparam, lparam);
}

void MessagePumpForUI::DoRunLoop() {
  for (;;) {
    bool more_work_is_plausible = ProcessNextWindowsMessage();
    if (state_->should_quit) break;
    more_work_is_plausible |= state_->delegate->DoWork();
    if (state_->should_quit) break;
    more_work_is_plausible |=
        state_->delegate->DoDelayedWork(&delayed_work_time_);
    // Nothing delayed is left: a pending timer would only wake us for
    // nothing.
    if (more_work_is_plausible && delayed_work_time_.is_null())
      KillTimer(message_hwnd_, reinterpret_cast<UINT_PTR>(this));
    if (state_->should_quit) break;
    if (more_work_is_plausible) continue;
    more_work_is_plausible = state_->delegate->DoIdleWork();
    if (state_->should_quit) break;
    if (more_work_is_plausible) continue;
    WaitForWork();
  }
}

void MessagePumpForUI::WaitForWork() {
  // First wait: wake for input that is already queued but unseen; later
  // waits only for input that arrives anew.
  DWORD wait_flags = MWMO_INPUTAVAILABLE;
  int delay;
  while ((delay = GetCurrentDelay()) != 0) {
    DWORD timeout = delay < 0 ? INFINITE : static_cast<DWORD>(delay);
    DWORD result = MsgWaitForMultipleObjectsEx(0, nullptr, timeout, QS_ALLINPUT,
                                               wait_flags);
    if (result != WAIT_OBJECT_0)
      continue;  // timed out: the delay is evaluated again
    // Sent messages are not visible to PeekMessage(PM_NOREMOVE) but are
    // delivered by the following peek, so they count as work.
    if (HIWORD(GetQueueStatus(QS_SENDMESSAGE)) & QS_SENDMESSAGE) return;
    MSG msg;
    if (PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE)) return;
    // The input that woke us was taken by someone else (a child window's
    // own loop, or a filter): wait for something new.
    wait_flags = 0;
  }
}

void MessagePumpForUI::HandleWorkMessage() {
  if (!state_) {
    // Dispatched by a loop other than ours with no run in progress: just
    // allow the next wake-up.
    have_work_.store(0);
    return;
  }
  ProcessPumpReplacementMessage();
  if (state_->delegate->DoWork()) ScheduleWork();
  state_->delegate->DoDelayedWork(&delayed_work_time_);
  RescheduleTimer();
}

void MessagePumpForUI::HandleTimerMessage() {
  KillTimer(message_hwnd_, reinterpret_cast<UINT_PTR>(this));
  if (!state_) return;
  state_->delegate->DoDelayedWork(&delayed_work_time_);
  RescheduleTimer();
}

void MessagePumpForUI::RescheduleTimer() {
  if (delayed_work_time_.is_null()) return;
  int delay_ms = GetCurrentDelay();
  if (delay_ms == 0) {
    // Due already: run it through the work message rather than a timer.
    ScheduleWork();
    return;
  }
  if (delay_ms < static_cast<int>(USER_TIMER_MINIMUM))
    delay_ms = USER_TIMER_MINIMUM;
  if (!SetTimer(message_hwnd_, reinterpret_cast<UINT_PTR>(this), delay_ms,
                nullptr)) {
    HISTOGRAM_ENUMERATION("Kestro.MessageLoopProblem", kSetTimerError,
                          kMessageLoopProblemMax);
  }
}

bool MessagePumpForUI::ProcessNextWindowsMessage() {
  // PeekMessage delivers sent messages itself and then reports nothing, so
  // note beforehand whether there were some: that was work.
  bool sent_messages_in_queue =
      (HIWORD(GetQueueStatus(QS_SENDMESSAGE)) & QS_SENDMESSAGE) != 0;
  MSG msg;
  if (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
    return ProcessMessageHelper(msg);
  return sent_messages_in_queue;
}

bool MessagePumpForUI::ProcessMessageHelper(const MSG& msg) {
  static const unsigned char* const category =
      trace_event::TraceCategoryState("base");
  trace_event::ScopedTraceEvent trace(category,
                                      "MessagePumpForUI::ProcessMessageHelper",
                                      "message", static_cast<int>(msg.message));
  if (msg.message == WM_QUIT) {
    // Ends this run; the enclosing run sees the quit too.
    state_->should_quit = true;
    PostQuitMessage(static_cast<int>(msg.wParam));
    return false;
  }
  if (msg.message == kMsgHaveWork && msg.hwnd == message_hwnd_)
    return ProcessPumpReplacementMessage();
  if (CallMsgFilterW(const_cast<MSG*>(&msg), kMessageFilterCode)) return true;

  uint32_t action = MessagePumpDispatcher::POST_DISPATCH_PERFORM_DEFAULT;
  if (state_->dispatcher) action = state_->dispatcher->Dispatch(msg);
  if (action & MessagePumpDispatcher::POST_DISPATCH_QUIT_LOOP)
    state_->should_quit = true;
  if (action & MessagePumpDispatcher::POST_DISPATCH_PERFORM_DEFAULT) {
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  return true;
}

bool MessagePumpForUI::ProcessPumpReplacementMessage() {
  // Our wake-up message was taken; process one other message in its place
  // so that a stream of posted tasks cannot starve input, paint and timer
  // messages, which Windows hands out only when nothing is posted.
  MSG msg;
  bool have_message = PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE) != FALSE;
  have_work_.store(0);
  if (!have_message) return false;
  // The tasks still need a wake-up of their own.
  ScheduleWork();
  return ProcessMessageHelper(msg);
}

// MessagePumpForIO -------------------------------------------------------

MessagePumpForIO::MessagePumpForIO() {
  port_.Set(CreateIoCompletionPort(INVALID_HANDLE_VALUE, nullptr, 0, 1));
  CHECK(port_.IsValid()) << "CreateIoCompletionPort failed, error "
                         << GetLastError();
}

MessagePumpForIO::~MessagePumpForIO() = default;

void MessagePumpForIO::ScheduleWork() {
  if (have_work_.exchange(1) != 0) return;
  if (PostQueuedCompletionStatus(port_.Get(), 0,
                                 reinterpret_cast<ULONG_PTR>(this),
                                 reinterpret_cast<OVERLAPPED*>(this))) {
    return;
  }
  have_work_.store(0);
  RecordScheduleWorkFailure(kCompletionPostError);
}

void MessagePumpForIO::ScheduleDelayedWork(const TimeTicks& delayed_work_time) {
  // No timer: the waits time out at the delayed work time instead.
  delayed_work_time_ = delayed_work_time;
}

bool MessagePumpForIO::RegisterIOHandler(HANDLE file, IOHandler* handler) {
  HANDLE port = CreateIoCompletionPort(file, port_.Get(),
                                       reinterpret_cast<ULONG_PTR>(handler), 1);
  if (port != port_.Get()) {
    LOG(ERROR) << "CreateIoCompletionPort could not register a handle, error "
               << GetLastError();
    return false;
  }
  return true;
}

void MessagePumpForIO::DoRunLoop() {
  for (;;) {
    bool more_work_is_plausible = state_->delegate->DoWork();
    if (state_->should_quit) break;
    more_work_is_plausible |= WaitForIOCompletion(0, nullptr);
    if (state_->should_quit) break;
    more_work_is_plausible |=
        state_->delegate->DoDelayedWork(&delayed_work_time_);
    if (state_->should_quit) break;
    if (more_work_is_plausible) continue;
    more_work_is_plausible = state_->delegate->DoIdleWork();
    if (state_->should_quit) break;
    if (more_work_is_plausible) continue;
    WaitForWork();
  }
}

void MessagePumpForIO::WaitForWork() {
  int delay = GetCurrentDelay();
  WaitForIOCompletion(delay < 0 ? INFINITE : static_cast<DWORD>(delay),
                      nullptr);
}

bool MessagePumpForIO::WaitForIOCompletion(DWORD timeout_ms,
                                           IOHandler* filter) {
  IOItem item;
  if (!MatchCompletedIOItem(filter, &item)) {
    if (!GetIOItem(timeout_ms, &item)) return false;
    if (ProcessInternalIOItem(item)) return true;
    if (filter && item.handler != filter) {
      // Someone else's completion: kept for the run loop.
      completed_io_.push_back(item);
      return true;
    }
  }
  item.handler->HandleIoCompletion(item.context, item.bytes_transferred,
                                   item.error);
  return true;
}

bool MessagePumpForIO::MatchCompletedIOItem(IOHandler* filter, IOItem* item) {
  for (auto it = completed_io_.begin(); it != completed_io_.end(); ++it) {
    if (!filter || it->handler == filter) {
      *item = *it;
      completed_io_.erase(it);
      return true;
    }
  }
  return false;
}

bool MessagePumpForIO::GetIOItem(DWORD timeout_ms, IOItem* item) {
  *item = IOItem{};
  ULONG_PTR key = 0;
  OVERLAPPED* overlapped = nullptr;
  if (!GetQueuedCompletionStatus(port_.Get(), &item->bytes_transferred, &key,
                                 &overlapped, timeout_ms)) {
    if (!overlapped) return false;  // timed out
    // A failed operation still completes: hand over its error.
    item->error = GetLastError();
    item->bytes_transferred = 0;
  }
  item->handler = reinterpret_cast<IOHandler*>(key);
  item->context = reinterpret_cast<IOContext*>(overlapped);
  return true;
}

bool MessagePumpForIO::ProcessInternalIOItem(const IOItem& item) {
  if (reinterpret_cast<void*>(item.context) == this &&
      reinterpret_cast<void*>(item.handler) == this) {
    // Our own wake-up packet.
    have_work_.store(0);
    return true;
  }
  return false;
}

}  // namespace base

// The window procedure's frame filter (window_proc_filter_win.c) asks here.
extern "C" LONG BaseWindowProcExceptionVerdict(
    EXCEPTION_POINTERS* exception_pointers) {
  if (exception_pointers->ExceptionRecord->ExceptionCode ==
      base::kGccCxxExceptionCode) {
    return EXCEPTION_CONTINUE_SEARCH;
  }
  base::WindowProcExceptionFilter filter = base::g_window_proc_filter.load();
  return filter ? filter(exception_pointers) : EXCEPTION_CONTINUE_SEARCH;
}
