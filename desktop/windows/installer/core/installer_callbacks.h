// Callback makers shared by the installer's classes: a task that calls a
// member function, a step that calls one with its index, and a reply that
// carries an int result back to its owner.
//
// The object is held as Bind (base/bind.h) holds it: a raw pointer must
// outlive every run; a WeakPtr makes the run do nothing once the object is
// gone.

#ifndef DESKTOP_WINDOWS_INSTALLER_CORE_INSTALLER_CALLBACKS_H_
#define DESKTOP_WINDOWS_INSTALLER_CORE_INSTALLER_CALLBACKS_H_

#include <stdint.h>

#include <utility>

#include "base/bind.h"
#include "base/callback.h"

namespace installer {

// A closure that runs (object->*method)().
template <typename Method, typename Object>
base::Closure BindMemberFunction(Method method, Object&& object) {
  return base::Bind(method, std::forward<Object>(object));
}

// A closure that runs (object->*method)(value): a copy step and the file
// index it copies.
template <typename Method, typename Object>
base::Closure BindMemberFunctionWithUint(Method method, Object&& object,
                                         uint32_t value) {
  return base::Bind(method, std::forward<Object>(object), value);
}

// A closure that runs |reply| with |result|.
inline base::Closure BindReplyWithResult(const base::Callback<void(int)>& reply,
                                         int result) {
  return base::Bind([](const base::Callback<void(int)>& reply,
                       int result) { reply.Run(result); },
                    reply, result);
}

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_CORE_INSTALLER_CALLBACKS_H_
