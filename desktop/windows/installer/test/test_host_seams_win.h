// The seams of installer_test_host.exe beyond the branding and the test
// steps (installer_test_host.h): where each process of a test's tree logs,
// a package fetcher that puts a prepared package in place, the rights of a
// user who is no elevated administrator, and a record of the folder
// permission utility's grants, which the test system neither stores nor
// enforces.
//
// In the JSON file that VELNA_TEST_INSTALLER_SEAMS names (every installer
// process of the tree reads it):
//   "log_root": "<folder>"   TEMP and TMP become <folder>\<process id>, so
//                            that each process has a log of its own
//   "package": {"source": "<folder>", "ready_event": "<name>",
//               "tracking_data": "<text>"}
//                            the silent front end's fetcher copies the
//                            source into the package folder, reports 2,
//                            and 6 once the named event is set
//   "folder_grants": "<file>"
//                            the permission utility records its grants and
//                            restores there (undo delay 0) instead of
//                            writing the folder's access list
//   "folder_security": "<file>"
//                            the access lists the installer gives folders
//                            are recorded there (RecordedFolderSecurity)
//   "protected_root": "<folder>"
//                            where the protected folders (package copies)
//                            are made, in place of the system's temporary
//                            folder
//   "compressed": "<name>"  files whose names begin with it read as files
//                            the system keeps compressed (a reparse point
//                            with the tag of "compact /exe")
//   "engine_signed": <bool>  whether the engine counts as signed, so that
//                            the package's installer must be
//
// In the JSON file that VELNA_TEST_UNELEVATED_RIGHTS names (a process of a
// user without elevation; the processes it starts elevated do not get it):
//   {"administrator": <bool>, "linked_administrator": <bool>,
//    "uac": <bool>, "runas": "launch" | "refuse",
//    "folder_grants": "<file>"}
// "launch" starts the elevated program with CreateProcess and an
// environment without the variable, so it answers as an administrator;
// "refuse" fails as a declined prompt. With "folder_grants" the user may
// write an install folder only while the record's last line is a grant,
// and cannot widen an access list itself.

#ifndef DESKTOP_WINDOWS_INSTALLER_TEST_TEST_HOST_SEAMS_WIN_H_
#define DESKTOP_WINDOWS_INSTALLER_TEST_TEST_HOST_SEAMS_WIN_H_

#include <string>
#include <vector>

#include "base/files/file_path.h"
#include "base/values.h"

namespace installer {
namespace test {

inline constexpr wchar_t kUnelevatedRightsVariable[] =
    L"VELNA_TEST_UNELEVATED_RIGHTS";

// The lines of a grant record: "grant <user>" or "restore".
std::vector<std::string> ReadGrantRecord(const base::FilePath& record);

// Installs the seams of |seams| (the parsed VELNA_TEST_INSTALLER_SEAMS file)
// other than the branding and the steps. False for a malformed entry.
bool InstallHostSeams(const base::DictionaryValue& seams);

// Installs the rights of the VELNA_TEST_UNELEVATED_RIGHTS file, when the
// variable is set. False when it cannot be read.
bool InstallUnelevatedRights();

}  // namespace test
}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_TEST_TEST_HOST_SEAMS_WIN_H_
