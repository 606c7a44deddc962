#include "desktop/windows/installer/service/transactions/remake_empty_folder_operation.h"

#include "base/files/file_util.h"
#include "base/files/open_without_links_win.h"
#include "base/logging.h"
#include "base/win/scoped_handle.h"
#include "desktop/windows/installer/service/folder_security_win.h"

namespace installer {

namespace {

// |folder| opened without a link on its path, shared with nobody (|share|
// 0) or as given; invalid with the last error set.
base::win::ScopedHandle OpenFolder(const base::FilePath& folder, DWORD access,
                                   DWORD share) {
  const HANDLE opened =
      base::OpenWithoutLinks(folder.value(), access, share, OPEN_EXISTING);
  return base::win::ScopedHandle(opened == INVALID_HANDLE_VALUE ? nullptr
                                                                : opened);
}

// The volume and index of what |handle| opened; false when unknown.
bool GetIdentity(HANDLE handle, DWORD* volume, uint64_t* index) {
  BY_HANDLE_FILE_INFORMATION info = {};
  if (!GetFileInformationByHandle(handle, &info)) return false;
  *volume = info.dwVolumeSerialNumber;
  *index =
      (static_cast<uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
  return true;
}

// The access list of |descriptor| alone, kept from inheriting: a folder
// made with it has the entries the folder it was read from had, whoever
// makes it, and none its parent would pass on besides.
std::u16string ListKeptAsItWas(const std::u16string& descriptor) {
  const size_t list = descriptor.find(u"D:");
  if (list == std::u16string::npos) return std::u16string();
  std::u16string kept = descriptor.substr(list);
  if (kept.compare(2, 1, u"P") != 0) kept.insert(2, u"P");
  return kept;
}

}  // namespace

RemakeEmptyFolderOperation::RemakeEmptyFolderOperation(
    const base::FilePath& folder, const std::u16string& descriptor)
    : folder_(folder), descriptor_(descriptor) {}

RemakeEmptyFolderOperation::~RemakeEmptyFolderOperation() = default;

bool RemakeEmptyFolderOperation::Execute(Transaction* sub) {
  // For a rollback, which puts back a folder as it was.
  previous_ = GetFolderSecurity()->Read(folder_);
  if (previous_.empty()) {
    LOG(ERROR) << "Cannot take " << folder_ << ": its list does not read";
    return false;
  }
  {
    // No sharing at all: a handle anyone holds with access to the folder's
    // contents, or to delete it, makes the open fail.
    base::win::ScopedHandle held = OpenFolder(
        folder_, DELETE | FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES, 0);
    if (!held.IsValid()) {
      PLOG(ERROR) << "Cannot take " << folder_ << " alone";
      return false;
    }
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
  base::win::ScopedHandle made =
      OpenFolder(folder_, FILE_READ_ATTRIBUTES,
                 FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE);
  made_ =
      made.IsValid() && GetIdentity(made.Get(), &made_volume_, &made_index_);
  VLOG(1) << "Made " << folder_ << " anew for all users";
  return true;
}

void RemakeEmptyFolderOperation::Rollback() {
  if (!removed_) return;
  removed_ = false;
  if (base::PathExists(folder_)) {
    // Only the folder made here goes, and only while empty: one another
    // made at the name meanwhile is theirs, and nothing is put back.
    base::win::ScopedHandle made = OpenFolder(
        folder_, DELETE | FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES, 0);
    DWORD volume = 0;
    uint64_t index = 0;
    if (!made_ || !made.IsValid() ||
        !GetIdentity(made.Get(), &volume, &index) || volume != made_volume_ ||
        index != made_index_ || !base::DeleteOpened(made.Get())) {
      PLOG(WARNING) << "Leaving " << folder_
                    << " as it is: it is not the empty folder made there";
      return;
    }
  }
  if (!GetFolderSecurity()->Create(folder_, ListKeptAsItWas(previous_)))
    PLOG(WARNING) << "Could not put the empty folder " << folder_ << " back";
}

}  // namespace installer
