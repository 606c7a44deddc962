#include "desktop/windows/installer/service/transactions/file_operation_helpers.h"

#include <windows.h>

#include <memory>

#include "base/files/file_util.h"
#include "base/files/system_path_win.h"
#include "base/logging.h"
#include "desktop/windows/installer/service/transactions/create_folder_operation.h"
#include "desktop/windows/installer/service/transactions/delete_file_operation.h"
#include "desktop/windows/installer/service/transactions/transaction.h"

namespace installer {

bool PrepareDestination(const base::FilePath& destination, Transaction* sub) {
  const base::FilePath folder = destination.DirName();
  if (!base::DirectoryExists(folder)) {
    return Transaction::RunOperation(
        sub, std::make_unique<CreateFolderOperation>(folder));
  }
  if (base::PathExists(destination)) {
    // The old file comes back when the sub-operation is rolled back.
    return Transaction::RunOperation(
        sub, std::make_unique<DeleteFileOperation>(destination, false, false));
  }
  return true;
}

bool ClearReadOnlyAttribute(const base::FilePath& path) {
  const DWORD attributes = GetFileAttributesW(base::SystemPathArg(path));
  if (attributes == INVALID_FILE_ATTRIBUTES ||
      !(attributes & FILE_ATTRIBUTE_READONLY)) {
    return false;
  }
  if (!SetFileAttributesW(base::SystemPathArg(path),
                          attributes & ~FILE_ATTRIBUTE_READONLY)) {
    LOG(ERROR) << "Couldn't clear RO attribute of " << path;
    return false;
  }
  return true;
}

void RestoreReadOnlyAttribute(const base::FilePath& path) {
  const DWORD attributes = GetFileAttributesW(base::SystemPathArg(path));
  if (attributes != INVALID_FILE_ATTRIBUTES) {
    SetFileAttributesW(base::SystemPathArg(path),
                       attributes | FILE_ATTRIBUTE_READONLY);
  }
}

}  // namespace installer
