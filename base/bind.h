// Bind: makes a Callback from a functor and the leading arguments to fix
// now. The result's signature is the functor's with those arguments
// removed:
//
//   Callback<void(int)> report = Bind(&Report, std::string("step"));
//   Closure quit = Bind(&RunLoop::Quit, run_loop.GetWeakPtr());
//   Closure task = Bind([](int n) { Use(n); }, 42);
//
// Bound arguments are copied (or moved) into the bind state and handed to
// the functor as lvalues on every run; they are destroyed with the last
// copy of the callback, on the thread that drops it.
//
// For a method, the first bound argument is the object, held as:
//   T*               not owned; it must outlive every run;
//   ScopedRefPtr<T>  one reference, kept until the bind state goes;
//   std::unique_ptr  owned, deleted with the bind state;
//   WeakPtr<T>       the run does nothing once the object is gone (the
//                    method must return void).

#ifndef BASE_BIND_H_
#define BASE_BIND_H_

#include <type_traits>
#include <utility>

#include "base/bind_internal.h"
#include "base/callback.h"

namespace base {

template <typename Functor, typename... Args>
auto Bind(Functor&& functor, Args&&... args) {
  using FunctorType = std::decay_t<Functor>;
  using Traits = internal::FunctorTraits<FunctorType>;
  using State = internal::BindState<FunctorType, std::decay_t<Args>...>;
  using Unbound = typename internal::DropTypes<sizeof...(Args),
                                               typename Traits::Params>::Type;
  using CallbackType =
      typename internal::MakeCallbackType<typename Traits::ReturnType,
                                          Unbound>::Type;

  State* state =
      new State(std::forward<Functor>(functor), std::forward<Args>(args)...);
  return CallbackType(
      state, &internal::Invoker<State, typename CallbackType::RunType>::Run);
}

}  // namespace base

#endif  // BASE_BIND_H_
