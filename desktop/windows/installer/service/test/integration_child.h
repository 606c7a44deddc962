// A child process for the system-integration tests, which need a second
// process or an executable in a folder of their choosing:
//
//   installer_integration_test_child.exe --print-install-folder
//       prints the running installation's folder (InstallationInfo) as UTF-8.
//   ... --register-task --task-version=<1|3> --task-suffix=<s>
//       --install-folder=<f> [--system-task] [--no-autoupdate-schedule]
//       [--not-administrator]
//       registers the autoupdate task the installer registers for the
//       installation in <f> (name suffix "Autoupdate <s>") with the
//       scheduler of that Windows version index; with
//       --not-administrator the process stands for a user who is none.
//       Exit code 0 registered, 2 no scheduler, 3 the registration failed.
//   ... --uninstall-task --task-version=<1|3> --task-suffix=<s>
//       what uninstalling does: the stale sweep, then deletes the task.
//       Exit code 0, or 2 without a scheduler.
//   ... --change-guarded-key=<path below HKEY_CURRENT_USER>
//       guards the key with a ScopedRegistryRestore, writes the value
//       "Changed" into it and deletes its value "Kept", then dies before
//       the guard puts them back: exit code 9.
//
// Exit code 1 for an unknown mode.

#ifndef DESKTOP_WINDOWS_INSTALLER_SERVICE_TEST_INTEGRATION_CHILD_H_
#define DESKTOP_WINDOWS_INSTALLER_SERVICE_TEST_INTEGRATION_CHILD_H_

#include "base/files/file_path.h"

namespace installer {
namespace test {

inline constexpr char kChildPrintInstallFolder[] = "print-install-folder";
inline constexpr char kChildRegisterTask[] = "register-task";
inline constexpr char kChildUninstallTask[] = "uninstall-task";
inline constexpr char kChildTaskVersion[] = "task-version";
inline constexpr char kChildTaskSuffix[] = "task-suffix";
inline constexpr char kChildInstallFolder[] = "install-folder";
inline constexpr char kChildSystemTask[] = "system-task";
inline constexpr char kChildNoAutoupdateSchedule[] = "no-autoupdate-schedule";
inline constexpr char kChildNotAdministrator[] = "not-administrator";
inline constexpr char kChildChangeGuardedKey[] = "change-guarded-key";

// The child beside the running test executable.
base::FilePath GetIntegrationChildPath();

}  // namespace test
}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_SERVICE_TEST_INTEGRATION_CHILD_H_
