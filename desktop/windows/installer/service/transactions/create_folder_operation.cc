#include "desktop/windows/installer/service/transactions/create_folder_operation.h"

#include <windows.h>

#include <vector>

#include "base/files/file_util.h"
#include "base/files/open_without_links_win.h"
#include "base/logging.h"
#include "desktop/windows/installer/service/folder_security_win.h"

namespace installer {

CreateFolderOperation::CreateFolderOperation(const base::FilePath& path,
                                             const std::u16string& descriptor)
    : path_(path), descriptor_(descriptor) {}

CreateFolderOperation::~CreateFolderOperation() = default;

bool CreateFolderOperation::Execute(Transaction* sub) {
  VLOG(1) << "Attempting to create folder " << path_;
  if (base::DirectoryExists(path_)) return IsUsable();
  base::FilePath child = path_;
  for (base::FilePath candidate = child.DirName(); candidate != child;
       child = candidate, candidate = child.DirName()) {
    if (!base::DirectoryExists(candidate)) continue;
    VLOG(1) << "Valid ancestor";
    // Recorded first: levels made before a failure are removed by the
    // rollback that follows it.
    nearest_existing_ancestor_ = candidate;
    if (!CreateLevels(candidate)) break;
    VLOG(1) << "Folder created successfully";
    return true;
  }
  LOG(ERROR) << "Failed folder creation";
  return false;
}

bool CreateFolderOperation::IsUsable() const {
  // One that is there already counts as made only when it is what its path
  // names, and, where it must have a list, when it lets nobody else change
  // what it holds: it may have been made by another since it was found
  // missing.
  const HANDLE folder = base::OpenWithoutLinks(
      path_.value(), FILE_READ_ATTRIBUTES,
      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, OPEN_EXISTING);
  if (folder == INVALID_HANDLE_VALUE) {
    PLOG(ERROR) << "Not using the folder " << path_
                << ": a link on its path leads elsewhere";
    return false;
  }
  CloseHandle(folder);
  if (!descriptor_.empty() &&
      LetsOthersChange(GetFolderSecurity()->Read(path_))) {
    LOG(ERROR) << "Not using the folder " << path_
               << ": other users may change it";
    return false;
  }
  VLOG(1) << "Folder already exists";
  return true;
}

bool CreateFolderOperation::CreateLevels(const base::FilePath& ancestor) {
  // Every level gets the list: whoever could change a level above could
  // move the folder away and put another in its place. Each is made in the
  // level above, reached without a link on the way.
  std::vector<base::FilePath> levels;
  for (base::FilePath level = path_; level != ancestor; level = level.DirName())
    levels.push_back(level);
  for (auto level = levels.rbegin(); level != levels.rend(); ++level) {
    const bool made =
        descriptor_.empty()
            ? base::CreateFolderWithoutLinks(level->value(), nullptr)
            : GetFolderSecurity()->Create(*level, descriptor_);
    if (!made) {
      PLOG(ERROR) << "Cannot create the folder " << *level;
      return false;
    }
  }
  return true;
}

void CreateFolderOperation::Rollback() {
  if (nearest_existing_ancestor_.empty()) return;
  // Only empty folders go: anything put into them since stays, and so do
  // the folders that hold it. Levels a failed creation never made are
  // skipped.
  for (base::FilePath folder = path_; folder != nearest_existing_ancestor_;) {
    if (!base::DeleteEmptyFolderWithoutLinks(folder.value()) &&
        base::PathExists(folder)) {
      return;
    }
    const base::FilePath parent = folder.DirName();
    if (parent == folder) return;
    folder = parent;
  }
}

}  // namespace installer
