// A reference install log with every field set, and the exact bytes it is
// saved as, shared by the tests of the in-memory and the MSXML documents.

#ifndef DESKTOP_WINDOWS_INSTALLER_SERVICE_INSTALL_LOG_TEST_DATA_H_
#define DESKTOP_WINDOWS_INSTALLER_SERVICE_INSTALL_LOG_TEST_DATA_H_

#include "desktop/windows/installer/service/install_log.h"

namespace installer {

// Both hives, root files, all three shortcuts, a non-ASCII file name and an
// ampersand in a path.
InstallLog MakeReferenceInstallLog();

// MakeReferenceInstallLog() as saved.
extern const char kReferenceInstallLogText[];

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_SERVICE_INSTALL_LOG_TEST_DATA_H_
