// Helpers for tests of Settings: waiting for an inspection to arrive, and
// the settings as a dictionary that a child process prints and a test
// compares.

#ifndef DESKTOP_WINDOWS_INSTALLER_TEST_SETTINGS_TEST_UTIL_H_
#define DESKTOP_WINDOWS_INSTALLER_TEST_SETTINGS_TEST_UTIL_H_

#include <memory>

#include "base/callback.h"
#include "base/values.h"
#include "desktop/windows/installer/core/settings.h"

namespace installer {
namespace test {

// Counts the notifications of one Settings while it lives.
class SettingsObserverForTest : public Settings::Observer {
 public:
  explicit SettingsObserverForTest(Settings* settings);
  ~SettingsObserverForTest() override;

  // Runs the thread's message loop until the next OnPathChanged (at most a
  // minute). False when it did not come.
  bool WaitForPathChange();

  int setting_changes() const { return setting_changes_; }
  int language_changes() const { return language_changes_; }
  int path_changes() const { return path_changes_; }

  // Settings::Observer:
  void OnSettingChanged() override;
  void OnLanguageChanged() override;
  void OnPathChanged() override;

 private:
  Settings* const settings_;
  int setting_changes_ = 0;
  int language_changes_ = 0;
  int path_changes_ = 0;
  // Ends the wait of WaitForPathChange(); null otherwise.
  base::Closure quit_;
};

// Every field of |settings| and the key facts of its Status, by name; the
// backend's command line under "backend_arguments".
std::unique_ptr<base::DictionaryValue> DescribeSettings(
    const Settings& settings);

}  // namespace test
}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_TEST_SETTINGS_TEST_UTIL_H_
