#include "desktop/windows/crash_reporter/util/reporter_lifetime.h"

#include "base/lazy_instance.h"
#include "base/logging.h"

namespace crash_reporter {

namespace {

base::LazyInstance<ReporterLifetime> g_lifetime;

}  // namespace

ReporterLifetime::ReporterLifetime()
    : idle_(base::WaitableEvent::ResetPolicy::kManual,
            base::WaitableEvent::InitialState::kNotSignaled) {}

ReporterLifetime::~ReporterLifetime() = default;

// static
ReporterLifetime& ReporterLifetime::Get() { return g_lifetime.Get(); }

// static
void ReporterLifetime::AddRef() {
  Get().pending_.fetch_add(1, std::memory_order_relaxed);
}

// static
void ReporterLifetime::Release() {
  ReporterLifetime& lifetime = Get();
  const int32_t before =
      lifetime.pending_.fetch_sub(1, std::memory_order_acq_rel);
  CHECK(before > 0);
  if (before == 1) lifetime.idle_.Signal();
}

// static
void ReporterLifetime::WaitUntilIdle() {
  ReporterLifetime& lifetime = Get();
  for (;;) {
    lifetime.idle_.Wait();
    if (lifetime.pending_.load(std::memory_order_acquire) == 0) return;
    // Work was taken after the count last fell to zero: wait for it too. A
    // Release between the two loads has signalled before the reset, so the
    // count is read once more after it.
    lifetime.idle_.Reset();
    if (lifetime.pending_.load(std::memory_order_acquire) == 0) return;
  }
}

// static
bool ReporterLifetime::TimedWaitUntilIdle(base::TimeDelta max) {
  return Get().idle_.TimedWait(max);
}

}  // namespace crash_reporter
