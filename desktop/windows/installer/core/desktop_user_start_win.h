// Programs an elevated installer process starts for its user: the browser
// after an install or update, a page in the system browser. They are never
// started with the process's own token: they are started as the user of the
// desktop's shell, unelevated, created with the shell's process as their
// parent (PROC_THREAD_ATTRIBUTE_PARENT_PROCESS), from which, as the system
// documents, they take their token. They get that user's environment and
// inherit no handle. This process still creates them: whether they take
// their mitigation policies (the redirection guard among them) from it or
// from the shell is not documented.
//
// Such a program is started only from folders that no account but that
// user, SYSTEM, Administrators and the Windows installer service may change
// (read through GetFolderSecurity()): its own file, its folder, the folders
// above it and whatever else it runs. Another user's installation is never
// started that way.
//
// Where there is no desktop shell to start it as (the system account, a
// service's session, a desktop without a shell), or the shell itself runs
// elevated, nothing is started and the log says why.
//
// No state; any thread.

#ifndef DESKTOP_WINDOWS_INSTALLER_CORE_DESKTOP_USER_START_WIN_H_
#define DESKTOP_WINDOWS_INSTALLER_CORE_DESKTOP_USER_START_WIN_H_

#include <vector>

#include "base/files/file_path.h"
#include "base/process/process.h"

namespace base {
class CommandLine;
}  // namespace base

namespace installer {

// The system browser's name, as its folder in Program Files and as the
// application the system's default programs know.
inline constexpr char16_t kSystemBrowserName[] = u"Internet Explorer";

// Starts |command_line| (an absolute program first) as above; |runs_from|
// names the further files and folders the program runs (for the launcher,
// the browser it starts and that browser's folder). The process, which the
// caller may wait for; an invalid one when nothing was started, the log
// then saying why. The log names the road once the program has started.
base::Process StartAsDesktopUser(const base::CommandLine& command_line,
                                 const std::vector<base::FilePath>& runs_from);

// <Program Files>\Internet Explorer\iexplore.exe, where an elevated process
// opens a page: its own associations may be another account's than the
// desktop user's. Empty when the program folder is not known.
base::FilePath GetSystemBrowserPath();

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_CORE_DESKTOP_USER_START_WIN_H_
