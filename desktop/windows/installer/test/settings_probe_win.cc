// installer_settings_probe.exe: builds Settings from its own command line as
// RunInstaller() does, waits for the inspection of the install folder, and
// prints the settings (test/settings_test_util.h) as JSON, the backend's
// command line included. When VELNA_TEST_PROBE_FOLDER is set, the probe then
// sets that folder as a user typing it would (the command line would trim
// some of its characters) and prints the settings after that inspection.
// Exits with 1 when an inspection does not arrive.

#include <windows.h>

#include <memory>
#include <string>

#include "base/at_exit.h"
#include "base/command_line.h"
#include "base/feature_list.h"
#include "base/features/command_line_feature_reader.h"
#include "base/json/json_writer.h"
#include "base/logging.h"
#include "base/message_loop/message_loop.h"
#include "base/strings/string_util_win.h"
#include "base/win/scoped_com_initializer.h"
#include "desktop/windows/installer/common/installer_experiments.h"
#include "desktop/windows/installer/common/installer_switches.h"
#include "desktop/windows/installer/core/settings.h"
#include "desktop/windows/installer/test/settings_test_util.h"

namespace {

using namespace installer;

void Print(const std::string& text) {
  DWORD written = 0;
  WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), text.data(),
            static_cast<DWORD>(text.size()), &written, nullptr);
}

int Run(const base::CommandLine& command_line) {
  base::FeatureList* features = base::FeatureList::GetInstance();
  RegisterInstallerExperiments(features);
  features->ReadOverrides(base::CommandLineFeatureReader(command_line));
  base::MessageLoop message_loop;
  Settings settings(
      command_line, command_line.HasSwitch(switches::kUninstall),
      command_line.HasSwitch(switches::kSilent),
      command_line.HasSwitch(switches::kAutoupdate),
      command_line.GetSwitchValuePath(switches::kInstallFolder),
      command_line.HasSwitch(switches::kReplaceTamselInstallation));
  test::SettingsObserverForTest observer(&settings);
  if (!observer.WaitForPathChange()) return 1;

  wchar_t typed[MAX_PATH] = {};
  if (GetEnvironmentVariableW(L"VELNA_TEST_PROBE_FOLDER", typed, MAX_PATH)) {
    settings.SetInstallFolderFromString(base::as_u16cstr(typed));
    if (!observer.WaitForPathChange()) return 1;
  }
  std::string json;
  base::JSONWriter::Write(*test::DescribeSettings(settings), &json);
  Print(json);
  return 0;
}

}  // namespace

int main() {
  base::AtExitManager at_exit_manager;
  base::CommandLine::Init();
  // Log lines go to standard error only, never to a file beside the probe.
  logging::LoggingSettings logging_settings;
  logging_settings.logging_dest = logging::LOG_TO_SYSTEM_DEBUG_LOG;
  logging::InitLogging(logging_settings);
  base::win::ScopedComInitializer com;
  return Run(*base::CommandLine::ForCurrentProcess());
}
