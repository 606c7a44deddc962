#include "desktop/windows/installer/service/taskbar_pins_win.h"

#include "base/win/shortcut.h"

namespace installer {

bool TaskbarPins::CanPin() { return base::win::CanPinShortcutToTaskbar(); }

bool TaskbarPins::Pin(const base::FilePath& shortcut) {
  return base::win::TaskbarPinShortcutLink(shortcut);
}

bool TaskbarPins::Unpin(const base::FilePath& shortcut) {
  return base::win::TaskbarUnpinShortcutLink(shortcut);
}

}  // namespace installer
