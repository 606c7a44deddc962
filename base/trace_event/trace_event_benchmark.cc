// Cost of one trace point: a disabled site, an enabled complete event with
// two string arguments on threads with a message loop (private chunks, no
// lock per event), also four threads at once, and on threads without a
// loop (the shared chunk under the log's lock). The ring buffer keeps
// recording however long the benchmark runs.
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

void StartRecording() {
  base::trace_event::TraceLog::GetInstance()->SetEnabled(
      base::trace_event::TraceConfig(),
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
  if (state.thread_index() == 0) StartRecording();
  EnsureMessageLoop();
  for (auto _ : state) {
    ScopedTraceEvent event(Enabled(), "MessageLoop::RunTask", "src_file",
                           "message_loop.cc", "src_func", "RunTask");
  }
}
BENCHMARK(BM_EnabledWithLoop)->Threads(1)->Threads(4);

void BM_EnabledSharedChunk(benchmark::State& state) {
  if (state.thread_index() == 0) StartRecording();
  for (auto _ : state) {
    ScopedTraceEvent event(Enabled(), "WorkerThread::ThreadMain::Run",
                           "src_file", "worker_pool.cc", "src_func", "Run");
  }
}
BENCHMARK(BM_EnabledSharedChunk)->Threads(1)->Threads(4);

}  // namespace

BENCHMARK_MAIN();
