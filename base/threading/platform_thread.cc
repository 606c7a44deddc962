#include "base/threading/platform_thread.h"

#include <atomic>

#include "base/threading/thread_name_registry.h"

namespace base {

namespace {

std::atomic<PlatformThread::NameObserver> g_task_tracking_observer{nullptr};
std::atomic<internal::SystemSleepFunction> g_sleep_override{nullptr};

// Task tracking never hears this thread name.
constexpr char kUntrackedThreadName[] = "BrokerEvent";

}  // namespace

// static
void PlatformThread::Sleep(TimeDelta duration) {
  // The system may wake early; sleep again until the end really passed.
  TimeTicks end = TimeTicks::Now() + duration;
  for (TimeTicks now = TimeTicks::Now(); now < end; now = TimeTicks::Now()) {
    int64_t milliseconds = (end - now).InMillisecondsRoundedUp();
    internal::SystemSleep(milliseconds >= 0xFFFFFFFE
                              ? 0xFFFFFFFE
                              : static_cast<uint32_t>(milliseconds));
  }
}

// static
const char* PlatformThread::GetName() {
  return ThreadNameRegistry::GetInstance()->GetName(CurrentId());
}

// static
bool PlatformThread::Create(size_t stack_size, Delegate* delegate,
                            PlatformThreadHandle* handle_out,
                            ThreadPriority priority) {
  return CreateThreadInternal(stack_size, delegate, handle_out, priority);
}

// static
bool PlatformThread::CreateNonJoinable(size_t stack_size, Delegate* delegate,
                                       ThreadPriority priority) {
  return CreateThreadInternal(stack_size, delegate, nullptr, priority);
}

// static
void PlatformThread::SetTaskTrackingNameObserver(NameObserver observer) {
  g_task_tracking_observer.store(observer, std::memory_order_release);
}

namespace internal {

void SetSystemSleepFunctionForTesting(SystemSleepFunction function) {
  g_sleep_override.store(function, std::memory_order_release);
}

void SystemSleep(uint32_t milliseconds) {
  if (SystemSleepFunction function =
          g_sleep_override.load(std::memory_order_acquire)) {
    function(milliseconds);
    return;
  }
  PlatformSleepMilliseconds(milliseconds);
}

void NotifyTaskTrackingOfName(const std::string& name) {
  if (name == kUntrackedThreadName) return;
  if (PlatformThread::NameObserver observer =
          g_task_tracking_observer.load(std::memory_order_acquire)) {
    observer(name);
  }
}

}  // namespace internal

}  // namespace base
