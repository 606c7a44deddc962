// Win32DialogDispatcher: hands the UI loop's messages to IsDialogMessageW
// for the installer's active modeless dialog, so that Tab, the arrow keys,
// Enter, Escape and mnemonics work in it.
//
// One process-wide instance (GetInstance), created on first use from any
// thread and deleted by the at-exit manager. The UI controller runs its
// RunLoop with it; the installer window selects its main dialog while that
// dialog is active and releases it when it is deactivated. Select, Release
// and Dispatch are called on the UI thread only.

#ifndef DESKTOP_WINDOWS_INSTALLER_UI_WIN32_DIALOG_DISPATCHER_WIN_H_
#define DESKTOP_WINDOWS_INSTALLER_UI_WIN32_DIALOG_DISPATCHER_WIN_H_

#include <stdint.h>
#include <windows.h>

#include "base/lazy_instance.h"
#include "base/message_loop/message_pump_win.h"

namespace installer {

class Win32DialogDispatcher : public base::MessagePumpDispatcher {
 public:
  static Win32DialogDispatcher* GetInstance();

  Win32DialogDispatcher(const Win32DialogDispatcher&) = delete;
  Win32DialogDispatcher& operator=(const Win32DialogDispatcher&) = delete;

  // Makes |dialog| the dialog that receives keyboard navigation.
  void Select(HWND dialog);
  // Forgets |dialog| when it is the current one; another current dialog
  // stays.
  void Release(HWND dialog);

  // POST_DISPATCH_NONE when IsDialogMessageW consumed |msg| for the current
  // dialog, else POST_DISPATCH_PERFORM_DEFAULT. Never quits the loop.
  uint32_t Dispatch(const MSG& msg) override;

  HWND current_dialog() const { return current_dialog_; }

 private:
  friend class base::LazyInstanceImpl<Win32DialogDispatcher, true>;

  Win32DialogDispatcher();
  ~Win32DialogDispatcher() override;

  HWND current_dialog_ = nullptr;
};

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_UI_WIN32_DIALOG_DISPATCHER_WIN_H_
