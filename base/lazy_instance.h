// Lazily created process-wide objects, made exactly once without a lock.
//
// The pattern: one pointer-sized state word per object, 0 = not created,
// 1 = being created, any other value = the instance. The first thread to
// swap 0 -> 1 creates the instance and publishes it; threads that lose the
// swap spin with a zero-length sleep until it appears.
//
//   LazyInstance<Foo> g_foo;               // deleted by the AtExitManager
//   LeakyLazyInstance<Bar> g_bar;          // never deleted
//   g_foo.Get().DoSomething();
//
// Both are constant-initialised, so they may be declared at namespace scope
// or as function-local statics without start-up code. A LazyInstance whose
// instance was deleted at exit is created afresh on its next use (each test
// runs under its own AtExitManager).

#ifndef BASE_LAZY_INSTANCE_H_
#define BASE_LAZY_INSTANCE_H_

#include <stdint.h>

#include <atomic>

namespace base {

// The non-template half, also for hand-written singletons.
class LazyInstanceHelper {
 public:
  static constexpr uintptr_t kCreating = 1;

  // True when the caller won the swap 0 -> 1 and must create the instance.
  static bool NeedsInstance(std::atomic<uintptr_t>* state);
  // Publishes |instance| (release) and, when |deleter| is given, registers
  // deleter(state) with the AtExitManager.
  static void CompleteInstance(std::atomic<uintptr_t>* state,
                               uintptr_t instance,
                               void (*deleter)(void* state));
  // Spins with a zero-length sleep while the word reads kCreating; returns
  // the final word at once when it is already set.
  static uintptr_t WaitForInstance(std::atomic<uintptr_t>* state);
};

template <typename Type, bool kDeleteAtExit>
class LazyInstanceImpl {
 public:
  constexpr LazyInstanceImpl() = default;
  LazyInstanceImpl(const LazyInstanceImpl&) = delete;
  LazyInstanceImpl& operator=(const LazyInstanceImpl&) = delete;

  Type& Get() { return *Pointer(); }
  Type* Pointer() {
    uintptr_t value = state_.load(std::memory_order_acquire);
    if (value > LazyInstanceHelper::kCreating)
      return reinterpret_cast<Type*>(value);
    if (LazyInstanceHelper::NeedsInstance(&state_)) {
      Type* instance = new Type();
      LazyInstanceHelper::CompleteInstance(
          &state_, reinterpret_cast<uintptr_t>(instance),
          kDeleteAtExit ? &Delete : nullptr);
      return instance;
    }
    return reinterpret_cast<Type*>(
        LazyInstanceHelper::WaitForInstance(&state_));
  }

  // True once the instance exists (and has not been deleted at exit).
  bool IsCreated() const {
    return state_.load(std::memory_order_acquire) >
           LazyInstanceHelper::kCreating;
  }

 private:
  static void Delete(void* state) {
    auto* word = static_cast<std::atomic<uintptr_t>*>(state);
    delete reinterpret_cast<Type*>(
        word->exchange(0, std::memory_order_acq_rel));
  }

  std::atomic<uintptr_t> state_{0};
};

template <typename Type>
using LazyInstance = LazyInstanceImpl<Type, true>;
template <typename Type>
using LeakyLazyInstance = LazyInstanceImpl<Type, false>;

}  // namespace base

#endif  // BASE_LAZY_INSTANCE_H_
