// The owner and access list of folders that an elevated installer makes or
// takes over, as security descriptor strings (the system's SDDL form with
// the owner, "O:", and the DACL, "D:", with its flags). A folder from which
// code runs as an administrator or as the system (an install folder for all
// users, a protected copy of the package) must not let anyone else change
// what it holds.
//
// The folders are reached only as what their path names: a path that ends
// in a reparse point, or leads through a link, is refused (see
// base/files/open_without_links_win.h).
//
// The real descriptors are the default. The test system stores no access
// list of a file or folder (it makes one up on every read): tests and test
// hosts install a FolderSecurity of their own with
// internal::SetFolderSecurityForTesting.
//
// No state; any thread.

#ifndef DESKTOP_WINDOWS_INSTALLER_SERVICE_FOLDER_SECURITY_WIN_H_
#define DESKTOP_WINDOWS_INSTALLER_SERVICE_FOLDER_SECURITY_WIN_H_

#include <string>

#include "base/files/file_path.h"

namespace installer {

// The access list of a folder in Program Files: owned by Administrators;
// SYSTEM and Administrators have full control, Users read and execute, all
// of it inherited by everything inside; nothing is inherited from the
// parent.
inline constexpr char16_t kProtectedFolderSecurity[] =
    u"O:BAD:PAI(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;BU)";

class FolderSecurity {
 public:
  virtual ~FolderSecurity() = default;

  // The folder's owner and DACL; empty when they cannot be read.
  virtual std::u16string Read(const base::FilePath& folder) = 0;
  // Creates |folder|, whose parent must exist and be reached without a
  // link on the way, with |descriptor|. False when anything is at |folder|
  // already or it cannot be made.
  virtual bool Create(const base::FilePath& folder,
                      const std::u16string& descriptor) = 0;
};

// The process's instance: the real descriptors unless a test installed
// another.
FolderSecurity* GetFolderSecurity();

// Whether |descriptor| lets an account other than SYSTEM, Administrators and
// the Windows installer service change the folder or what it holds: an owner
// outside them, no DACL, or an entry that allows another account to add,
// write or delete files, or to change the access list or the owner. Entries
// for the creator of a file count as that file's creator's. True for a
// descriptor that cannot be read.
bool LetsOthersChange(const std::u16string& descriptor);

// As LetsOthersChange, with the account |user| (a SID in its string form,
// "S-1-5-21-...") counted with SYSTEM, Administrators and the installer
// service: true when any account but those may change the folder or what it
// holds. True for a SID that cannot be read.
bool LetsOthersThanUserChange(const std::u16string& descriptor,
                              const std::u16string& user);

// The nearest existing folder above |folder|, up to its volume's root (or
// up to |top|, a folder above it that is not judged, when given), whose
// access list (read through GetFolderSecurity()) lets an account other than
// SYSTEM, Administrators and the Windows installer service move |folder|
// away: rename, delete or re-permission that folder (its owner, or an entry
// that allows DELETE, WRITE_DAC or WRITE_OWNER; only the last two for the
// root), or delete what it holds (FILE_DELETE_CHILD). Entries that only
// pass on to what the folder holds do not count. Empty when there is none;
// a list that cannot be read counts as one that lets them.
base::FilePath FindParentOthersMayMove(
    const base::FilePath& folder, const base::FilePath& top = base::FilePath());
// The same, up to the volume's root, with the account |user| (as for
// LetsOthersThanUserChange) counted with them. For a SID that cannot be
// read, the folder above |folder|.
base::FilePath FindParentOthersThanUserMayMove(const base::FilePath& folder,
                                               const std::u16string& user);

namespace internal {

// The real descriptors, whatever is installed.
FolderSecurity* GetRealFolderSecurity();

// Makes |security| (not owned; null restores the real one) the process's
// instance. Before the installer uses it.
void SetFolderSecurityForTesting(FolderSecurity* security);

}  // namespace internal

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_SERVICE_FOLDER_SECURITY_WIN_H_
