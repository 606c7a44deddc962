// TaskbarPins: pinning a shortcut to the taskbar and taking it off, through
// the shell's verbs (base/win/shortcut.h). A class so that tests can stand
// in for it: the test system's shell refuses both verbs. Used on the
// installer's main thread.

#ifndef DESKTOP_WINDOWS_INSTALLER_SERVICE_TASKBAR_PINS_WIN_H_
#define DESKTOP_WINDOWS_INSTALLER_SERVICE_TASKBAR_PINS_WIN_H_

#include "base/files/file_path.h"

namespace installer {

class TaskbarPins {
 public:
  virtual ~TaskbarPins() = default;
  // Whether this system lets a program pin: Windows 7 to 8.1.
  virtual bool CanPin();
  // False when the shell refused.
  virtual bool Pin(const base::FilePath& shortcut);
  virtual bool Unpin(const base::FilePath& shortcut);
};

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_SERVICE_TASKBAR_PINS_WIN_H_
