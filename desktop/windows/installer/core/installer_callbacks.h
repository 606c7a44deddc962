// A callback maker shared by the installer's controllers: a reply that
// carries an int result back to its owner.

#ifndef DESKTOP_WINDOWS_INSTALLER_CORE_INSTALLER_CALLBACKS_H_
#define DESKTOP_WINDOWS_INSTALLER_CORE_INSTALLER_CALLBACKS_H_

#include "base/bind.h"
#include "base/callback.h"

namespace installer {

// A closure that runs |reply| with |result|.
inline base::Closure BindReplyWithResult(const base::Callback<void(int)>& reply,
                                         int result) {
  return base::Bind([](const base::Callback<void(int)>& reply,
                       int result) { reply.Run(result); },
                    reply, result);
}

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_CORE_INSTALLER_CALLBACKS_H_
