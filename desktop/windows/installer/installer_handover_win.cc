// NOT YET WRITTEN: the elevated relaunch, the folder-permission request to
// an elevated copy, the tasks after an elevated installation, and the wait
// for the package with the hand-over to the package's own backend, all
// Installer members called by Run.
//
// Until they are written each reports that it cannot do its work: an
// elevation or a permission request answers "set-up error" (3), the wait
// for the package fails the run, so that no run reports a success it did
// not earn.

#include "base/logging.h"
#include "desktop/windows/installer/installer.h"

namespace installer {

namespace {

constexpr int kSetUpError = 3;

}  // namespace

int Installer::RunElevated() {
  LOG(ERROR) << "Running the installer elevated is not available";
  return kSetUpError;
}

int Installer::RequestFolderPermission(const base::FilePath& folder,
                                       bool permanent) {
  LOG(ERROR) << "Requesting folder permissions is not available";
  return kSetUpError;
}

void Installer::RunPostElevationTasks() {
  LOG(ERROR) << "Post elevation installation tasks are not available";
}

void Installer::WaitForPackage(bool post_elevated) {
  post_elevation_ = post_elevated;
  LOG(ERROR) << ReportError(kIdsInstallError, u"",
                            "Waiting for the package is not available");
}

void Installer::HandOverToPackageBackend() {
  LOG(ERROR) << ReportError(kIdsInstallError, u"",
                            "Handing over to the package is not available");
}

}  // namespace installer
