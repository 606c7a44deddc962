#include "desktop/windows/installer/service/transactions/unpin_taskbar_operation.h"

#include "base/logging.h"
#include "desktop/windows/installer/service/taskbar_pins_win.h"

namespace installer {

UnpinTaskbarOperation::UnpinTaskbarOperation(TaskbarPins* pins,
                                             const base::FilePath& shortcut)
    : pins_(pins), shortcut_(shortcut) {}

UnpinTaskbarOperation::~UnpinTaskbarOperation() = default;

bool UnpinTaskbarOperation::Execute(Transaction* sub) {
  if (!pins_->Unpin(shortcut_)) {
    LOG(WARNING) << "Could not unpin " << shortcut_;
    return false;
  }
  unpinned_ = true;
  return true;
}

void UnpinTaskbarOperation::Rollback() {
  if (!unpinned_) return;
  unpinned_ = false;
  // From Windows 10 on only the user pins.
  if (!pins_->CanPin()) {
    LOG(WARNING) << "Cannot pin " << shortcut_
                 << " again: this system lets no program pin";
    return;
  }
  if (!pins_->Pin(shortcut_))
    LOG(WARNING) << "Could not pin " << shortcut_ << " again";
}

}  // namespace installer
