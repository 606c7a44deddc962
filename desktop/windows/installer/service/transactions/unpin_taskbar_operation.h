// UnpinTaskbarOperation: takes a shortcut off the taskbar. Rollback pins it
// again where the system lets a program pin (Windows 7 to 8.1); elsewhere
// the pin cannot come back, and the log says so. The shortcut file itself
// is left alone.

#ifndef DESKTOP_WINDOWS_INSTALLER_SERVICE_TRANSACTIONS_UNPIN_TASKBAR_OPERATION_H_
#define DESKTOP_WINDOWS_INSTALLER_SERVICE_TRANSACTIONS_UNPIN_TASKBAR_OPERATION_H_

#include "base/files/file_path.h"
#include "desktop/windows/installer/service/transactions/operation.h"

namespace installer {

class TaskbarPins;

class UnpinTaskbarOperation : public Operation {
 public:
  // |pins| (not owned) must outlive the operation.
  UnpinTaskbarOperation(TaskbarPins* pins, const base::FilePath& shortcut);
  ~UnpinTaskbarOperation() override;

  // False, with nothing changed, when the shell refused.
  bool Execute(Transaction* sub) override;
  void Rollback() override;

 private:
  TaskbarPins* const pins_;
  const base::FilePath shortcut_;
  // Execute took the pin off.
  bool unpinned_ = false;
};

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_SERVICE_TRANSACTIONS_UNPIN_TASKBAR_OPERATION_H_
