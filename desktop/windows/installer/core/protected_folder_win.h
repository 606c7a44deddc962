// Folders that only Administrators and SYSTEM may change, made fresh by an
// elevated installer process for what it must not use where a user can
// write: the package it installs (ProtectedPackage) and the clean-up batch
// file an uninstallation leaves. Each is a new folder with an unguessable
// name in the system's temporary folder, created with the access list of a
// folder in Program Files (kProtectedFolderSecurity), so nobody else can
// have planted or changed anything in it.
//
// What goes in is copied from where a user may write, each file taken once,
// through one handle, and refused when it is a link or reached through one
// (base/files/open_without_links_win.h): an elevated copy must neither
// follow the user's links nor read what the user could not.
//
// No state; any thread.

#ifndef DESKTOP_WINDOWS_INSTALLER_CORE_PROTECTED_FOLDER_WIN_H_
#define DESKTOP_WINDOWS_INSTALLER_CORE_PROTECTED_FOLDER_WIN_H_

#include "base/files/file_path.h"

namespace installer {

// A new protected folder (the installer folder name, a space and 16
// random hexadecimal digits) in the system's temporary folder. Empty, after
// an error line, when none can be made.
base::FilePath CreateProtectedFolder();

// Whether |folder| is such a folder, or lies in one: its first component
// below the system's temporary folder has the name pattern above, and
// nobody but SYSTEM and Administrators may change it.
bool IsInProtectedFolder(const base::FilePath& folder);

// Copies the files and folders below |source| into |target|, an existing
// folder, file by file through one handle each, a few files at a time;
// every source folder stays held (not to be renamed or replaced) until the
// copy ends. False, after an error line, when anything cannot be copied, is
// a link (a reparse point, or a file with a second name), or is no longer
// where it was found; what was copied so far stays for the caller to
// remove.
bool CopyFolderWithoutLinks(const base::FilePath& source,
                            const base::FilePath& target);

// Copies the file |source| to the new file |target| through one handle,
// refusing links as above, and then deletes |source| through that handle.
// The source is opened without write sharing: a writer that still holds it
// makes this fail. False, after an error line, when any of it fails (a
// copy is removed again).
bool MoveFileWithoutLinks(const base::FilePath& source,
                          const base::FilePath& target);

namespace internal {

// Makes |root| (empty restores the system's temporary folder) the folder
// where the protected folders are made. For tests and test hosts, before
// the installer runs.
void SetProtectedFolderRootForTesting(const base::FilePath& root);

}  // namespace internal

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_CORE_PROTECTED_FOLDER_WIN_H_
