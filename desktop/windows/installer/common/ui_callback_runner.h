// UICallbackRunner: how a worker gets a dialog shown (the proxy credentials
// prompt of a download) on the front end's thread, with the installer
// window as its owner.
//
// The front ends implement it. A call may come from any thread; the
// implementation brings the callback to its own thread, runs it there with
// the window's handle and posts the result to |reply| on |reply_runner|. It
// may also answer without running the callback: the silent front end
// replies 0 at once, and the interactive one replies 1223 (ERROR_CANCELLED)
// once it has terminated. Callers treat 0 and 1223 alike, as a declined
// prompt.

#ifndef DESKTOP_WINDOWS_INSTALLER_COMMON_UI_CALLBACK_RUNNER_H_
#define DESKTOP_WINDOWS_INSTALLER_COMMON_UI_CALLBACK_RUNNER_H_

#include "base/callback.h"
#include "base/memory/ref_counted.h"
#include "base/task_runner.h"

// The window handle type of windows.h, without including it.
struct HWND__;

namespace installer {

class UICallbackRunner {
 public:
  using UICallback = base::Callback<int(HWND__*)>;
  using ReplyCallback = base::Callback<void(int)>;

  virtual ~UICallbackRunner() = default;

  virtual void RunUICallbackAndPostReply(
      const UICallback& callback,
      const base::ScopedRefPtr<base::TaskRunner>& reply_runner,
      const ReplyCallback& reply) = 0;
};

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_COMMON_UI_CALLBACK_RUNNER_H_
