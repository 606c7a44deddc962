#include <windows.h>

#include <string>

#include "base/command_line.h"
#include "desktop/windows/installer/installer_main.h"
#include "desktop/windows/installer/installer_switches.h"
#include "desktop/windows/installer/version_info.h"

namespace installer {

namespace {

// A GUI-subsystem process has no console: the text goes to the standard
// output it was given, if any.
void PrintToStdout(const std::string& text) {
  const HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
  if (!out || out == INVALID_HANDLE_VALUE) return;
  DWORD written = 0;
  WriteFile(out, text.data(), static_cast<DWORD>(text.size()), &written,
            nullptr);
}

}  // namespace

bool RunInstallerMain() {
  base::CommandLine::Init();
  const base::CommandLine& command_line =
      *base::CommandLine::ForCurrentProcess();

  // Print-and-return modes come before anything else is set up.
  if (command_line.HasSwitch(switches::kVersion)) {
    PrintToStdout(VersionInfo::GetProductVersion());
    return true;
  }
  if (command_line.HasSwitch(switches::kInternalVersion)) {
    PrintToStdout(VersionInfo::GetInternalVersion());
    return true;
  }
  if (command_line.HasSwitch(switches::kStream)) {
    PrintToStdout(VersionInfo::GetStream());
    return true;
  }
  // The installer's roles are not available in this build yet.
  return false;
}

}  // namespace installer
