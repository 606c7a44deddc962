#include "base/bind.h"
#include "base/command_line.h"
#include "base/location.h"
#include "base/message_loop/message_loop.h"
#include "base/run_loop.h"
#include "base/time/time.h"
#include "desktop/windows/installer/core/status.h"
#include "desktop/windows/installer/test/settings_test_util.h"

namespace installer {
namespace test {

SettingsObserverForTest::SettingsObserverForTest(Settings* settings)
    : settings_(settings) {
  settings_->AddObserver(this);
}

SettingsObserverForTest::~SettingsObserverForTest() {
  settings_->RemoveObserver(this);
}

bool SettingsObserverForTest::WaitForPathChange() {
  const int before = path_changes_;
  base::RunLoop run_loop;
  quit_ = run_loop.QuitClosure();
  // A quit closure of a finished run does nothing: the time-out may stay.
  base::MessageLoop::current()->PostDelayedTask(
      CURRENT_LOCATION, run_loop.QuitClosure(),
      base::TimeDelta::FromSeconds(60));
  run_loop.Run();
  quit_ = base::Closure();
  return path_changes_ != before;
}

void SettingsObserverForTest::OnSettingChanged() { ++setting_changes_; }

void SettingsObserverForTest::OnLanguageChanged() { ++language_changes_; }

void SettingsObserverForTest::OnPathChanged() {
  ++path_changes_;
  if (!quit_.is_null()) quit_.Run();
}

std::unique_ptr<base::DictionaryValue> DescribeSettings(
    const Settings& settings) {
  auto description = std::make_unique<base::DictionaryValue>();
  description->SetInteger("operation", settings.operation());
  const struct {
    const char* name;
    bool value;
  } flags[] = {
      {"copy_only", settings.copy_only()},
      {"single_profile", settings.single_profile()},
      {"launch_velna", settings.launch_velna()},
      {"all_users", settings.all_users()},
      {"default_browser", settings.default_browser()},
      {"import_browser_data", settings.import_browser_data()},
      {"enable_velna_stats", settings.enable_velna_stats()},
      {"enable_installer_stats", settings.enable_installer_stats()},
      {"desktop_shortcut", settings.desktop_shortcut()},
      {"start_menu_shortcut", settings.start_menu_shortcut()},
      {"quick_launch_shortcut", settings.quick_launch_shortcut()},
      {"pinned_shortcut", settings.pinned_shortcut()},
      {"uninstall", settings.uninstall()},
      {"silent", settings.silent()},
      {"autoupdate", settings.autoupdate()},
      {"delete_profile", settings.delete_profile()},
      {"replace_tamsel", settings.replace_tamsel()},
      {"valid_install_path", settings.GetStatus()->valid_install_path},
      {"existing_installation", settings.GetStatus()->existing_installation},
      {"tamsel_installation", settings.GetStatus()->tamsel_installation},
  };
  for (const auto& flag : flags) description->SetBoolean(flag.name, flag.value);
  description->SetString("install_language", settings.install_language());
  description->SetString("install_folder",
                         settings.GetStatus()->install_folder.value());
  description->SetString("profile_folder", settings.profile_folder().value());
  base::CommandLine backend(base::CommandLine::NO_PROGRAM);
  settings.AppendToCommandLine(&backend, false);
  description->SetString("backend_arguments", backend.GetArgumentsString());
  return description;
}

}  // namespace test
}  // namespace installer
