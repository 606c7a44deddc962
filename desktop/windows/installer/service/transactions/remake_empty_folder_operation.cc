#include "desktop/windows/installer/service/transactions/remake_empty_folder_operation.h"

#include <windows.h>

#include "base/files/open_without_links_win.h"
#include "base/logging.h"
#include "base/win/scoped_handle.h"
#include "desktop/windows/installer/service/folder_security_win.h"

namespace installer {

RemakeEmptyFolderOperation::RemakeEmptyFolderOperation(
    const base::FilePath& folder, const std::u16string& descriptor)
    : folder_(folder), descriptor_(descriptor) {}

RemakeEmptyFolderOperation::~RemakeEmptyFolderOperation() = default;

bool RemakeEmptyFolderOperation::Execute(Transaction* sub) {
  {
    // No sharing at all: a handle anyone holds with access to the folder's
    // contents, or to delete it, makes the open fail.
    const HANDLE opened = base::OpenWithoutLinks(
        folder_.value(), DELETE | FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES, 0,
        OPEN_EXISTING);
    if (opened == INVALID_HANDLE_VALUE) {
      PLOG(ERROR) << "Cannot take " << folder_ << " alone";
      return false;
    }
    base::win::ScopedHandle held(opened);
    // The system deletes only an empty folder. Its name is free again at
    // once where the system can do so while others hold it for its list
    // alone; elsewhere the new folder cannot be made until they let go,
    // and the run is refused.
    if (!base::DeleteOpenedNameAtOnce(held.Get())) {
      PLOG(ERROR) << "Cannot remove " << folder_;
      return false;
    }
  }
  removed_ = true;
  if (!GetFolderSecurity()->Create(folder_, descriptor_)) {
    PLOG(ERROR) << "Cannot make " << folder_ << " again";
    return false;
  }
  VLOG(1) << "Made " << folder_ << " anew for all users";
  return true;
}

void RemakeEmptyFolderOperation::Rollback() {
  if (!removed_) return;
  removed_ = false;
  if (!base::DeleteEmptyFolderWithoutLinks(folder_.value()) ||
      !base::CreateFolderWithoutLinks(folder_.value(), nullptr)) {
    PLOG(WARNING) << "Could not put the empty folder " << folder_ << " back";
  }
}

}  // namespace installer
