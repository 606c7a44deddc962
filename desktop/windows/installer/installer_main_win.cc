#include "desktop/windows/installer/installer_main.h"

#include <stdio.h>

#include <string>

#include "base/command_line.h"
#include "desktop/windows/installer/installer_switches.h"
#include "desktop/windows/installer/version_info.h"

namespace installer {

namespace {

void PrintToStdout(const std::string& text) {
  fputs(text.c_str(), stdout);
  fflush(stdout);
}

}  // namespace

bool RunInstallerMain() {
  base::CommandLine::Init();
  const base::CommandLine& command_line =
      *base::CommandLine::ForCurrentProcess();

  // Print-and-return modes come before anything else is set up.
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
