// The child process of integration_child.h.

#include <stdio.h>
#include <windows.h>

#include "base/at_exit.h"
#include "base/command_line.h"
#include "desktop/windows/installer/service/installation_info.h"
#include "desktop/windows/installer/service/test/integration_child.h"

namespace {

int Run(const base::CommandLine& command_line) {
  using namespace installer::test;
  if (command_line.HasSwitch(kChildPrintInstallFolder)) {
    const std::string folder =
        installer::InstallationInfo::GetInstance()->install_folder().AsUTF8();
    fwrite(folder.data(), 1, folder.size(), stdout);
    fflush(stdout);
    return 0;
  }
  return 1;
}

}  // namespace

int main() {
  base::AtExitManager at_exit;
  base::CommandLine::Init();
  return Run(*base::CommandLine::ForCurrentProcess());
}
