// A child process for the system-integration tests, which need a second
// process or an executable in a folder of their choosing:
//
//   installer_integration_test_child.exe --print-install-folder
//       prints the running installation's folder (InstallationInfo) as UTF-8.
//
// Exit code 0 when the mode ran, 1 for an unknown mode.

#ifndef DESKTOP_WINDOWS_INSTALLER_SERVICE_TEST_INTEGRATION_CHILD_H_
#define DESKTOP_WINDOWS_INSTALLER_SERVICE_TEST_INTEGRATION_CHILD_H_

#include "base/files/file_path.h"

namespace installer {
namespace test {

inline constexpr char kChildPrintInstallFolder[] = "print-install-folder";

// The child beside the running test executable.
base::FilePath GetIntegrationChildPath();

}  // namespace test
}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_SERVICE_TEST_INTEGRATION_CHILD_H_
