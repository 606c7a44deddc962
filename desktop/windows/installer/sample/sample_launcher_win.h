// The sample package's launcher ("launcher.exe" in the root of the install
// folder, the target of the shortcuts and of the uninstall entry): it
// starts the browser of the installed version and hands an uninstall on to
// that version's installer, which it finds, as the browser's own launcher
// does, through the installation status that the installer keeps in the
// install folder; when that names no version it can use (a status that does
// not read, or an installation ended part-way before its version's folder
// was complete), through the newest status the installer kept of another.

#ifndef DESKTOP_WINDOWS_INSTALLER_SAMPLE_SAMPLE_LAUNCHER_WIN_H_
#define DESKTOP_WINDOWS_INSTALLER_SAMPLE_SAMPLE_LAUNCHER_WIN_H_

#include <string>

#include "base/files/file_path.h"

namespace installer {
namespace sample {

// Whether |argument| is the uninstall switch ("--uninstall", "-uninstall"
// or "/uninstall", in any letter case).
bool IsUninstallSwitch(const std::wstring& argument);

// The browser executable of a complete version: in the folder (a
// subfolder of |install_folder|) that the installation status names when
// every file it lists is there, else in that of the newest kept status
// whose files are all there, a finished one first (a finished status is no
// proof: an uninstallation ended part-way empties its version). Empty, with
// why the installation status did not do in |*reason|, when there is none:
// no readable status, it names no single folder inside |install_folder|,
// or that version is not complete. COM must be initialised on the calling
// thread.
base::FilePath FindInstalledBrowser(const base::FilePath& install_folder,
                                    std::string* reason);

// "installer.exe" chosen the same way, or else in the folder that the
// installation status names even when that version is not complete (an
// uninstallation ended part-way has removed some of it).
base::FilePath FindInstalledInstaller(const base::FilePath& install_folder,
                                      std::string* reason);

// The launcher's log: the lower-case product name and "_launcher.log" in
// the installer's folder of the temporary folder, beside the installer's
// own logs. Every uninstall the launcher hands on appends its lines there.
base::FilePath GetLauncherLogPath();

// RunSampleProgram("launcher"); then, when an argument is the uninstall
// switch, runs FindInstalledInstaller()'s installer with the launcher's
// arguments as they were given, waits for it and returns its exit code; 1
// when there is none or it cannot be started. Otherwise, unless the
// scheduled autoupdate switch is given (the sample has no updater), does
// the same with FindInstalledBrowser()'s browser. What it finds, runs and
// gets back goes to the launcher's log.
int RunSampleLauncher();

}  // namespace sample
}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_SAMPLE_SAMPLE_LAUNCHER_WIN_H_
