// The text of "k.bat", the batch file an uninstallation leaves to delete
// what was still in use: it waits until the uninstaller has finished, and
// until the installer's processes have ended, deletes the leftover files
// (trying those still in use again once a second, for up to 30 s), removes
// their folders deepest first, deletes itself and has its own folder removed
// once it has ended.
//
// It runs elevated when the installer was, from a folder that only the
// installer may change, which is its current folder: every program it runs
// is named by its full path in the system folder, which is the current
// folder of every interpreter it starts, so that nothing a user put in a
// folder being removed, or beside one, runs in its stead. It pipes nothing (the
// interpreter would start each side of a pipe by a name the environment gives).
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

// The batch file's name.
inline constexpr char16_t kUninstallBatchFileName[] = u"k.bat";
// The file beside it that the uninstaller holds, without leave to rename
// or delete it, and deletes once it has removed its entry; the name it is
// renamed to when the uninstaller ended before that.
inline constexpr char kUninstallerHoldFileName[] = "uninstalling";
inline constexpr char kAbandonedHoldFileName[] = "abandoned";

// |path| with every '%' doubled, so that the interpreter reads it as it is.
std::string EscapeBatchPercent(const std::string& path);

// What the batch file does. Every text holds OEM-code-page bytes without
// quotes.
struct UninstallBatchPlan {
  // The system folder, with the programs the file runs.
  std::string system_folder;
  // The folder that holds the file and its work file, which goes once the
  // file has ended (by an interpreter it starts, which waits two seconds
  // for that). Never empty.
  std::string own_folder;
  // Whether the file first waits while the uninstaller holds its own
  // folder's kUninstallerHoldFileName. When the uninstaller ends without
  // deleting it (before its entry was gone), the file removes nothing but
  // its own folder: the uninstallation can run again.
  bool wait_for_uninstaller = false;
  // The installation's record, deleted after every other file has gone:
  // while one stays, so does the record, which lets the uninstallation
  // run again. Empty: none.
  std::string record;
  // The processes to wait for, in order (PID1, PID2, ...; zeros are left
  // out).
  std::vector<uint32_t> process_ids;
  // Deleted in order.
  std::vector<std::string> files;
  // Removed in order when empty (see CollectLeftoverFolders), then the
  // install folder and the folders above it that the installation made.
  std::vector<std::string> folders;
};

std::string BuildUninstallBatchText(const UninstallBatchPlan& plan);

// Adds to |*folders| every folder between |file| and |install_folder|:
// its parent, that folder's parent and so on, stopping before
// |install_folder| itself (compared ignoring case). A file that is not
// inside |install_folder| adds nothing.
void CollectLeftoverFolders(const base::FilePath& file,
                            const base::FilePath& install_folder,
                            std::set<base::FilePath>* folders);

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_CORE_UNINSTALL_BATCH_H_
