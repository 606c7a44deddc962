#include "desktop/windows/installer/service/transactions/copy_file_operation.h"

#include "base/files/file_util.h"
#include "base/logging.h"
#include "desktop/windows/installer/service/transactions/file_operation_helpers.h"

namespace installer {

CopyFileOperation::CopyFileOperation(const base::FilePath& source,
                                     const base::FilePath& destination)
    : source_(source), destination_(destination) {}

CopyFileOperation::~CopyFileOperation() = default;

bool CopyFileOperation::Execute(Transaction* sub) {
  if (!PrepareDestination(destination_, sub)) return false;
  VLOG(1) << "Copying " << source_ << " to " << destination_;
  cleared_read_only_ = ClearReadOnlyAttribute(source_);
  if (!base::CopyOneFile(source_, destination_)) {
    // The system's reason (a full disk, a file held by another) is what
    // tells the user what to do about it.
    const logging::SystemErrorCode error = logging::GetLastSystemErrorCode();
    LOG(ERROR) << "File copy failed: " << source_ << " to " << destination_
               << ": " << logging::SystemErrorCodeToString(error);
    return false;
  }
  VLOG(1) << "File copied successfully";
  completed_ = true;
  return true;
}

void CopyFileOperation::Rollback() {
  // The file that stood at the destination comes back with the rollback of
  // the sub-operation that moved it aside.
  if (completed_) base::DeleteFileOrDirectory(destination_, false);
  // The source is left as it was found.
  if (cleared_read_only_) RestoreReadOnlyAttribute(source_);
}

}  // namespace installer
