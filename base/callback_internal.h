// The untyped half of a callback: a counted reference to a heap-allocated
// bind state plus the function that invokes it. Callback<Sig> (callback.h)
// adds the typed Run; Bind (bind.h) makes the bind states. Nothing outside
// those two headers uses this file.

#ifndef BASE_CALLBACK_INTERNAL_H_
#define BASE_CALLBACK_INTERNAL_H_

#include <stdint.h>

#include <atomic>

namespace base {
namespace internal {

// One binding: the function to call and the arguments fixed at bind time,
// shared by every copy of the callbacks made from it. The count starts at 0;
// the callback that adopts a fresh state raises it to 1. Whoever drops the
// last reference runs the destroy function, which frees the state and what
// the bound arguments own, on that thread.
class BindStateBase {
 public:
  using DestroyFunction = void (*)(const BindStateBase*);

  BindStateBase(const BindStateBase&) = delete;
  BindStateBase& operator=(const BindStateBase&) = delete;

  void AddRef() const { ref_count_.fetch_add(1, std::memory_order_relaxed); }
  void Release() const {
    if (ref_count_.fetch_sub(1, std::memory_order_acq_rel) == 1) destroy_(this);
  }
  bool HasOneRef() const {
    return ref_count_.load(std::memory_order_acquire) == 1;
  }

 protected:
  explicit BindStateBase(DestroyFunction destroy) : destroy_(destroy) {}
  ~BindStateBase() = default;

 private:
  mutable std::atomic<uint32_t> ref_count_{0};
  const DestroyFunction destroy_;
};

class CallbackBase {
 public:
  bool is_null() const { return bind_state_ == nullptr; }
  explicit operator bool() const { return !is_null(); }

  // Drops this copy's reference; the callback becomes null. Harmless on a
  // null callback.
  void Reset();

  // True when both share one bind state (both null counts as equal).
  bool Equals(const CallbackBase& other) const {
    return bind_state_ == other.bind_state_;
  }

 protected:
  // The invoker, stored type-erased; Callback<Sig> casts it back.
  using InvokeFunctionStorage = void (*)();

  CallbackBase() = default;
  // Adopts |bind_state| (adds one reference).
  CallbackBase(BindStateBase* bind_state, InvokeFunctionStorage invoke);
  CallbackBase(const CallbackBase& other);
  CallbackBase(CallbackBase&& other) noexcept;
  CallbackBase& operator=(const CallbackBase& other);
  CallbackBase& operator=(CallbackBase&& other) noexcept;
  ~CallbackBase();

  BindStateBase* bind_state() const { return bind_state_; }
  InvokeFunctionStorage invoke_function() const { return invoke_; }

 private:
  BindStateBase* bind_state_ = nullptr;
  InvokeFunctionStorage invoke_ = nullptr;
};

}  // namespace internal
}  // namespace base

#endif  // BASE_CALLBACK_INTERNAL_H_
