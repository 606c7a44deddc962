// MoveFileOperation: moves one file (or folder) into place. A missing
// destination folder is created and an existing destination file is moved
// aside first, both as sub-operations; rollback moves the file back to its
// source and the old destination file comes back too.

#ifndef DESKTOP_WINDOWS_INSTALLER_SERVICE_TRANSACTIONS_MOVE_FILE_OPERATION_H_
#define DESKTOP_WINDOWS_INSTALLER_SERVICE_TRANSACTIONS_MOVE_FILE_OPERATION_H_

#include "base/files/file_path.h"
#include "desktop/windows/installer/service/transactions/operation.h"

namespace installer {

class MoveFileOperation : public Operation {
 public:
  MoveFileOperation(const base::FilePath& source,
                    const base::FilePath& destination);
  ~MoveFileOperation() override;

  bool Execute(Transaction* sub) override;
  void Rollback() override;

 private:
  const base::FilePath source_;
  const base::FilePath destination_;
  bool completed_ = false;
  // The source's read-only bit was cleared and is set again on rollback.
  bool cleared_read_only_ = false;
};

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_SERVICE_TRANSACTIONS_MOVE_FILE_OPERATION_H_
