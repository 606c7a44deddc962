// Free functions over Windows user, shell and naming services shared by the
// install operations, the shell integration, the scheduled tasks, the global
// storage, the installer core and the UI: the current user's names, the
// administrator and elevation tests, known folders, file identity and
// taskbar pins, and names derived from the branding and the build. The
// access-list functions are in access_control.h, the portable checks and
// names in name_utils.h.
//
// No shared state: any thread may call these (the taskbar search and
// GetFileInfo() do blocking file I/O; the shortcut functions need COM on the
// calling thread). Failure is reported through the result only.

#ifndef DESKTOP_WINDOWS_INSTALLER_SERVICE_UTILS_H_
#define DESKTOP_WINDOWS_INSTALLER_SERVICE_UTILS_H_

#include <windows.h>
// After windows.h.
#include <shlobj.h>
// secext.h (EXTENDED_NAME_FORMAT) insists on a security-package flavour.
#ifndef SECURITY_WIN32
#define SECURITY_WIN32
#endif
#include <secext.h>

#include <string>

#include "base/files/file_path.h"
// IsValidFileName() and MakeKernelObjectName() belong to this set too.
#include "desktop/windows/installer/service/name_utils.h"

namespace installer {

// The current user's name in |format| (NameSamCompatible, NameDisplay...).
bool GetCurrentUserNameEx(std::u16string* out, EXTENDED_NAME_FORMAT format);
// The logon name (at most 256 characters).
bool GetCurrentUserName(std::u16string* out);
// GetCurrentUserNameEx() with NameDisplay; |*out| is untouched on failure.
void GetCurrentUserDisplayName(std::u16string* out);

// True when the process token is a member of BUILTIN\Administrators. With
// |consider_linked_token|, on Vista and later, a limited token is replaced
// by its linked full token first. False when any query fails.
bool IsUserAdministrator(bool consider_linked_token);

// Whether the process runs elevated: its token is elevated (an
// administrator's full token, whatever the command line or an
// installation's record say), or it is the system's own account. Before
// Windows Vista, whether it is an administrator. True when the token, its
// elevation or (before Vista) its groups cannot be read.
bool IsProcessElevated();
// The same for |token|, opened with TOKEN_QUERY (and before Vista
// TOKEN_DUPLICATE).
bool IsTokenElevated(HANDLE token);

// Whether installing needs an elevated process: never for an administrator;
// otherwise always for an installation for all users, else exactly when the
// user cannot write the install folder.
bool RequiresElevation(bool all_users, bool has_write_access);

// The known folder |id| (SHGetKnownFolderPath), or CSIDL |csidl| where that
// is missing; with |create| a missing folder is created. False when the
// folder cannot be had.
bool GetKnownFolderPath(REFKNOWNFOLDERID id, int csidl, base::FilePath* out,
                        bool create);

// Reads the volume serial number, file index and the rest of the file's
// identity. False when the file cannot be opened for reading.
bool GetFileInfo(const base::FilePath& path, BY_HANDLE_FILE_INFORMATION* out);

// The ".lnk" in the user's taskbar pins folder that resolves to |target|:
// by path (ignoring case), or, when |target_info| is given, by the same
// volume and file index (the same file reached through another path). Empty
// when there is none, before Windows 7, or when the folder is missing.
base::FilePath FindTaskbarPinShortcut(
    const base::FilePath& target,
    const BY_HANDLE_FILE_INFORMATION* target_info);

// Whether the shortcut file exists and resolves to |target|, compared as in
// FindTaskbarPinShortcut().
bool ShortcutPointsTo(const base::FilePath& shortcut,
                      const base::FilePath& target,
                      const BY_HANDLE_FILE_INFORMATION* target_info);

// The browser executable's file name: the branding's file name base and
// ".exe".
std::string GetBrowserExecutableName();

// The stream name by release channel: "Nightly", "Developer", "Beta",
// "Stable" for 1 to 4, else the build's release stream.
std::string GetInternalStreamName();
std::string GetInternalStreamNameForChannel(int channel);

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_SERVICE_UTILS_H_
