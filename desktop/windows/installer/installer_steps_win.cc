// NOT YET WRITTEN: the bodies of the installation steps (copying the files
// and root files, the launcher, the registry set-up and clean-up, the
// shortcuts, finalising, the installer preferences, the previous status and
// the uninstall clean-up) belong here, as Installer members.
//
// Until they are written every step fails the run with the generic error,
// so that a real installation cannot report success without having done
// its work. Tests run the step machine with test steps instead
// (internal::SetInstallerStepFactoryForTesting).

#include "base/logging.h"
#include "desktop/windows/installer/installer.h"

namespace installer {

namespace {

constexpr char kStepMissing[] = "This installation step is not available: ";

}  // namespace

#define VELNA_MISSING_STEP(name)                   \
  LOG(ERROR) << ReportError(kIdsInstallError, u"", \
                            std::string(kStepMissing) + (name))

void Installer::StepCopyFiles(uint32_t index) {
  VELNA_MISSING_STEP("StepCopyFiles");
}
void Installer::StepCopyRootFiles(uint32_t index) {
  VELNA_MISSING_STEP("StepCopyRootFiles");
}
void Installer::StepInstallLauncher() {
  VELNA_MISSING_STEP("StepInstallLauncher");
}
void Installer::StepRemoveOldRootFiles() {
  VELNA_MISSING_STEP("StepRemoveOldRootFiles");
}
void Installer::StepSetUpRegistry() { VELNA_MISSING_STEP("StepSetUpRegistry"); }
void Installer::StepCleanUpRegistry() {
  VELNA_MISSING_STEP("StepCleanUpRegistry");
}
void Installer::StepInstallShortcuts() {
  VELNA_MISSING_STEP("StepInstallShortcuts");
}
void Installer::StepUpdateShortcuts() {
  VELNA_MISSING_STEP("StepUpdateShortcuts");
}
void Installer::StepRemoveShortcuts() {
  VELNA_MISSING_STEP("StepRemoveShortcuts");
}
void Installer::StepFinalize() { VELNA_MISSING_STEP("StepFinalize"); }
void Installer::StepFinalizeUninstall() {
  VELNA_MISSING_STEP("StepFinalizeUninstall");
}
void Installer::StepWriteInstallerPrefs() {
  VELNA_MISSING_STEP("StepWriteInstallerPrefs");
}
void Installer::StepPreservePreviousStatus() {
  VELNA_MISSING_STEP("StepPreservePreviousStatus");
}
void Installer::StepRemoveInstalledFiles() {
  VELNA_MISSING_STEP("StepRemoveInstalledFiles");
}
void Installer::StepCleanUpFilesAfterUninstall() {
  VELNA_MISSING_STEP("StepCleanUpFilesAfterUninstall");
}

#undef VELNA_MISSING_STEP

}  // namespace installer
