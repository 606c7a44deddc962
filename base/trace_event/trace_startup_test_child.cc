// The traced process of the start-up tracing test: it enables tracing from
// its own command line, then keeps each kind of thread busy (its own loop,
// a named Thread, a sequenced worker pool, the system worker pool; on
// Windows a UI loop that also gets a window message), quits, and lets the
// at-exit scope write the trace. Error log lines are echoed to standard
// output, so that the parent can read them.
//
//   trace_startup_test_child --trace-file=<path> --trace-categories=<filter>
//
// Prints "tracing=1" or "tracing=0", whether the memory-infra thread ran
// once tracing started ("memory_infra_thread_at_start=") and after the
// trace was written ("memory_infra_thread_at_exit="); exits 0 when every
// task ran.

#include <stdio.h>

#include <atomic>
#include <string>

#include "base/at_exit.h"
#include "base/bind.h"
#include "base/command_line.h"
#include "base/location.h"
#include "base/logging.h"
#include "base/message_loop/message_loop.h"
#include "base/run_loop.h"
#include "base/threading/platform_thread.h"
#include "base/threading/sequenced_worker_pool.h"
#include "base/threading/thread.h"
#include "base/threading/worker_pool.h"
#include "base/trace_event/memory_dump_manager.h"
#include "base/trace_event/trace_startup.h"

#if defined(_WIN32)
#include <windows.h>
#endif

namespace {

// Tasks per kind of thread, and the kinds: own loop, named thread,
// sequenced pool, system pool.
constexpr int kTasksPerKind = 3;
constexpr int kKinds = 4;

std::atomic<int> g_tasks_left{kTasksPerKind * kKinds};
base::MessageLoop* g_main_loop = nullptr;
base::RunLoop* g_run_loop = nullptr;

// Registered before tracing starts, so it runs after the trace is written.
void PrintMemoryInfraThreadAtExit(void*) {
  printf("memory_infra_thread_at_exit=%d\n",
         base::trace_event::MemoryDumpManager::GetInstance()
                 ->IsDumpThreadRunningForTesting()
             ? 1
             : 0);
  fflush(stdout);
}

bool EchoErrors(int severity, const char* file, int line, size_t message_start,
                const std::string& text) {
  if (severity >= logging::LOG_ERROR) {
    fputs(text.c_str(), stdout);
    fflush(stdout);
  }
  return false;
}

void TaskDoneOnMainThread() {
  if (--g_tasks_left == 0) g_run_loop->Quit();
}

// Every task ends by telling the main thread.
void Work() {
  g_main_loop->task_runner()->PostTask(CURRENT_LOCATION,
                                       base::Bind(&TaskDoneOnMainThread));
}

// Posted by a function of its own, so that the trace names it as the
// source of the named thread's last task.
void PostLastNamedThreadTask(base::Thread* thread) {
  thread->task_runner()->PostTask(CURRENT_LOCATION, base::Bind(&Work));
}

void SelfPostedTask(int left) {
  if (left > 1) {
    g_main_loop->PostTask(CURRENT_LOCATION,
                          base::Bind(&SelfPostedTask, left - 1));
  }
  TaskDoneOnMainThread();
}

bool RunTasks() {
#if defined(_WIN32)
  base::MessageLoop loop(base::MessageLoop::TYPE_UI);
#else
  base::MessageLoop loop(base::MessageLoop::TYPE_DEFAULT);
#endif
  g_main_loop = &loop;
  base::RunLoop run_loop;
  g_run_loop = &run_loop;

  base::Thread thread("TraceTestNamedThread");
  if (!thread.Start()) return false;
  auto pool =
      base::MakeRefCounted<base::SequencedWorkerPool>(2, "TraceTestPool");
  auto sequence = pool->GetSequencedTaskRunner(
      base::SequencedWorkerPool::GetSequenceToken(),
      base::SequencedWorkerPool::BLOCK_SHUTDOWN);

  loop.PostTask(CURRENT_LOCATION, base::Bind(&SelfPostedTask, kTasksPerKind));
  for (int i = 0; i < kTasksPerKind; ++i) {
    sequence->PostTask(CURRENT_LOCATION, base::Bind(&Work));
    base::WorkerPool::PostTask(CURRENT_LOCATION, base::Bind(&Work), false);
  }
  for (int i = 0; i < kTasksPerKind - 1; ++i)
    thread.task_runner()->PostTask(CURRENT_LOCATION, base::Bind(&Work));
  PostLastNamedThreadTask(&thread);
#if defined(_WIN32)
  // A window message of its own for the UI pump to handle.
  PostThreadMessageW(GetCurrentThreadId(), WM_APP, 0, 0);
#endif

  run_loop.Run();
  thread.Stop();
  pool->Shutdown(0);
  g_main_loop = nullptr;
  return g_tasks_left == 0;
}

}  // namespace

int main(int argc, char** argv) {
  base::AtExitManager at_exit;
  base::CommandLine::Init();
  logging::SetLogMessageHandler(&EchoErrors);
  base::PlatformThread::SetName("TraceTestMain");
  base::AtExitManager::RegisterCallback(&PrintMemoryInfraThreadAtExit, nullptr);
  bool tracing = base::trace_event::EnableTracingFromCommandLine();
  printf("tracing=%d\n", tracing ? 1 : 0);
  printf("memory_infra_thread_at_start=%d\n",
         base::trace_event::MemoryDumpManager::GetInstance()
                 ->IsDumpThreadRunningForTesting()
             ? 1
             : 0);
  fflush(stdout);
  return RunTasks() ? 0 : 1;
}
