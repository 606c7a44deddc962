// The folder-permission utility: the elevated helper process a backend
// starts when the user may not write the install folder. It grants a user
// full access to the folder and, unless the grant is permanent, takes the
// grant back when the backend signals that the installation has ended, or
// when the installer processes it serves have ended without saying so.
//
// The handshake uses local events named after the folder (see
// MakeKernelObjectName): "VelnaInstaller/GiveInstallPermission", signalled
// here once the grant is in place, and "VelnaInstaller/GiveInstallPermission
// /Undo", signalled by the backend at its end. A helper started while the
// package is still on its way ("wait-for-package") first waits for the
// global "VelnaInstaller/PackageReady" event and then runs the package's own
// installer in this mode.
//
// Runs on the calling thread and blocks it; it keeps no state.

#ifndef DESKTOP_WINDOWS_INSTALLER_CORE_FOLDER_PERMISSION_WIN_H_
#define DESKTOP_WINDOWS_INSTALLER_CORE_FOLDER_PERMISSION_WIN_H_

#include <memory>
#include <string>

#include "base/files/file_path.h"
#include "base/time/time.h"

namespace base {
class CommandLine;
}  // namespace base

namespace installer {

class SavedSecurity;

// Event names of the handshake (kernel-object bases).
inline constexpr char16_t kGiveInstallPermissionEvent[] =
    u"VelnaInstaller/GiveInstallPermission";
inline constexpr char16_t kGiveInstallPermissionUndoEvent[] =
    u"VelnaInstaller/GiveInstallPermission/Undo";
inline constexpr char16_t kPackageReadyEvent[] = u"VelnaInstaller/PackageReady";
inline constexpr char16_t kInstallationInterruptedEvent[] =
    u"VelnaInstaller/InstallationInterrupted";
// The package backend's file name in the package folder.
inline constexpr char16_t kPackageInstallerName[] = u"installer.exe";

// The folder's access list as the utility changes it. The real one writes
// the folder's DACL; tests inject a recording one, since the access lists
// of the test system are neither stored nor enforced.
class FolderAccessEditor {
 public:
  virtual ~FolderAccessEditor() = default;
  // Grants |user| full access to |folder|, inherited by its files and
  // folders, and hands back the previous access list. False, with nothing
  // changed, when the list cannot be read or written.
  virtual bool GrantFullAccess(const base::FilePath& folder,
                               const std::u16string& user,
                               std::unique_ptr<SavedSecurity>* previous) = 0;
  // Writes the previous access list back. False when that fails.
  virtual bool Restore(std::unique_ptr<SavedSecurity>* previous) = 0;
};

// The editor over the folder's real DACL.
std::unique_ptr<FolderAccessEditor> CreateFolderAccessEditor();

struct FolderPermissionOptions {
  // How long a temporary grant stays after the Undo event, so that the
  // backend's last writes are done.
  base::TimeDelta undo_delay = base::TimeDelta::FromSeconds(10);
  // Not owned; null for the real editor.
  FolderAccessEditor* editor = nullptr;
};

// The whole mode, for the switches "set-folder-permission" (the folder),
// "permissions-for-user", "permanent-permissions", "wait-for-package",
// "initial-pid" and "parent-pid" of |command_line|. Nothing is done without
// "permissions-for-user". A temporary grant is restored once the Undo event
// is signalled (after |undo_delay|), or at once when the process named by
// "initial-pid" or "parent-pid" ends first. An "initial-pid" that names no
// process counts as ended; a "parent-pid" that is not a process id is
// ignored. The waiting form starts the package's installer only from a
// protected copy of the package whose installer may be started
// (protected_package_win.h).
//
// True only when this process granted access for a while and took the
// grant back after the Undo event: an installation it served has ended.
bool RunSetFolderPermission(const base::CommandLine& command_line,
                            const FolderPermissionOptions& options);

// For an uninstallation ("run-uninstall-bat"), once the grant has ended:
// when the uninstallation removed its record from the folder of
// "set-folder-permission", moves the programs it ran from, which were in use
// (the folder's launcher, and this program when it runs from a version's
// folder there), into a new protected folder, removes the folders they
// emptied and then that folder when empty, and writes a clean-up batch file
// of its own there (uninstall_batch_win.h) that deletes them once this
// process and those of "initial-pid", "parent-pid" and
// "crash-reporter-pid" have ended; it starts it without waiting. The batch
// file names nothing outside its own folder. Nothing in the install folder,
// which the user could write, is run, and no list of files a user could
// write is read. False when the file cannot be written or started.
bool RunUninstallBatch(const base::CommandLine& command_line);

// The options the entry point runs the mode with: the defaults, unless a
// test host installed others.
const FolderPermissionOptions& GetFolderPermissionOptions();

namespace internal {

// Makes |options| (not owned; null restores the defaults) what
// GetFolderPermissionOptions() answers. For test hosts, before RunInstaller.
void SetFolderPermissionOptionsForTesting(
    const FolderPermissionOptions* options);

}  // namespace internal

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_CORE_FOLDER_PERMISSION_WIN_H_
