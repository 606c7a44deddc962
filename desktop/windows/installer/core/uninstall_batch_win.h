// The Windows side of the uninstall batch file (uninstall_batch.h): paths
// turned into the bytes the command interpreter reads, the folder the file
// is written to, and the one way it is started, shared by the
// uninstallation and the folder-permission utility.

#ifndef DESKTOP_WINDOWS_INSTALLER_CORE_UNINSTALL_BATCH_WIN_H_
#define DESKTOP_WINDOWS_INSTALLER_CORE_UNINSTALL_BATCH_WIN_H_

#include <stdint.h>

#include <string>
#include <vector>

#include "base/files/file_path.h"
#include "base/win/scoped_handle.h"
#include "desktop/windows/installer/core/uninstall_batch.h"

namespace installer {

// |path| in the OEM code page. A path that does not convert back to itself
// unchanged (a character the code page lacks) is tried again as its short
// name; false when that does not round-trip either (or there is none).
bool ToBatchPath(const base::FilePath& path, std::string* out);

// The system folder (GetSystemDirectoryW), where the command interpreter
// and the programs the batch file runs are. Empty when it is unknown.
base::FilePath GetSystemFolder();

// The command interpreter by full path: an installer often runs from
// Downloads, where a planted "cmd.exe" would come first in the search.
// Empty when the system folder is unknown.
base::FilePath GetSystemCommandInterpreter();

// Writes the batch file of |plan|, with its system and own folders filled
// in here, into a new folder of its own that only the installer may change:
// a protected folder (protected_folder_win.h) when |elevated|, on the
// volume of |take| where it can be made there, else a new folder in the
// user's own temporary folder. Its path, which holds no '%'
// (the interpreter would expand it in the file's own name); empty, after
// an error line, when it cannot be written so (nothing is left behind).
//
// With |hold|, the file first waits for the uninstaller
// (UninstallBatchPlan::wait_for_uninstaller): the file it waits on is made
// beside the batch file, and |*hold| holds it until the caller finishes
// with FinishUninstallBatchHold(), or closes it or ends without that, when
// the batch file does nothing.
//
// Each of |take| (files in a folder that another account may change until
// the batch file runs) is deleted from the file's own folder, where
// MoveIntoUninstallBatchFolder moves it first: no path the file names
// leads through a folder another may change.
base::FilePath WriteUninstallBatch(
    UninstallBatchPlan plan, bool elevated,
    base::win::ScopedHandle* hold = nullptr,
    const std::vector<base::FilePath>& take = {});

// Moves each of |take|, as given to WriteUninstallBatch for |batch|, from
// the one at |begin| on and before the one at |end|, into the batch file's
// folder, through a handle that refuses a link anywhere on its path (a
// running program may move within its volume). One that cannot be moved
// (another volume, a link on the way) stays where it is, after a warning,
// and the batch file leaves it. True when every one was moved.
bool MoveIntoUninstallBatchFolder(const base::FilePath& batch,
                                  const std::vector<base::FilePath>& take,
                                  size_t begin = 0, size_t end = SIZE_MAX);

// Deletes the file |*hold| holds and closes it: the batch file goes on.
// False, after an error line, when it cannot be deleted (closed all the
// same: the batch file then does nothing).
bool FinishUninstallBatchHold(base::win::ScopedHandle* hold);

// Starts "cmd.exe /d /v:off /s /c" on |batch| by its full path, hidden, in
// the batch file's own folder (which it holds so while it runs), without
// waiting: no AutoRun command runs first, and a
// '!' of a path the file names is not expanded, whatever the registry says.
// False when the interpreter does not start.
bool LaunchUninstallBatch(const base::FilePath& batch);

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_CORE_UNINSTALL_BATCH_WIN_H_
