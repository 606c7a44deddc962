#include "desktop/windows/installer/service/transactions/move_file_operation.h"

#include <windows.h>

#include <utility>
#include <vector>

#include "base/files/folder_walk_win.h"
#include "base/files/open_without_links_win.h"
#include "base/logging.h"
#include "base/win/scoped_handle.h"
#include "desktop/windows/installer/service/transactions/file_operation_helpers.h"
#include "desktop/windows/installer/service/transactions/transaction.h"

namespace installer {

MoveFileOperation::MoveFileOperation(
    const base::FilePath& source, const base::FilePath& destination,
    Security security,
    std::shared_ptr<FileSecurity::FolderSecurities> folder_securities,
    std::weak_ptr<HeldFolders> held_folders)
    : source_(source),
      destination_(destination),
      security_(security),
      folder_securities_(std::move(folder_securities)),
      held_folders_(std::move(held_folders)) {}

MoveFileOperation::~MoveFileOperation() = default;

HeldMove MoveFileOperation::MoveThroughHeldFolders(Transaction* sub) {
  const std::shared_ptr<HeldFolders> held = held_folders_.lock();
  if (!held) return HeldMove::kByPath;
  base::FilePath from;
  base::FilePath to;
  base::FolderWalk* const source_walk = held->Find(source_, &from);
  base::FolderWalk* const target_walk = held->Find(destination_, &to);
  if (!source_walk || !target_walk) return HeldMove::kByPath;
  HANDLE folder = nullptr;
  const HeldMove reached =
      ReachHeldParent(target_walk, to, destination_, sub, &folder);
  if (reached != HeldMove::kDone) return reached;
  VLOG(1) << "Moving " << source_ << " to " << destination_
          << " through held folders";
  if (security_ == kTakeFolderSecurity) {
    return FileSecurity::Get()->MoveIntoHeldFolder(
        source_walk, from, folder, destination_, &saved_security_,
        folder_securities_.get());
  }
  const base::win::ScopedHandle entry =
      OpenToMoveInHeldFolder(source_walk, from, DELETE | SYNCHRONIZE);
  if (!entry.IsValid() ||
      !base::RenameOpenedInto(entry.Get(), folder,
                              destination_.BaseName().value(), false)) {
    return HeldMove::kByPath;
  }
  return HeldMove::kDone;
}

bool MoveFileOperation::Execute(Transaction* sub) {
  switch (MoveThroughHeldFolders(sub)) {
    case HeldMove::kDone:
      completed_ = true;
      return true;
    case HeldMove::kFailed:
      LetGoOfDestination();
      return false;
    case HeldMove::kByPath:
      break;
  }
  if (MoveByPath(sub)) return true;
  LetGoOfDestination();
  return false;
}

void MoveFileOperation::LetGoOfDestination() {
  // The rollback of |sub| that follows removes the folders it made, which
  // a held folder cannot be: every held folder on the way is let go.
  if (const std::shared_ptr<HeldFolders> held = held_folders_.lock())
    held->LetGoOnTheWay(destination_);
}

bool MoveFileOperation::MoveByPath(Transaction* sub) {
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
