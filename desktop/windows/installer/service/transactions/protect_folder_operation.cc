#include "desktop/windows/installer/service/transactions/protect_folder_operation.h"

#include "base/logging.h"
#include "desktop/windows/installer/service/folder_security_win.h"

namespace installer {

ProtectFolderOperation::ProtectFolderOperation(const base::FilePath& folder)
    : folder_(folder) {}

ProtectFolderOperation::~ProtectFolderOperation() = default;

bool ProtectFolderOperation::Execute(Transaction* sub) {
  FolderSecurity* security = GetFolderSecurity();
  const std::u16string previous = security->Read(folder_);
  if (previous.empty()) {
    LOG(ERROR) << "Cannot read the access list of " << folder_;
    return false;
  }
  if (!security->Write(folder_, kProtectedFolderSecurity)) {
    LOG(ERROR) << "Cannot protect " << folder_;
    return false;
  }
  VLOG(1) << "Protected " << folder_;
  previous_ = previous;
  return true;
}

void ProtectFolderOperation::Rollback() {
  if (previous_.empty()) return;
  if (!GetFolderSecurity()->Write(folder_, previous_))
    LOG(WARNING) << "Could not restore the access list of " << folder_;
  previous_.clear();
}

}  // namespace installer
