// Callback<R(Args...)>: a bound function, the unit of deferred work of the
// whole system (posted tasks, replies, timer and at-exit actions). A
// callback is two words: a counted reference to a bind state made by Bind
// (bind.h) and the function that invokes it. Copies are cheap, may be made,
// passed and dropped on any thread, and share the bind state; the last copy
// to go destroys it, releasing the bound arguments on that thread.
//
// A callback may be run any number of times; running a null callback is a
// programming error. The bind state must outlive the call: a function that
// may destroy the callback it runs from (a one-shot timer's task) is run
// from a copy. Closure is the callback of a posted task.

#ifndef BASE_CALLBACK_H_
#define BASE_CALLBACK_H_

#include <utility>

#include "base/callback_forward.h"
#include "base/callback_internal.h"
#include "base/logging.h"

namespace base {

template <typename R, typename... Args>
class Callback<R(Args...)> : public internal::CallbackBase {
 public:
  using RunType = R(Args...);
  using InvokeFunction = R (*)(internal::BindStateBase*, Args&&...);

  Callback() = default;
  // Adopts |bind_state|; used by Bind.
  Callback(internal::BindStateBase* bind_state, InvokeFunction invoke)
      : CallbackBase(bind_state,
                     reinterpret_cast<InvokeFunctionStorage>(invoke)) {}

  R Run(Args... args) const {
    CHECK(!is_null());
    InvokeFunction invoke = reinterpret_cast<InvokeFunction>(invoke_function());
    return invoke(bind_state(), std::forward<Args>(args)...);
  }

  bool operator==(const Callback& other) const { return Equals(other); }
};

}  // namespace base

#endif  // BASE_CALLBACK_H_
