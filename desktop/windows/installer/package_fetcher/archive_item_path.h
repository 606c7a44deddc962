// The check that keeps a 7z archive's item names inside the folder it is
// unpacked into. Portable; no state, any thread.

#ifndef DESKTOP_WINDOWS_INSTALLER_PACKAGE_FETCHER_ARCHIVE_ITEM_PATH_H_
#define DESKTOP_WINDOWS_INSTALLER_PACKAGE_FETCHER_ARCHIVE_ITEM_PATH_H_

#include <string>

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

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_PACKAGE_FETCHER_ARCHIVE_ITEM_PATH_H_
