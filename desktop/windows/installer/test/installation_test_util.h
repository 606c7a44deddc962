// Installations as tests need them on disk: a folder with an install log
// (the current or the former engine's file name) and the files beside it.
// The writers need COM on the calling thread.

#ifndef DESKTOP_WINDOWS_INSTALLER_TEST_INSTALLATION_TEST_UTIL_H_
#define DESKTOP_WINDOWS_INSTALLER_TEST_INSTALLATION_TEST_UTIL_H_

#include <string>

#include "base/files/file_path.h"
#include "desktop/windows/installer/service/install_log.h"

namespace installer {
namespace test {

// A log that reads back: an installation in |folder| of one file, for all
// users or the current user, with no registry keys or shortcuts.
InstallLog MakeInstallLog(const base::FilePath& folder, bool all_users);

// Writes |log| into |folder| (created when missing) as
// "installation_status.xml", or as the former engine's
// "velna_install_log.xml" when |former_engine| is set.
bool WriteInstallationLog(const base::FilePath& folder, const InstallLog& log,
                          bool former_engine);

// Writes |contents| to |path|, creating its folder.
bool WriteTextFile(const base::FilePath& path, const std::string& contents);

}  // namespace test
}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_TEST_INSTALLATION_TEST_UTIL_H_
