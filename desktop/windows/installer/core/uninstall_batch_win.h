// The Windows side of the uninstall batch file (uninstall_batch.h): paths
// turned into the bytes the command interpreter reads, and the one way the
// batch file is started, shared by the uninstallation and the
// folder-permission utility.

#ifndef DESKTOP_WINDOWS_INSTALLER_CORE_UNINSTALL_BATCH_WIN_H_
#define DESKTOP_WINDOWS_INSTALLER_CORE_UNINSTALL_BATCH_WIN_H_

#include <string>

#include "base/files/file_path.h"

namespace installer {

// |path| in the OEM code page. A path that does not convert back to itself
// unchanged (a character the code page lacks) is tried again as its short
// name; false when that does not round-trip either (or there is none).
bool ToBatchPath(const base::FilePath& path, std::string* out);

// The command interpreter by full path: an installer often runs from
// Downloads, where a planted "cmd.exe" would come first in the search.
// Empty when the system folder is unknown.
base::FilePath GetSystemCommandInterpreter();

// Starts "cmd.exe /d /v:off /c k.bat" hidden, in |install_folder|, without
// waiting: no path of the folder reaches the interpreter's expansion (nor
// its delayed expansion, whatever the registry says), and no AutoRun
// command runs first. False when "k.bat" is missing or the
// interpreter does not start.
bool LaunchUninstallBatch(const base::FilePath& install_folder);

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_CORE_UNINSTALL_BATCH_WIN_H_
