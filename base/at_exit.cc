#include "base/at_exit.h"

#include <atomic>
#include <utility>

#include "base/logging.h"

namespace base {

namespace {

// The innermost live manager; null when none exists.
std::atomic<AtExitManager*> g_top_manager{nullptr};

}  // namespace

AtExitManager::AtExitManager()
    : previous_(g_top_manager.load(std::memory_order_acquire)) {
  g_top_manager.store(this, std::memory_order_release);
}

AtExitManager::~AtExitManager() {
  // Managers nest like the scopes that hold them.
  CHECK(g_top_manager.load(std::memory_order_acquire) == this)
      << "AtExitManagers destroyed out of order";
  ProcessCallbacksNow();
  g_top_manager.store(previous_, std::memory_order_release);
  // Callbacks registered while the pass ran are dropped with |stack_|.
}

// static
void AtExitManager::RegisterCallback(AtExitCallbackType function,
                                     void* parameter) {
  AtExitManager* top = g_top_manager.load(std::memory_order_acquire);
  if (!top) return;
  AutoLock lock(top->lock_);
  top->stack_.push_back({function, parameter});
}

// static
void AtExitManager::ProcessCallbacksNow() {
  AtExitManager* top = g_top_manager.load(std::memory_order_acquire);
  if (!top) return;
  std::deque<Callback> callbacks;
  {
    AutoLock lock(top->lock_);
    callbacks.swap(top->stack_);
  }
  // Unlocked, so that a callback may register (or lazily create) more.
  while (!callbacks.empty()) {
    Callback callback = callbacks.back();
    callbacks.pop_back();
    callback.function(callback.parameter);
  }
}

// static
bool AtExitManager::IsActive() {
  return g_top_manager.load(std::memory_order_acquire) != nullptr;
}

}  // namespace base
