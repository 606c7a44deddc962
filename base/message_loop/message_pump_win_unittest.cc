#include "base/message_loop/message_pump_win.h"

#include <windows.h>

#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "base/bind.h"
#include "base/location.h"
#include "base/message_loop/message_loop.h"
#include "base/message_loop/window_proc_filter_win.h"
#include "base/run_loop.h"
#include "base/threading/platform_thread.h"
#include "base/time/time.h"
#include "base/win/scoped_handle.h"
#include "gtest/gtest.h"

namespace base {
namespace {

MessagePumpForUI* UIPump() {
  return static_cast<MessagePumpForUI*>(MessageLoop::current()->pump());
}

// Removes and counts the pump's wake-up messages.
int TakeWakeUpMessages(HWND window) {
  int count = 0;
  MSG msg;
  while (PeekMessageW(&msg, window, MessagePumpForUI::kMsgHaveWork,
                      MessagePumpForUI::kMsgHaveWork, PM_REMOVE)) {
    ++count;
  }
  return count;
}

void Append(std::vector<std::string>* log, const std::string& entry) {
  log->push_back(entry);
}

Closure Log(std::vector<std::string>* log, const std::string& entry) {
  return Bind(&Append, log, entry);
}

TEST(MessagePumpForUITest, ABurstOfPostsLeavesOneWakeUpMessage) {
  MessageLoop loop(MessageLoop::TYPE_UI);
  int ran = 0;
  for (int i = 0; i < 100; ++i)
    loop.PostTask(CURRENT_LOCATION, Bind([](int* ran) { ++*ran; }, &ran));
  HWND window = UIPump()->message_window();
  EXPECT_EQ(TakeWakeUpMessages(window), 1);
  // Put the wake-up back, as the pump left it, and let the loop run.
  PostMessageW(window, MessagePumpForUI::kMsgHaveWork,
               reinterpret_cast<WPARAM>(UIPump()), 0);
  RunLoop().RunUntilIdle();
  EXPECT_EQ(ran, 100);
  // Once the queue ran dry, a post wakes the loop with a fresh message.
  loop.PostTask(CURRENT_LOCATION, Bind([](int* ran) { ++*ran; }, &ran));
  EXPECT_EQ(TakeWakeUpMessages(window), 1);
}

TEST(MessagePumpForUITest, PostFromAnotherThreadWakesASleepingLoop) {
  MessageLoop loop(MessageLoop::TYPE_UI);
  RunLoop run_loop;
  ScopedRefPtr<SequencedTaskRunner> runner = loop.task_runner();
  std::atomic<int64_t> posted_at{0};
  TimeDelta latency = TimeDelta::Max();
  Closure quit = run_loop.QuitClosure();
  std::thread poster([&] {
    // Long enough for the loop to be asleep in its wait.
    PlatformThread::Sleep(TimeDelta::FromMilliseconds(200));
    posted_at.store(TimeTicks::Now().ToInternalValue());
    runner->PostTask(CURRENT_LOCATION,
                     Bind(
                         [](std::atomic<int64_t>* posted_at, TimeDelta* latency,
                            const Closure& quit) {
                           *latency =
                               TimeTicks::Now() -
                               TimeTicks::FromInternalValue(posted_at->load());
                           quit.Run();
                         },
                         &posted_at, &latency, quit));
  });
  // A safety net, so a lost wake-up fails the test instead of hanging it.
  loop.PostDelayedTask(CURRENT_LOCATION, quit, TimeDelta::FromSeconds(10));
  run_loop.Run();
  poster.join();
  // A lost wake-up leaves the task to the safety net; a loaded machine may
  // take a while to schedule the loop's thread.
  EXPECT_LT(latency, TimeDelta::FromSeconds(5));
}

TEST(MessagePumpForUITest, NestedRunEndsOnWmQuitAndPassesItOn) {
  MessageLoop loop(MessageLoop::TYPE_UI);
  std::vector<std::string> log;
  loop.PostTask(CURRENT_LOCATION, Bind(
                                      [](std::vector<std::string>* log) {
                                        PostQuitMessage(7);
                                        RunLoop nested;
                                        nested.Run();
                                        log->push_back("nested-returned");
                                      },
                                      &log));
  // No quit of ours: the re-posted WM_QUIT ends the outer run too.
  RunLoop().Run();
  EXPECT_EQ(log, (std::vector<std::string>{"nested-returned"}));
  MSG msg;
  ASSERT_TRUE(PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
  EXPECT_EQ(msg.wParam, 7u);
}

TEST(MessagePumpForUITest, DelayedWorkUsesATimerOfAtLeastTenMs) {
  MessagePumpForUI pump;
  HWND window = pump.message_window();

  // Already due: the work message is posted instead of a timer.
  pump.ScheduleDelayedWork(TimeTicks::Now() - TimeDelta::FromMilliseconds(1));
  EXPECT_EQ(TakeWakeUpMessages(window), 1);

  // Due in 3 ms: a timer, raised to the 10 ms minimum.
  TimeTicks start = TimeTicks::Now();
  pump.ScheduleDelayedWork(start + TimeDelta::FromMilliseconds(3));
  MSG msg;
  bool fired = false;
  while (TimeTicks::Now() - start < TimeDelta::FromSeconds(5)) {
    if (PeekMessageW(&msg, window, WM_TIMER, WM_TIMER, PM_REMOVE)) {
      fired = true;
      break;
    }
    Sleep(1);
  }
  ASSERT_TRUE(fired);
  EXPECT_EQ(msg.wParam, reinterpret_cast<WPARAM>(&pump));
  EXPECT_GE(TimeTicks::Now() - start, TimeDelta::FromMilliseconds(9));
  KillTimer(window, msg.wParam);
}

TEST(MessagePumpForUITest, DelayedTaskRuns) {
  MessageLoop loop(MessageLoop::TYPE_UI);
  RunLoop run_loop;
  TimeTicks start = TimeTicks::Now();
  loop.PostDelayedTask(CURRENT_LOCATION, run_loop.QuitClosure(),
                       TimeDelta::FromMilliseconds(30));
  run_loop.Run();
  EXPECT_GE(TimeTicks::Now() - start, TimeDelta::FromMilliseconds(29));
}

// A window whose WM_APP handler runs a nested loop: a nested run outside
// any task.
constexpr UINT kRunNested = WM_APP + 1;
std::vector<std::string>* g_nested_log = nullptr;

LRESULT CALLBACK NestingWindowProc(HWND hwnd, UINT message, WPARAM wparam,
                                   LPARAM lparam) {
  if (message == kRunNested) {
    RunLoop nested;
    nested.QuitWhenIdle();
    nested.Run();
    g_nested_log->push_back("nested-done");
    return 0;
  }
  return DefWindowProcW(hwnd, message, wparam, lparam);
}

TEST(MessagePumpForUITest, NonNestableTaskWaitsForTheOuterRun) {
  MessageLoop loop(MessageLoop::TYPE_UI);
  std::vector<std::string> log;
  g_nested_log = &log;
  WNDCLASSEXW window_class = {};
  window_class.cbSize = sizeof(window_class);
  window_class.lpfnWndProc = &NestingWindowProc;
  window_class.hInstance = GetModuleHandleW(nullptr);
  window_class.lpszClassName = L"VelnaTestNestingWindow";
  ATOM atom = RegisterClassExW(&window_class);
  ASSERT_NE(atom, 0);
  HWND window = CreateWindowExW(0, MAKEINTATOM(atom), nullptr, 0, 0, 0, 0, 0,
                                HWND_MESSAGE, nullptr, nullptr, nullptr);
  ASSERT_NE(window, nullptr);

  loop.PostNonNestableTask(CURRENT_LOCATION, Log(&log, "non-nestable"));
  loop.PostTask(CURRENT_LOCATION, Log(&log, "nestable"));
  PostMessageW(window, kRunNested, 0, 0);
  RunLoop().RunUntilIdle();
  EXPECT_EQ(log, (std::vector<std::string>{"nestable", "nested-done",
                                           "non-nestable"}));
  DestroyWindow(window);
  UnregisterClassW(MAKEINTATOM(atom), GetModuleHandleW(nullptr));
  g_nested_log = nullptr;
}

TEST(MessagePumpForUITest, ExceptionFilterIsSwappedAtomically) {
  WindowProcExceptionFilter first = [](EXCEPTION_POINTERS*) -> LONG {
    return EXCEPTION_CONTINUE_SEARCH;
  };
  WindowProcExceptionFilter previous = SetWindowProcExceptionFilter(first);
  EXPECT_EQ(SetWindowProcExceptionFilter(previous), first);
}

// What the window procedure's hook saw, and its verdict.
std::vector<DWORD>* g_hooked_codes = nullptr;
LONG g_hook_verdict = EXCEPTION_CONTINUE_SEARCH;

LONG RecordingHook(EXCEPTION_POINTERS* info) {
  g_hooked_codes->push_back(info->ExceptionRecord->ExceptionCode);
  return g_hook_verdict;
}

class ScopedRecordingHook {
 public:
  ScopedRecordingHook(std::vector<DWORD>* codes, LONG verdict)
      : previous_(SetWindowProcExceptionFilter(&RecordingHook)) {
    g_hooked_codes = codes;
    g_hook_verdict = verdict;
  }
  ~ScopedRecordingHook() {
    SetWindowProcExceptionFilter(previous_);
    g_hooked_codes = nullptr;
  }

 private:
  WindowProcExceptionFilter previous_;
};

// Once armed, has |loop| quit after this task and runs |task|; before, only
// notes that it ran.
void QuitAndRunIfArmed(MessageLoop* loop, const Closure& quit,
                       const Closure& task, const bool* armed,
                       bool* ran_early) {
  if (!*armed) {
    *ran_early = true;
    return;
  }
  loop->PostTask(CURRENT_LOCATION, quit);
  task.Run();
}

// Runs |task| as a delayed task inside the pump's window procedure, then
// quits: the task waits in the delayed queue until it is due, and the
// pump's own timer message, the first message of the run, runs it. Should
// a loaded machine let the delay pass before the pump has taken the task,
// the pump runs it at once, outside the procedure: unarmed, it only notes
// that, and it is posted again.
void RunInsideWindowProcedure(const Closure& task) {
  MessageLoop loop(MessageLoop::TYPE_UI);
  RunLoop run_loop;
  bool armed = false;
  bool ran_early = true;
  while (ran_early) {
    ran_early = false;
    loop.PostDelayedTask(CURRENT_LOCATION,
                         Bind(&QuitAndRunIfArmed, &loop, run_loop.QuitClosure(),
                              task, &armed, &ran_early),
                         TimeDelta::FromMilliseconds(50));
    RunLoop().RunUntilIdle();
  }
  armed = true;
  PlatformThread::Sleep(TimeDelta::FromMilliseconds(80));
  PostMessageW(UIPump()->message_window(), WM_TIMER,
               reinterpret_cast<WPARAM>(UIPump()), 0);
  run_loop.Run();
}

TEST(MessagePumpForUITest, HookSeesOnlyExceptionsThatLeaveAHandler) {
  std::vector<DWORD> codes;
  // Resuming lets the task go on, so the loop keeps its state.
  ScopedRecordingHook hook(&codes, EXCEPTION_CONTINUE_EXECUTION);
  const struct {
    const char* name;
    void (*task)(bool* finished);
    std::vector<DWORD> hooked;
  } cases[] = {
      // Handled inside: the debug-print exception and a caught C++ one.
      {"handled inside",
       [](bool* finished) {
         OutputDebugStringA("message pump test\n");
         try {
           throw 1;
         } catch (int) {
         }
         *finished = true;
       },
       {}},
      {"left unhandled",
       [](bool* finished) {
         RaiseException(0xE0000042, 0, 0, nullptr);
         *finished = true;
       },
       {0xE0000042}},
  };
  for (const auto& test : cases) {
    codes.clear();
    bool finished = false;
    RunInsideWindowProcedure(Bind(test.task, &finished));
    EXPECT_EQ(codes, test.hooked) << test.name;
    EXPECT_TRUE(finished) << test.name;
  }
}

LRESULT RaiseInBody(HWND, UINT message, WPARAM, LPARAM) {
  if (message == WM_USER) RaiseException(0xE0000043, 0, 0, nullptr);
  if (message == WM_USER + 1) *static_cast<volatile int*>(nullptr) = 1;
  return 42;
}

TEST(MessagePumpForUITest, HandledExceptionUnwindsTheProcedureToZero) {
  std::vector<DWORD> codes;
  ScopedRecordingHook hook(&codes, EXCEPTION_EXECUTE_HANDLER);
  EXPECT_EQ(BaseCallWindowProcWithExceptionFilter(&RaiseInBody, nullptr,
                                                  WM_NULL, 0, 0),
            42);
  EXPECT_EQ(BaseCallWindowProcWithExceptionFilter(&RaiseInBody, nullptr,
                                                  WM_USER, 0, 0),
            0);
  EXPECT_EQ(BaseCallWindowProcWithExceptionFilter(&RaiseInBody, nullptr,
                                                  WM_USER + 1, 0, 0),
            0);
  EXPECT_EQ(codes, (std::vector<DWORD>{0xE0000043, 0xC0000005}));
}

// An overlapped pipe pair: the server end is read with overlapped IO on the
// IO loop, the client end written synchronously.
class PipePair {
 public:
  explicit PipePair(const std::wstring& tag) {
    std::wstring name = L"\\\\.\\pipe\\velna_test_" + tag + L"_" +
                        std::to_wstring(GetCurrentProcessId());
    server_.Set(CreateNamedPipeW(
        name.c_str(), PIPE_ACCESS_INBOUND | FILE_FLAG_OVERLAPPED,
        PIPE_TYPE_BYTE | PIPE_WAIT, 1, 4096, 4096, 0, nullptr));
    client_.Set(CreateFileW(name.c_str(), GENERIC_WRITE, 0, nullptr,
                            OPEN_EXISTING, 0, nullptr));
  }
  bool valid() const { return server_.IsValid() && client_.IsValid(); }
  HANDLE server() const { return server_.Get(); }
  void Write(const char* text) {
    DWORD written = 0;
    WriteFile(client_.Get(), text, static_cast<DWORD>(strlen(text)), &written,
              nullptr);
  }

 private:
  win::ScopedHandle server_;
  win::ScopedHandle client_;
};

class Reader : public IOHandler {
 public:
  Reader(std::vector<std::string>* log, std::string name)
      : log_(log), name_(std::move(name)) {}
  void StartRead(HANDLE pipe) {
    context_ = IOContext{};
    ReadFile(pipe, buffer_, sizeof(buffer_), nullptr, &context_.overlapped);
  }
  void HandleIoCompletion(IOContext* context, DWORD bytes,
                          DWORD error) override {
    EXPECT_EQ(context, &context_);
    log_->push_back(name_ + ":" + std::string(buffer_, bytes) +
                    (error ? ":error" : ""));
  }

 private:
  std::vector<std::string>* log_;
  std::string name_;
  IOContext context_{};
  char buffer_[64];
};

TEST(MessagePumpForIOTest, CompletionsReachTheirHandlers) {
  MessageLoop loop(MessageLoop::TYPE_IO);
  PipePair pipe(L"io_basic");
  ASSERT_TRUE(pipe.valid());
  std::vector<std::string> log;
  Reader reader(&log, "r");
  ASSERT_TRUE(loop.RegisterIOHandler(pipe.server(), &reader));
  reader.StartRead(pipe.server());
  pipe.Write("hello");
  EXPECT_TRUE(loop.WaitForIOCompletion(5000, nullptr));
  EXPECT_EQ(log, (std::vector<std::string>{"r:hello"}));
}

TEST(MessagePumpForIOTest, FilteredWaitKeepsOtherCompletionsForTheRunLoop) {
  MessageLoop loop(MessageLoop::TYPE_IO);
  PipePair pipe_a(L"io_filter_a"), pipe_b(L"io_filter_b");
  ASSERT_TRUE(pipe_a.valid() && pipe_b.valid());
  std::vector<std::string> log;
  Reader a(&log, "a"), b(&log, "b");
  ASSERT_TRUE(loop.RegisterIOHandler(pipe_a.server(), &a));
  ASSERT_TRUE(loop.RegisterIOHandler(pipe_b.server(), &b));
  a.StartRead(pipe_a.server());
  b.StartRead(pipe_b.server());

  pipe_a.Write("first");
  // The first completion taken is a's, the only one there can be: kept, not
  // dispatched.
  EXPECT_TRUE(loop.WaitForIOCompletion(5000, &b));
  EXPECT_TRUE(log.empty());
  pipe_b.Write("second");
  EXPECT_TRUE(loop.WaitForIOCompletion(5000, &b));
  EXPECT_EQ(log, (std::vector<std::string>{"b:second"}));
  // The run loop dispatches the kept one.
  RunLoop().RunUntilIdle();
  EXPECT_EQ(log, (std::vector<std::string>{"b:second", "a:first"}));
  // Nothing is left: a short wait times out.
  EXPECT_FALSE(loop.WaitForIOCompletion(10, nullptr));
}

TEST(MessagePumpForIOTest, PostFromAnotherThreadWakesTheLoop) {
  MessageLoop loop(MessageLoop::TYPE_IO);
  RunLoop run_loop;
  ScopedRefPtr<SequencedTaskRunner> runner = loop.task_runner();
  Closure quit = run_loop.QuitClosure();
  bool ran = false;
  std::thread poster([&] {
    PlatformThread::Sleep(TimeDelta::FromMilliseconds(100));
    runner->PostTask(CURRENT_LOCATION, Bind(
                                           [](bool* ran, const Closure& quit) {
                                             *ran = true;
                                             quit.Run();
                                           },
                                           &ran, quit));
  });
  loop.PostDelayedTask(CURRENT_LOCATION, quit, TimeDelta::FromSeconds(10));
  TimeTicks start = TimeTicks::Now();
  run_loop.Run();
  poster.join();
  EXPECT_TRUE(ran);
  EXPECT_LT(TimeTicks::Now() - start, TimeDelta::FromSeconds(5));
}

}  // namespace
}  // namespace base
