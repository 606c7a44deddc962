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

void ReportMissingStep(Installer* installer, const char* name) {
  LOG(ERROR) << installer->ReportError(
      kIdsInstallError, u"",
      std::string("This installation step is not available: ") + name);
}

}  // namespace

void Installer::StepCopyFiles(uint32_t index) {
  ReportMissingStep(this, "StepCopyFiles");
}
void Installer::StepCopyRootFiles(uint32_t index) {
  ReportMissingStep(this, "StepCopyRootFiles");
}
void Installer::StepInstallLauncher() {
  ReportMissingStep(this, "StepInstallLauncher");
}
void Installer::StepRemoveOldRootFiles() {
  ReportMissingStep(this, "StepRemoveOldRootFiles");
}
void Installer::StepSetUpRegistry() {
  ReportMissingStep(this, "StepSetUpRegistry");
}
void Installer::StepCleanUpRegistry() {
  ReportMissingStep(this, "StepCleanUpRegistry");
}
void Installer::StepInstallShortcuts() {
  ReportMissingStep(this, "StepInstallShortcuts");
}
void Installer::StepUpdateShortcuts() {
  ReportMissingStep(this, "StepUpdateShortcuts");
}
void Installer::StepRemoveShortcuts() {
  ReportMissingStep(this, "StepRemoveShortcuts");
}
void Installer::StepFinalize() { ReportMissingStep(this, "StepFinalize"); }
void Installer::StepFinalizeUninstall() {
  ReportMissingStep(this, "StepFinalizeUninstall");
}
void Installer::StepWriteInstallerPrefs() {
  ReportMissingStep(this, "StepWriteInstallerPrefs");
}
void Installer::StepPreservePreviousStatus() {
  ReportMissingStep(this, "StepPreservePreviousStatus");
}
void Installer::StepRemoveInstalledFiles() {
  ReportMissingStep(this, "StepRemoveInstalledFiles");
}
void Installer::StepCleanUpFilesAfterUninstall() {
  ReportMissingStep(this, "StepCleanUpFilesAfterUninstall");
}

}  // namespace installer
