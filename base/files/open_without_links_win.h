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

// Opens |path| as CreateFileW does with |access|, |share|, |disposition|
// and |flags| (FILE_FLAG_BACKUP_SEMANTICS is added, so that folders open
// too), without following a reparse point at its end. The handle is kept
// only when what it opened
//  - is no reparse point (internal::WalkAttributes sees its attributes),
//  - is a folder, or a file without a second name,
//  - has |path| (made absolute, its short names made long) as its final
//    path, so that no component on the way was a link.
// Otherwise INVALID_HANDLE_VALUE with the last error set: the system's
// error, or ERROR_CANT_ACCESS_FILE for a refusal. A file this call created
// and then refused is deleted again; an existing file that |disposition|
// empties is emptied only once accepted. With a |disposition| that may create
// the file, the handle also shares deletion. The caller closes it.
HANDLE OpenWithoutLinks(const std::u16string& path, DWORD access, DWORD share,
                        DWORD disposition, DWORD flags = 0);

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
