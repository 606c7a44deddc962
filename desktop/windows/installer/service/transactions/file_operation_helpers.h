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

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_SERVICE_TRANSACTIONS_FILE_OPERATION_HELPERS_H_
