// UIScript: a test's side of a UI run that the code under test owns (the UI
// controller's RunUI runs the loop until the installation ends). Steps run
// in order; each waits until its condition holds, then does its action. The
// conditions are checked every 10 ms from a posted task, so the code's own
// tasks and window messages run in between. An action runs inside a task:
// it plays the user by posting window messages (clicks, keys), which the
// loop then dispatches as it would real input.

#ifndef DESKTOP_WINDOWS_INSTALLER_UI_TEST_UI_SCRIPT_WIN_H_
#define DESKTOP_WINDOWS_INSTALLER_UI_TEST_UI_SCRIPT_WIN_H_

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "base/memory/weak_ptr.h"
#include "desktop/windows/installer/ui/test/window_test_util_win.h"

namespace installer {
namespace test {

class UIScript {
 public:
  UIScript();
  UIScript(const UIScript&) = delete;
  UIScript& operator=(const UIScript&) = delete;
  ~UIScript();

  // Appends a step; |ready| null means at once.
  UIScript& Then(const std::string& name, std::function<bool()> ready,
                 std::function<void()> action);

  // Starts the checks on the current thread's loop. A step that waits
  // longer than |step_timeout_ms| (only a hang should) fails the test and
  // runs |give_up| (which should end the run).
  void Start(std::function<void()> give_up,
             int step_timeout_ms = kHangMilliseconds);

  bool finished() const { return next_ == steps_.size(); }

 private:
  struct Step {
    std::string name;
    std::function<bool()> ready;
    std::function<void()> action;
  };

  void Check();
  void ScheduleCheck();

  std::vector<Step> steps_;
  size_t next_ = 0;
  std::function<void()> give_up_;
  int step_timeout_ms_ = 0;
  DWORD step_started_ = 0;
  base::WeakPtrFactory<UIScript> weak_factory_{this};
};

// A click on |button| as the user makes it (BM_CLICK, posted).
void PostClick(HWND button);
// Chooses entry |index| of the combo box |id| of |dialog|: selects it and
// posts the notification a user's choice sends.
void PostChooseEntry(HWND dialog, int id, int index);
// Posts |text| as typed characters (WM_CHAR), one message per key.
void PostTyping(HWND window, const std::u16string& text);

}  // namespace test
}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_UI_TEST_UI_SCRIPT_WIN_H_
