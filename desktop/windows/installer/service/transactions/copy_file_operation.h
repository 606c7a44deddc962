// CopyFileOperation: copies one file into place. A missing destination
// folder is created and an existing destination file is moved aside first,
// both as sub-operations, so rollback deletes the copy and brings the old
// file back; commit deletes the old file.

#ifndef DESKTOP_WINDOWS_INSTALLER_SERVICE_TRANSACTIONS_COPY_FILE_OPERATION_H_
#define DESKTOP_WINDOWS_INSTALLER_SERVICE_TRANSACTIONS_COPY_FILE_OPERATION_H_

#include "base/files/file_path.h"
#include "desktop/windows/installer/service/transactions/operation.h"

namespace installer {

class CopyFileOperation : public Operation {
 public:
  CopyFileOperation(const base::FilePath& source,
                    const base::FilePath& destination);
  ~CopyFileOperation() override;

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

#endif  // DESKTOP_WINDOWS_INSTALLER_SERVICE_TRANSACTIONS_COPY_FILE_OPERATION_H_
