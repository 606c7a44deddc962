#include "desktop/windows/installer/ui/win32_dialog_dispatcher_win.h"

#include "base/logging.h"

namespace installer {

namespace {

base::LazyInstance<Win32DialogDispatcher> g_dispatcher;

}  // namespace

// static
Win32DialogDispatcher* Win32DialogDispatcher::GetInstance() {
  return g_dispatcher.Pointer();
}

Win32DialogDispatcher::Win32DialogDispatcher() = default;

Win32DialogDispatcher::~Win32DialogDispatcher() = default;

void Win32DialogDispatcher::Select(HWND dialog) {
  VLOG(2) << "Switching to hwnd " << dialog;
  current_dialog_ = dialog;
}

void Win32DialogDispatcher::Release(HWND dialog) {
  VLOG(2) << "Switching away from hwnd " << dialog;
  if (current_dialog_ == dialog) {
    current_dialog_ = nullptr;
  } else {
    VLOG(2) << "Another hwnd was already selected";
  }
}

uint32_t Win32DialogDispatcher::Dispatch(const MSG& msg) {
  if (current_dialog_ &&
      IsDialogMessageW(current_dialog_, const_cast<MSG*>(&msg))) {
    return POST_DISPATCH_NONE;
  }
  return POST_DISPATCH_PERFORM_DEFAULT;
}

}  // namespace installer
