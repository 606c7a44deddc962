#include "desktop/windows/installer/service/transactions/move_file_operation.h"

#include <utility>

#include "base/files/open_without_links_win.h"
#include "base/logging.h"
#include "desktop/windows/installer/service/transactions/file_operation_helpers.h"

namespace installer {

MoveFileOperation::MoveFileOperation(
    const base::FilePath& source, const base::FilePath& destination,
    Security security,
    std::shared_ptr<FileSecurity::FolderSecurities> folder_securities)
    : source_(source),
      destination_(destination),
      security_(security),
      folder_securities_(std::move(folder_securities)) {}

MoveFileOperation::~MoveFileOperation() = default;

bool MoveFileOperation::Execute(Transaction* sub) {
  if (!PrepareDestination(destination_, sub)) return false;
  VLOG(1) << "Moving " << source_ << "to" << destination_;
  cleared_read_only_ = ClearReadOnlyAttribute(source_);
  if (security_ == kTakeFolderSecurity) {
    if (!FileSecurity::Get()->MoveTakingFolderSecurity(
            source_, destination_, &saved_security_,
            folder_securities_.get())) {
      return false;
    }
  } else if (!base::MoveWithoutLinks(source_.value(), destination_.value(),
                                     false)) {
    PLOG(ERROR) << "File move failed: " << source_ << " to " << destination_;
    return false;
  }
  completed_ = true;
  return true;
}

void MoveFileOperation::Rollback() {
  if (completed_ &&
      base::MoveWithoutLinks(destination_.value(), source_.value(), false) &&
      !saved_security_.empty()) {
    FileSecurity::Get()->Restore(source_, saved_security_);
  }
  // The source is left as it was found.
  if (cleared_read_only_) RestoreReadOnlyAttribute(source_);
}

}  // namespace installer
