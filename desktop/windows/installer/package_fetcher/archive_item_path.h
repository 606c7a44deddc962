// The check that keeps a relative path inside the folder it is joined to:
// a 7z archive's item names, and the lines of the package's file lists and
// the entries of an install log, which an elevated installer copies and
// deletes. Portable; no state, any thread.

#ifndef DESKTOP_WINDOWS_INSTALLER_PACKAGE_FETCHER_ARCHIVE_ITEM_PATH_H_
#define DESKTOP_WINDOWS_INSTALLER_PACKAGE_FETCHER_ARCHIVE_ITEM_PATH_H_

#include <string>

#include "base/files/file_path.h"
#include "base/strings/string_piece.h"

namespace installer {

// |name| with every "/" (the 7z format's folder separator) turned into "\".
std::u16string ToWindowsSeparators(std::u16string name);

// True when |path|, split at "\" and "/", is one or more components that
// each name a plain file or folder below the unpack folder: no empty
// component (so no absolute, UNC or "a\\b" path), no "." or "..", no ":"
// (drives, alternate data streams), no control character (NUL included),
// none of ? " < > * |, no leading or trailing space and no trailing dot (all
// as IsValidFileName() rules a component), and no device name (CON, PRN,
// AUX, NUL, COM0-9, LPT0-9, COM and LPT with a superscript 1-3, CONIN$,
// CONOUT$), also before an extension or trailing spaces.
bool IsSafeArchiveItemPath(const std::u16string& path);

// IsSafeArchiveItemPath() of |path| in UTF-8; false for text that is not
// valid UTF-8.
bool IsSafeRelativePathUtf8(base::StringPiece path);

// Where the unpacking writes the item |item_path|: |folder| joined with it.
// False, with |*output| untouched, for a path IsSafeArchiveItemPath()
// refuses.
bool GetArchiveItemOutputPath(const base::FilePath& folder,
                              const std::u16string& item_path,
                              base::FilePath* output);

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_PACKAGE_FETCHER_ARCHIVE_ITEM_PATH_H_
