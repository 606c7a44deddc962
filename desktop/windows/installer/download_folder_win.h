// The installer's own folder for downloads and logs: a folder named after
// the product (GetInstallerFolderName()) in the first base folder where the
// installer may create it and, when a test program is given, where a copy of
// that program actually starts (policies that forbid running programs from
// some folders are common).
//
// Any thread, except for the test run started ahead (main thread only),
// which is the only state kept. Every failure only moves on to the
// following candidate, and a candidate that fails its test run leaves no
// empty folder behind.
//
// A front end that runs elevated or as the system uses none of this: every
// candidate may be a folder that a user made and can still change (the
// system's temporary folder lets any user make one), so that front end
// downloads, unpacks and starts the package in a new protected folder of
// its own (core/protected_folder_win.h) and runs no test copy.

#ifndef DESKTOP_WINDOWS_INSTALLER_DOWNLOAD_FOLDER_WIN_H_
#define DESKTOP_WINDOWS_INSTALLER_DOWNLOAD_FOLDER_WIN_H_

#include <string>

#include "base/files/file_path.h"

namespace installer {

// Whether this process runs elevated or as the system: its token is an
// administrator's (InstallerRights::IsUserAdministrator without the linked
// token).
bool IsElevatedFrontEnd();

// Tries, in order: the temporary folder, the user's Downloads folder, the
// user's home folder and the executable's folder; |*folder| becomes the
// first candidate that works. |name| is the installer's folder name;
// |test_program| an executable to test-run there ("--version"), or empty.
// False when no candidate works.
bool GetTempInstallerFolder(const std::u16string& name,
                            const base::FilePath& test_program,
                            base::FilePath* folder);

// The candidate below the path service's folder |path_key|; false when the
// key has no folder.
bool TryPathServiceFolderCandidate(const std::u16string& name,
                                   const base::FilePath& test_program,
                                   base::FilePath* folder, int path_key);

// The candidate below the user's Downloads known folder.
bool TryDownloadsFolderCandidate(const std::u16string& name,
                                 const base::FilePath& test_program,
                                 base::FilePath* folder);

// |*folder| is the base on entry and base + |name| on return. Creates the
// folder (with its parents) when it is missing; with a test program, runs
// TestRunInFolder() and removes the folder again when that fails and the
// folder is empty.
bool TryInstallerFolderCandidate(const std::u16string& name,
                                 const base::FilePath& test_program,
                                 base::FilePath* folder);

// Copies |program| into |folder| under its own name (with this process's id
// added when another run's copy of that name is in use), starts the copy
// with "--version", waits for it and deletes it. True when the copy
// started; its exit code is not looked at. A run of the same program in the
// same folder started ahead is waited for in place of a new one.
bool TestRunInFolder(const base::FilePath& folder,
                     const base::FilePath& program);

// Starts the test run of the first candidate (the temporary folder) for
// |name| and |test_program| without waiting, so that its start overlaps
// with the rest of the front end's start-up; TestRunInFolder() takes it up
// later. One run ahead at a time; a run never taken up is waited for and
// cleaned up when the at-exit scope ends. Main thread only, with an at-exit
// scope.
void StartTestRunAhead(const std::u16string& name,
                       const base::FilePath& test_program);

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_DOWNLOAD_FOLDER_WIN_H_
