// Steps shared by the copy and move operations.

#ifndef DESKTOP_WINDOWS_INSTALLER_SERVICE_TRANSACTIONS_FILE_OPERATION_HELPERS_H_
#define DESKTOP_WINDOWS_INSTALLER_SERVICE_TRANSACTIONS_FILE_OPERATION_HELPERS_H_

#include "base/files/file_path.h"

namespace installer {

class Transaction;

// Makes room for a file at |destination|: creates its missing folder, or
// moves an existing file there aside, as an operation run into |sub|. False
// when that operation failed.
bool PrepareDestination(const base::FilePath& destination, Transaction* sub);

// Clears the read-only bit of |path|. True when it was set and is now
// cleared; a failure to clear is logged and gives false.
bool ClearReadOnlyAttribute(const base::FilePath& path);

// Sets the read-only bit of |path| again; failures are ignored.
void RestoreReadOnlyAttribute(const base::FilePath& path);

// Whether a file that cannot be deleted now may be left to the system,
// which deletes it by its path as it next starts, whatever the path leads
// to then: not where another account may change a folder on the way. For
// the whole process, from any thread; allowed until set otherwise.
void SetDeleteAtRestartAllowed(bool allowed);
bool IsDeleteAtRestartAllowed();

// Deletes |path| (and, when |recursive|, what it holds) through no link.
// One that cannot go now (a program in use) is left to the system to
// delete at the next restart where that is allowed, else left and said in
// the log. A path through a link is left as it is; an empty one is
// nothing.
void DeleteNowOrAtRestart(const base::FilePath& path, bool recursive);

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_SERVICE_TRANSACTIONS_FILE_OPERATION_HELPERS_H_
