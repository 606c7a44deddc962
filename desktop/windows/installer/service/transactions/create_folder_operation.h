// CreateFolderOperation: creates a folder with all its missing parents and
// remembers the nearest ancestor that existed; rollback removes the created
// levels while they are empty, never that ancestor. An existing folder is
// success and records nothing.

#ifndef DESKTOP_WINDOWS_INSTALLER_SERVICE_TRANSACTIONS_CREATE_FOLDER_OPERATION_H_
#define DESKTOP_WINDOWS_INSTALLER_SERVICE_TRANSACTIONS_CREATE_FOLDER_OPERATION_H_

#include "base/files/file_path.h"
#include "desktop/windows/installer/service/transactions/operation.h"

namespace installer {

class CreateFolderOperation : public Operation {
 public:
  explicit CreateFolderOperation(const base::FilePath& path);
  ~CreateFolderOperation() override;

  bool Execute(Transaction* sub) override;
  void Rollback() override;

 private:
  const base::FilePath path_;
  // Empty until the folder was created.
  base::FilePath nearest_existing_ancestor_;
};

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_SERVICE_TRANSACTIONS_CREATE_FOLDER_OPERATION_H_
