// Opening a file where a privileged process must not be led elsewhere. A
// path inside a folder that another account can write may end in a link
// (a reparse point, or a second name of some other file) or pass through
// one on its way (a junction, an object-manager link, a drive mapping):
// the privileged process would then read, write or delete what that
// account could not. These calls decide from the opened handle, so that
// nothing can change between the check and the use.
//
// No state; any thread. They never log (the log file itself is opened with
// them).

#ifndef BASE_FILES_OPEN_WITHOUT_LINKS_WIN_H_
#define BASE_FILES_OPEN_WITHOUT_LINKS_WIN_H_

#include <windows.h>

#include <string>

namespace base {

// How the calls below judge the folders on the way to a path's last part.
enum class LinkRule {
  // A link at any level is refused. For a process that others may steer
  // through a path (elevated, the system, an installation for all users),
  // and the default.
  kRefuseOnTheWay,
  // The way is the process owner's own: a folder on it may be a link (a
  // profile folder moved with a junction, a drive mapped onto a folder),
  // which is followed. The last part of a path is still never a link, and
  // a tree delete still never enters one.
  kFollowOnTheWay,
};
// Process-wide; set before other threads use the calls below.
void SetLinkRule(LinkRule rule);
LinkRule GetLinkRule();

// Opens |path| as CreateFileW does with |access|, |share|, |disposition|
// and |flags| (FILE_FLAG_BACKUP_SEMANTICS is added, so that folders open
// too), without following a reparse point at its end. The handle is kept
// only when what it opened
//  - is no reparse point (internal::WalkAttributes sees its attributes),
//  - is a folder, or a file without a second name,
//  - has |path| (made absolute, its short names made long) as its final
//    path, so that no component on the way was a link (under
//    LinkRule::kRefuseOnTheWay).
// Otherwise INVALID_HANDLE_VALUE with the last error set: the system's
// error, or ERROR_CANT_ACCESS_FILE for a refusal. A file this call created
// and then refused is deleted again; an existing file that |disposition|
// empties is emptied only once accepted. With a |disposition| that may create
// the file, the handle also shares deletion. The caller closes it.
HANDLE OpenWithoutLinks(const std::u16string& path, DWORD access, DWORD share,
                        DWORD disposition, DWORD flags = 0);

// Opens the entry |path| names itself, to rename or delete it: as
// OpenWithoutLinks with OPEN_EXISTING, except that a link at the end of
// |path| (a reparse point) is opened as the link, never followed, and a
// file with other names is taken (renaming or deleting one name leaves the
// file's other names as they are). A link on the way is still refused, and
// so is a handle that leads anywhere but |path| itself (where the system
// cannot open a link as itself, it hands back its target).
HANDLE OpenEntryWithoutLinks(const std::u16string& path, DWORD access,
                             DWORD share);

// Flags of OpenInFolder, beside FILE_FLAG_SEQUENTIAL_SCAN: the entry must
// be a folder (one made is a folder), or must be no folder.
inline constexpr DWORD kOpenAsFolder = 0x1;
inline constexpr DWORD kOpenAsFile = 0x2;

// Opens, or makes, |name| (one name, no separators) in the folder |folder|
// holds, relative to that handle: nothing on the way is looked up again,
// and a reparse point named |name| is opened as itself (where the system
// can). |disposition| as CreateFileW's (CREATE_NEW, OPEN_EXISTING or
// OPEN_ALWAYS: none that empties a file before the caller could check it),
// with FILE_FLAG_BACKUP_SEMANTICS; the handle is synchronous. After an open
// that might have made the entry, the last error is ERROR_ALREADY_EXISTS when
// it was there. The handle is not checked otherwise. INVALID_HANDLE_VALUE with
// the last error set on failure. An entry made gets |security_descriptor| when
// given, else inherits its folder's access list.
HANDLE OpenInFolder(HANDLE folder, const std::u16string& name, DWORD access,
                    DWORD share, DWORD disposition, DWORD flags,
                    void* security_descriptor = nullptr);

// What an elevated process does to a path that another account may have
// prepared, each through handles from the calls above, so that a link at
// any level of a path is refused (ERROR_CANT_ACCESS_FILE) and nothing it
// leads to is touched. Each gives false with the last error set.

// Marks the entry |handle| opened (with DELETE access) for deletion; it
// goes when its last handle closes. A folder must be empty.
bool DeleteOpened(HANDLE handle);
// The same, except that where the system can (Windows 10 from 1709 on),
// the name goes at once, even while others hold the entry open: their
// handles then reach an entry no name leads to. Elsewhere as DeleteOpened.
bool DeleteOpenedNameAtOnce(HANDLE handle);
// Renames the entry |handle| opened (with DELETE access) to |to|, which
// an existing entry gives way to only with |replace| (never a folder).
bool RenameOpened(HANDLE handle, const std::u16string& to, bool replace);
// The same into the folder |folder| holds, under |name| (one name): the
// new name is looked up in that folder alone, nothing on the way again.
bool RenameOpenedInto(HANDLE handle, HANDLE folder, const std::u16string& name,
                      bool replace);

// Deletes the entry at |path|: a file, a link as itself, or a folder,
// whose entries go first when |recursive| (else it must be empty). True
// also when there is nothing at |path|; false, with what stays there, when
// any entry cannot go, a link on the way among them.
bool DeleteWithoutLinks(const std::u16string& path, bool recursive);
// Deletes the empty folder at |path|; true also when there is nothing at
// |path|, false for anything else there (a file, a link, a folder that
// holds something).
bool DeleteEmptyFolderWithoutLinks(const std::u16string& path);
// Renames the entry at |from| (a link as itself) to |to| in a folder
// reached without links, held while the name changes. |replace| as for
// RenameOpened.
bool MoveWithoutLinks(const std::u16string& from, const std::u16string& to,
                      bool replace);
// Creates the folder |path| with |attributes| (may be null) in its parent,
// which is held while it is made. False when anything is at |path|
// already.
bool CreateFolderWithoutLinks(const std::u16string& path,
                              SECURITY_ATTRIBUTES* attributes);
// Copies the contents, times and attributes (the read-only one aside) of
// the file |from| into a new file |to|; nothing is left at |to| after a
// failure.
bool CopyFileWithoutLinks(const std::u16string& from, const std::u16string& to);
// The same between two open files: |from| (opened with GENERIC_READ) is
// read from where it stands, |into| (GENERIC_WRITE, FILE_WRITE_ATTRIBUTES)
// written from where it stands.
bool CopyOpenedFile(HANDLE from, HANDLE into);
// Creates a new empty file "<prefix><hex>.tmp" in |folder| (without a
// prefix named as GetTempFileNameW names its files) and gives its handle,
// with read, write and delete access, and its path in |*path|;
// INVALID_HANDLE_VALUE when no such file can be made.
HANDLE CreateTemporaryFileWithoutLinks(const std::u16string& folder,
                                       std::u16string* path,
                                       const std::u16string& prefix = u"");

// The final path of |handle| in its plain spelling ("C:\x", or
// "\\server\share\x" for a network path); empty when it cannot be had.
std::u16string GetFinalPathOfHandle(HANDLE handle);

// |path| without the "\\?\" prefix: "\\?\C:\x" becomes "C:\x" and
// "\\?\UNC\server\share" becomes "\\server\share". Other paths are
// returned unchanged.
std::u16string StripLongPathPrefix(const std::u16string& path);

// Whether the two paths are equal ignoring letter case (as the file system
// compares names).
bool PathsEqualIgnoringCase(const std::u16string& a, const std::u16string& b);

}  // namespace base

#endif  // BASE_FILES_OPEN_WITHOUT_LINKS_WIN_H_
