#include "base/lazy_instance.h"

#include "base/at_exit.h"
#include "base/threading/platform_thread.h"

namespace base {

// static
bool LazyInstanceHelper::NeedsInstance(std::atomic<uintptr_t>* state) {
  uintptr_t expected = 0;
  return state->compare_exchange_strong(expected, kCreating,
                                        std::memory_order_acq_rel,
                                        std::memory_order_acquire);
}

// static
void LazyInstanceHelper::CompleteInstance(std::atomic<uintptr_t>* state,
                                          uintptr_t instance,
                                          void (*deleter)(void* state)) {
  state->store(instance, std::memory_order_release);
  if (deleter) AtExitManager::RegisterCallback(deleter, state);
}

// static
uintptr_t LazyInstanceHelper::WaitForInstance(std::atomic<uintptr_t>* state) {
  // The creator is usually quick; yielding lets it run even on one core.
  uintptr_t value;
  while ((value = state->load(std::memory_order_acquire)) == kCreating)
    PlatformThread::YieldCurrentThread();
  return value;
}

}  // namespace base
