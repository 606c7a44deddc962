#include "base/callback_internal.h"

#include <utility>

namespace base {
namespace internal {

CallbackBase::CallbackBase(BindStateBase* bind_state,
                           InvokeFunctionStorage invoke)
    : bind_state_(bind_state), invoke_(invoke) {
  if (bind_state_) bind_state_->AddRef();
}

CallbackBase::CallbackBase(const CallbackBase& other)
    : bind_state_(other.bind_state_), invoke_(other.invoke_) {
  if (bind_state_) bind_state_->AddRef();
}

CallbackBase::CallbackBase(CallbackBase&& other) noexcept
    : bind_state_(std::exchange(other.bind_state_, nullptr)),
      invoke_(other.invoke_) {}

CallbackBase& CallbackBase::operator=(const CallbackBase& other) {
  // The new reference is taken before the old one is dropped, so assigning
  // a callback to itself keeps its state alive.
  BindStateBase* old_state = bind_state_;
  bind_state_ = other.bind_state_;
  if (bind_state_) bind_state_->AddRef();
  if (old_state) old_state->Release();
  invoke_ = other.invoke_;
  return *this;
}

CallbackBase& CallbackBase::operator=(CallbackBase&& other) noexcept {
  if (this == &other) return *this;
  BindStateBase* old_state = bind_state_;
  bind_state_ = std::exchange(other.bind_state_, nullptr);
  if (old_state) old_state->Release();
  invoke_ = other.invoke_;
  return *this;
}

CallbackBase::~CallbackBase() {
  if (bind_state_) bind_state_->Release();
}

void CallbackBase::Reset() {
  invoke_ = nullptr;
  // Cleared before the release: the destroy function may drop the last
  // reference to an object that reaches this callback again.
  if (BindStateBase* state = std::exchange(bind_state_, nullptr))
    state->Release();
}

}  // namespace internal
}  // namespace base
