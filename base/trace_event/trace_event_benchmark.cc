// Cost of one trace point: a disabled site, an enabled complete event with
// two string arguments on threads with a message loop (private chunks, no
// lock per event), also four threads at once, and on threads without a
// loop (the shared chunk under the log's lock). The ring buffer keeps
// recording however long the benchmark runs. Argument 1 reads the thread
// CPU clock per event as tracing does; argument 0 replaces it with a
// stand-in, to show the log's own cost apart from the clock's.
//
// Run by hand: trace_event_benchmark [--benchmark_filter=...]

#include <memory>

#include "base/message_loop/message_loop.h"
#include "base/trace_event/trace_event.h"
#include "base/trace_event/trace_log.h"
#include "benchmark/benchmark.h"

namespace {

using base::trace_event::ScopedTraceEvent;
using base::trace_event::TraceCategoryState;

const unsigned char* Enabled() {
  static const unsigned char* const state = TraceCategoryState("toplevel");
  return state;
}

const unsigned char* Disabled() {
  static const unsigned char* const state =
      TraceCategoryState("disabled-by-default-benchmark");
  return state;
}

base::ThreadTicks NoThreadTime() { return base::ThreadTicks(); }

void StartRecording(const benchmark::State& state) {
  base::trace_event::TraceLog* log = base::trace_event::TraceLog::GetInstance();
  log->SetThreadClockForTesting(state.range(0) ? nullptr : &NoThreadTime);
  log->SetEnabled(base::trace_event::TraceConfig(),
                  base::trace_event::kTraceOptionRecordContinuously);
}

// Each benchmark thread keeps one loop, so that it records privately.
void EnsureMessageLoop() {
  static thread_local std::unique_ptr<base::MessageLoop> loop;
  if (!loop) loop = std::make_unique<base::MessageLoop>();
}

void BM_DisabledSite(benchmark::State& state) {
  for (auto _ : state) {
    ScopedTraceEvent event(Disabled(), "MessageLoop::RunTask", "src_file",
                           "message_loop.cc", "src_func", "RunTask");
  }
}
BENCHMARK(BM_DisabledSite);

void BM_EnabledWithLoop(benchmark::State& state) {
  if (state.thread_index() == 0) StartRecording(state);
  EnsureMessageLoop();
  for (auto _ : state) {
    ScopedTraceEvent event(Enabled(), "MessageLoop::RunTask", "src_file",
                           "message_loop.cc", "src_func", "RunTask");
  }
}
BENCHMARK(BM_EnabledWithLoop)->Arg(1)->Arg(0)->Threads(1)->Threads(4);

void BM_EnabledSharedChunk(benchmark::State& state) {
  if (state.thread_index() == 0) StartRecording(state);
  for (auto _ : state) {
    ScopedTraceEvent event(Enabled(), "WorkerThread::ThreadMain::Run",
                           "src_file", "worker_pool.cc", "src_func", "Run");
  }
}
BENCHMARK(BM_EnabledSharedChunk)->Arg(1)->Arg(0)->Threads(1)->Threads(4);

}  // namespace

BENCHMARK_MAIN();
