#include "desktop/windows/installer/service/transactions/move_file_operation.h"

#include "base/files/file_util.h"
#include "base/logging.h"
#include "desktop/windows/installer/service/transactions/file_operation_helpers.h"

namespace installer {

MoveFileOperation::MoveFileOperation(const base::FilePath& source,
                                     const base::FilePath& destination,
                                     Security security)
    : source_(source), destination_(destination), security_(security) {}

MoveFileOperation::~MoveFileOperation() = default;

bool MoveFileOperation::Execute(Transaction* sub) {
  if (!PrepareDestination(destination_, sub)) return false;
  VLOG(1) << "Moving " << source_ << "to" << destination_;
  cleared_read_only_ = ClearReadOnlyAttribute(source_);
  FileSecurity* const security = FileSecurity::Get();
  if (security_ == kTakeFolderSecurity &&
      !security->Save(source_, &saved_security_)) {
    LOG(ERROR) << "Cannot read the security of " << source_;
    return false;
  }
  if (!base::MoveFileOrDirectory(source_, destination_)) {
    PLOG(ERROR) << "File move failed";
    return false;
  }
  if (security_ == kTakeFolderSecurity &&
      !security->TakeFolderSecurity(destination_)) {
    base::MoveFileOrDirectory(destination_, source_);
    security->Restore(source_, saved_security_);
    return false;
  }
  completed_ = true;
  return true;
}

void MoveFileOperation::Rollback() {
  if (completed_ && base::MoveFileOrDirectory(destination_, source_) &&
      !saved_security_.empty()) {
    FileSecurity::Get()->Restore(source_, saved_security_);
  }
  // The source is left as it was found.
  if (cleared_read_only_) RestoreReadOnlyAttribute(source_);
}

}  // namespace installer
