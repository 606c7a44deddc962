#include "base/test/scoped_busy_thread_pool_win.h"

#include <windows.h>

#include "base/logging.h"

namespace base {
namespace test {

namespace {

// Long enough to hold a pool thread, short enough to requeue often.
constexpr int kSpinsPerRun = 2000;

}  // namespace

ScopedBusyThreadPool::ScopedBusyThreadPool(int work_items)
    : all_ended_(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {
  CHECK(all_ended_.IsValid());
  // One count for the constructor, so that no item ends the pool's work
  // before all are queued.
  in_flight_.store(work_items + 1);
  for (int i = 0; i < work_items; ++i) {
    if (!QueueUserWorkItem(&Work, this, WT_EXECUTEDEFAULT)) Ended();
  }
  Ended();
}

ScopedBusyThreadPool::~ScopedBusyThreadPool() {
  stopping_.store(true);
  WaitForSingleObject(all_ended_.Get(), INFINITE);
}

// static
unsigned long __stdcall ScopedBusyThreadPool::Work(void* context) {
  auto* self = static_cast<ScopedBusyThreadPool*>(context);
  for (int i = 0; i < kSpinsPerRun; ++i) YieldProcessor();
  if (self->stopping_.load() ||
      !QueueUserWorkItem(&Work, self, WT_EXECUTEDEFAULT)) {
    self->Ended();
  }
  return 0;
}

void ScopedBusyThreadPool::Ended() {
  if (in_flight_.fetch_sub(1) == 1) SetEvent(all_ended_.Get());
}

}  // namespace test
}  // namespace base
