#include "desktop/windows/installer/core/process_switches.h"

#include "base/command_line.h"
#include "base/strings/string_number_conversions.h"
#include "desktop/windows/installer/common/installer_switches.h"

namespace installer {

namespace {

constexpr const char* kBrowserImportSwitches[] = {
    switches::kImportBookmarks, switches::kImportSession,
    switches::kImportTopsitesToSpeeddial};

std::optional<std::u16string> ValueOf(const base::CommandLine& command_line,
                                      const char* name) {
  if (!command_line.HasSwitch(name)) return std::nullopt;
  return command_line.GetSwitchValueNative(name);
}

std::optional<base::FilePath> PathOf(const base::CommandLine& command_line,
                                     const char* name) {
  if (!command_line.HasSwitch(name)) return std::nullopt;
  return command_line.GetSwitchValuePath(name);
}

bool ParsePid(const std::optional<std::u16string>& value, unsigned* pid) {
  return value && base::WideStringToUint(*value, pid);
}

}  // namespace

bool ProcessSwitches::GetInitialPid(unsigned* pid) const {
  return ParsePid(initial_pid, pid);
}

bool ProcessSwitches::GetParentPid(unsigned* pid) const {
  return ParsePid(parent_pid, pid);
}

ProcessSwitches ReadProcessSwitches(const base::CommandLine& command_line) {
  ProcessSwitches result;
  result.initial_pid = ValueOf(command_line, switches::kInitialPid);
  if (command_line.HasSwitch(switches::kInitialProcHandle)) {
    result.initial_proc_handle =
        command_line.GetSwitchValueASCII(switches::kInitialProcHandle);
  }
  result.parent_pid = ValueOf(command_line, switches::kParentPid);
  result.log_name = ValueOf(command_line, switches::kInstallerLogName);
  result.wait_for_package = PathOf(command_line, switches::kWaitForPackage);
  result.post_elevated_install_tasks =
      command_line.HasSwitch(switches::kPostElevatedInstallTasks);
  result.temp_folder = ValueOf(command_line, switches::kTempFolder);
  result.verbose_level = ValueOf(command_line, switches::kVerboseLevel);
  result.server_tracking_data =
      PathOf(command_line, switches::kServerTrackingData);
  for (const char* name : kBrowserImportSwitches) {
    if (command_line.HasSwitch(name))
      result.browser_import.emplace_back(
          name, command_line.GetSwitchValueNative(name));
  }
  return result;
}

}  // namespace installer
