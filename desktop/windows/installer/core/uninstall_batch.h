// The text of "k.bat", the batch file an uninstallation leaves in the
// install folder to delete what was still in use: it waits until the
// installer's processes have ended, deletes the leftover files (trying
// those still in use again once a second, for up to 30 s), removes their
// folders deepest first, deletes itself and has the install folder removed
// once it is empty.
//
// The command interpreter reads a batch file in the OEM code page and
// expands every '%' it meets, also inside double quotes: paths reach this
// text already in the OEM code page (see uninstall_batch_win.h), and each
// '%' in them is doubled here. Lines end with CR LF. Portable; no state.

#ifndef DESKTOP_WINDOWS_INSTALLER_CORE_UNINSTALL_BATCH_H_
#define DESKTOP_WINDOWS_INSTALLER_CORE_UNINSTALL_BATCH_H_

#include <stdint.h>

#include <set>
#include <string>
#include <vector>

#include "base/files/file_path.h"

namespace installer {

// The batch file's name in the install folder.
inline constexpr char16_t kUninstallBatchFileName[] = u"k.bat";

// |path| with every '%' doubled, so that the interpreter reads it as it is.
std::string EscapeBatchPercent(const std::string& path);

// The batch text. |process_ids| are the processes to wait for, in order
// (PID1, PID2, ...; zeros are left out). |files| are deleted in order;
// |folders| are removed in the order given (see CollectLeftoverFolders).
// Unless it is empty, |install_folder|, which holds the batch file, is
// removed last when it is empty by then: by a command interpreter that the
// batch file starts outside it and that waits two seconds, until the batch
// file has ended and is gone; that interpreter then removes each of
// |parent_folders| (the folders above it that the installation created,
// nearest first) that is empty by then, and runs outside the last of them.
// All hold OEM-code-page bytes without quotes.
std::string BuildUninstallBatchText(
    const std::vector<uint32_t>& process_ids,
    const std::vector<std::string>& files,
    const std::vector<std::string>& folders, const std::string& install_folder,
    const std::vector<std::string>& parent_folders = {});

// Adds to |*folders| every folder between |file| and |install_folder|:
// its parent, that folder's parent and so on, stopping before
// |install_folder| itself (compared ignoring case). A file that is not
// inside |install_folder| adds nothing.
void CollectLeftoverFolders(const base::FilePath& file,
                            const base::FilePath& install_folder,
                            std::set<base::FilePath>* folders);

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_CORE_UNINSTALL_BATCH_H_
