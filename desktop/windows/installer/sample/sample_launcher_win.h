// The sample package's launcher ("launcher.exe" in the root of the install
// folder, the target of the shortcuts and of the uninstall entry): it hands
// an uninstall on to the installer of the installed version, which it
// finds, as the browser's own launcher does, through the installation
// status that the installer keeps in the install folder.

#ifndef DESKTOP_WINDOWS_INSTALLER_SAMPLE_SAMPLE_LAUNCHER_WIN_H_
#define DESKTOP_WINDOWS_INSTALLER_SAMPLE_SAMPLE_LAUNCHER_WIN_H_

#include <string>

#include "base/files/file_path.h"

namespace installer {
namespace sample {

// Whether |argument| is the uninstall switch ("--uninstall", "-uninstall"
// or "/uninstall", in any letter case).
bool IsUninstallSwitch(const std::wstring& argument);

// "installer.exe" in the folder of the installed version: the subfolder of
// |install_folder| that its installation status names (also a status that
// an installation left unfinished). Empty, with the reason in |*reason|,
// when there is no readable status, it names no single folder inside
// |install_folder|, or that folder holds no installer. COM must be
// initialised on the calling thread.
base::FilePath FindInstalledInstaller(const base::FilePath& install_folder,
                                      std::string* reason);

// The launcher's log: the lower-case product name and "_launcher.log" in
// the installer's folder of the temporary folder, beside the installer's
// own logs. Every uninstall the launcher hands on appends its lines there.
base::FilePath GetLauncherLogPath();

// RunSampleProgram("launcher"); then, when an argument is the uninstall
// switch, runs FindInstalledInstaller()'s installer with the launcher's
// arguments as they were given, waits for it and returns its exit code; 1
// when there is none or it cannot be started. What it finds, runs and gets
// back goes to the launcher's log.
int RunSampleLauncher();

}  // namespace sample
}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_SAMPLE_SAMPLE_LAUNCHER_WIN_H_
