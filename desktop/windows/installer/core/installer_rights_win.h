// InstallerRights: what the backend asks the system about its rights, and
// how it starts a copy of the installer with higher ones. The Installer's
// permission checks (is the user an administrator, may it write the install
// folder, can the user be asked for elevation) and its elevated launches all
// go through the process's one instance, so that they can be answered
// together.
//
// The real answers are the default. A test system without user account
// control (every process holds an elevated administrator token, access lists
// are not enforced) answers differently from a user's machine: tests and
// test hosts install answers of their own with
// internal::SetInstallerRightsForTesting.
//
// No state of its own; the Installer's thread calls it.

#ifndef DESKTOP_WINDOWS_INSTALLER_CORE_INSTALLER_RIGHTS_WIN_H_
#define DESKTOP_WINDOWS_INSTALLER_CORE_INSTALLER_RIGHTS_WIN_H_

#include <stdint.h>

#include <memory>
#include <string>

#include "base/command_line.h"
#include "base/files/file_path.h"
#include "base/files/open_without_links_win.h"
#include "base/process/process.h"

namespace installer {

class SavedSecurity;

// The access the Installer needs on the install folder.
uint32_t GetInstallFolderAccessMask();

class InstallerRights {
 public:
  virtual ~InstallerRights() = default;

  // IsUserAdministrator() of service/utils.h.
  virtual bool IsUserAdministrator(bool consider_linked_token) = 0;
  // IsProcessElevated() of service/utils.h.
  virtual bool IsElevated() = 0;
  // Whether this user can be asked for elevation: true for an administrator
  // (linked token considered) and before Windows Vista; otherwise false
  // only when the policy value "EnableLUA" reads as 0.
  virtual bool IsUacEnabled() = 0;
  // Whether the current user has read, write and execute access to
  // |folder| (GetInstallFolderAccessMask).
  virtual bool CanAccessFolder(const base::FilePath& folder) = 0;
  // GrantCurrentUserAccess() of service/access_control.h on |folder|.
  virtual bool GrantFolderAccess(const base::FilePath& folder, uint32_t access,
                                 uint32_t option,
                                 std::unique_ptr<SavedSecurity>* saved) = 0;
  // Starts |program| with |parameters| through the shell's "runas" verb,
  // shown. The process, or an invalid one when the shell refused (the user
  // declined the prompt, or the program cannot start); GetLastError() then
  // tells why.
  virtual base::Process LaunchElevated(const base::FilePath& program,
                                       const std::u16string& parameters) = 0;
};

// The process's instance: the real answers unless a test installed others.
InstallerRights* GetInstallerRights();

// The rule for links on the way to what the process started with
// |command_line| acts on (base::SetLinkRule): a run for the current user
// alone (|all_users| false) follows them, as that user's own choice, unless
// it is a copy another process elevated or runs elevated by its token (or
// as the system) whatever its role; every other run refuses them.
base::LinkRule LinkRuleForRun(bool all_users,
                              const base::CommandLine& command_line);

namespace internal {

// The real answers, whatever is installed.
InstallerRights* GetRealInstallerRights();

// Makes |rights| (not owned; null restores the real ones) the process's
// instance. Main thread, before the Installer runs.
void SetInstallerRightsForTesting(InstallerRights* rights);

}  // namespace internal

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_CORE_INSTALLER_RIGHTS_WIN_H_
