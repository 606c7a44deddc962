// The machinery behind Bind (bind.h): what a functor's signature is, which
// parameters remain unbound, the typed bind state and its invoker. Not for
// use outside bind.h.

#ifndef BASE_BIND_INTERNAL_H_
#define BASE_BIND_INTERNAL_H_

#include <stddef.h>

#include <functional>
#include <memory>
#include <tuple>
#include <type_traits>
#include <utility>

#include "base/callback.h"
#include "base/callback_internal.h"
#include "base/memory/ref_counted.h"
#include "base/memory/weak_ptr.h"

namespace base {
namespace internal {

template <typename... Types>
struct TypeList {};

// The first N types of a list dropped.
template <size_t N, typename List>
struct DropTypes {
  static_assert(N == 0, "more arguments bound than the functor takes");
  using Type = List;
};
template <size_t N, typename First, typename... Rest>
requires(N > 0) struct DropTypes<N, TypeList<First, Rest...>> {
  using Type = typename DropTypes<N - 1, TypeList<Rest...>>::Type;
};

template <typename R, typename List>
struct MakeCallbackType;
template <typename R, typename... Args>
struct MakeCallbackType<R, TypeList<Args...>> {
  using Type = Callback<R(Args...)>;
};

// The return type and parameter list of what can be bound: function
// pointers, method pointers (whose first parameter is the object), lambdas
// and other classes with one operator(), and callbacks.
template <typename Functor, typename = void>
struct FunctorTraits;

template <typename R, typename... Args>
struct FunctorTraits<R (*)(Args...)> {
  using ReturnType = R;
  using Params = TypeList<Args...>;
  static constexpr bool kIsMethod = false;
};
template <typename R, typename... Args>
struct FunctorTraits<R (*)(Args...) noexcept> : FunctorTraits<R (*)(Args...)> {
};

template <typename R, typename C, typename... Args>
struct FunctorTraits<R (C::*)(Args...)> {
  using ReturnType = R;
  using Params = TypeList<C*, Args...>;
  static constexpr bool kIsMethod = true;
};
template <typename R, typename C, typename... Args>
struct FunctorTraits<R (C::*)(Args...) const> {
  using ReturnType = R;
  using Params = TypeList<const C*, Args...>;
  static constexpr bool kIsMethod = true;
};
template <typename R, typename C, typename... Args>
struct FunctorTraits<R (C::*)(Args...) noexcept>
    : FunctorTraits<R (C::*)(Args...)> {};
template <typename R, typename C, typename... Args>
struct FunctorTraits<R (C::*)(Args...) const noexcept>
    : FunctorTraits<R (C::*)(Args...) const> {};

template <typename R, typename... Args>
struct FunctorTraits<Callback<R(Args...)>> {
  using ReturnType = R;
  using Params = TypeList<Args...>;
  static constexpr bool kIsMethod = false;
};

template <typename CallOperator>
struct CallOperatorTraits;
template <typename R, typename C, typename... Args>
struct CallOperatorTraits<R (C::*)(Args...) const> {
  using ReturnType = R;
  using Params = TypeList<Args...>;
  static constexpr bool kIsMethod = false;
};
template <typename R, typename C, typename... Args>
struct CallOperatorTraits<R (C::*)(Args...)>
    : CallOperatorTraits<R (C::*)(Args...) const> {};
template <typename R, typename C, typename... Args>
struct CallOperatorTraits<R (C::*)(Args...) const noexcept>
    : CallOperatorTraits<R (C::*)(Args...) const> {};
template <typename R, typename C, typename... Args>
struct CallOperatorTraits<R (C::*)(Args...) noexcept>
    : CallOperatorTraits<R (C::*)(Args...) const> {};

template <typename Functor>
struct FunctorTraits<Functor, std::void_t<decltype(&Functor::operator())>>
    : CallOperatorTraits<decltype(&Functor::operator())> {};

template <typename T>
struct IsWeakPtr : std::false_type {};
template <typename T>
struct IsWeakPtr<WeakPtr<T>> : std::true_type {};

template <typename T>
struct IsCallback : std::false_type {};
template <typename Signature>
struct IsCallback<Callback<Signature>> : std::true_type {};

// The object a bound method is called on, from whatever holds it.
template <typename T>
T* UnwrapReceiver(T* object) {
  return object;
}
template <typename T>
T* UnwrapReceiver(const ScopedRefPtr<T>& object) {
  return object.get();
}
template <typename T, typename Deleter>
T* UnwrapReceiver(const std::unique_ptr<T, Deleter>& object) {
  return object.get();
}
template <typename T>
T* UnwrapReceiver(const WeakPtr<T>& object) {
  return object.get();
}

template <typename Functor, typename... Args>
decltype(auto) CallFunctor(Functor& functor, Args&&... args) {
  if constexpr (IsCallback<Functor>::value)
    return functor.Run(std::forward<Args>(args)...);
  else
    return std::invoke(functor, std::forward<Args>(args)...);
}

template <typename Functor, typename... BoundArgs>
class BindState final : public BindStateBase {
 public:
  template <typename F, typename... Args>
  explicit BindState(F&& functor, Args&&... bound_args)
      : BindStateBase(&Destroy),
        functor_(std::forward<F>(functor)),
        bound_args_(std::forward<Args>(bound_args)...) {}

  Functor functor_;
  std::tuple<BoundArgs...> bound_args_;

 private:
  ~BindState() = default;
  static void Destroy(const BindStateBase* self) {
    delete static_cast<const BindState*>(self);
  }
};

template <typename State, typename RunType>
struct Invoker;

template <typename Functor, typename... BoundArgs, typename R,
          typename... Unbound>
struct Invoker<BindState<Functor, BoundArgs...>, R(Unbound...)> {
  using State = BindState<Functor, BoundArgs...>;

  static R Run(BindStateBase* base, Unbound&&... unbound) {
    State* state = static_cast<State*>(base);
    return std::apply(
        [&](auto&... bound) -> R {
          return Call(state->functor_, bound...,
                      std::forward<Unbound>(unbound)...);
        },
        state->bound_args_);
  }

 private:
  template <typename Receiver, typename... Args>
  static R CallMethod(Functor& method, Receiver&& receiver, Args&&... args) {
    if constexpr (IsWeakPtr<std::decay_t<Receiver>>::value) {
      // A method bound through a weak pointer runs only while its object
      // lives; otherwise the call does nothing.
      static_assert(std::is_void_v<R>,
                    "a method bound through a WeakPtr must return void");
      if (!receiver) return;
    }
    return std::invoke(method, UnwrapReceiver(receiver),
                       std::forward<Args>(args)...);
  }

  template <typename... Args>
  static R Call(Functor& functor, Args&&... args) {
    if constexpr (FunctorTraits<Functor>::kIsMethod)
      return CallMethod(functor, std::forward<Args>(args)...);
    else
      return CallFunctor(functor, std::forward<Args>(args)...);
  }
};

}  // namespace internal
}  // namespace base

#endif  // BASE_BIND_INTERNAL_H_
