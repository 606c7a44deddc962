#include "desktop/windows/installer/service/transactions/file_operation_helpers.h"

#include <windows.h>

#include <atomic>
#include <memory>

#include "base/files/file_util.h"
#include "base/files/folder_walk_win.h"
#include "base/files/open_without_links_win.h"
#include "base/files/system_path_win.h"
#include "base/logging.h"
#include "base/win/scoped_handle.h"
#include "desktop/windows/installer/service/transactions/create_folder_operation.h"
#include "desktop/windows/installer/service/transactions/delete_file_operation.h"
#include "desktop/windows/installer/service/transactions/transaction.h"

namespace installer {

HeldFolders::HeldFolders() = default;
HeldFolders::~HeldFolders() = default;

void HeldFolders::Add(const base::FilePath& root) {
  auto walk = std::make_unique<base::FolderWalk>(root);
  if (walk->IsValid()) walks_.push_back(std::move(walk));
}

base::FolderWalk* HeldFolders::Find(const base::FilePath& path,
                                    base::FilePath* relative) const {
  base::FolderWalk* found = nullptr;
  size_t found_size = 0;
  const std::u16string& text = path.value();
  for (const std::unique_ptr<base::FolderWalk>& walk : walks_) {
    const std::u16string& root = walk->root().value();
    // The deepest root that holds it, with a name below it.
    if (root.size() < found_size || text.size() <= root.size() + 1 ||
        !base::FilePath::IsSeparator(text[root.size()]) ||
        !base::PathsEqualIgnoringCase(text.substr(0, root.size()), root)) {
      continue;
    }
    found = walk.get();
    found_size = root.size();
  }
  if (found) *relative = base::FilePath(text.substr(found_size + 1));
  return found;
}

void HeldFolders::LetGoOnTheWay(const base::FilePath& path) const {
  base::FilePath relative;
  base::FolderWalk* const walk = Find(path, &relative);
  if (!walk) return;
  std::vector<std::u16string> names;
  relative.GetComponents(&names);
  if (names.size() > 1) walk->LetGo(base::FilePath(names.front()));
}

base::FilePath HeldParentOf(const base::FilePath& relative) {
  const base::FilePath parent = relative.DirName();
  return parent == base::FilePath(u".") ? base::FilePath() : parent;
}

HeldMove ReachHeldParent(base::FolderWalk* walk, const base::FilePath& relative,
                         const base::FilePath& path, Transaction* sub,
                         HANDLE* folder) {
  const base::FilePath parent = HeldParentOf(relative);
  *folder = walk->Folder(parent, false);
  if (*folder) return HeldMove::kDone;
  const DWORD error = ::GetLastError();
  if (error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND)
    return HeldMove::kByPath;
  if (!Transaction::RunOperation(
          sub, std::make_unique<CreateFolderOperation>(path.DirName()))) {
    return HeldMove::kFailed;
  }
  *folder = walk->Folder(parent, false);
  return *folder ? HeldMove::kDone : HeldMove::kByPath;
}

base::win::ScopedHandle OpenToMoveInHeldFolder(base::FolderWalk* walk,
                                               const base::FilePath& relative,
                                               DWORD access) {
  base::win::ScopedHandle file(walk->OpenFile(
      relative, access, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING, 0));
  FILE_BASIC_INFO basic = {};
  if (!file.IsValid() ||
      !::GetFileInformationByHandleEx(file.Get(), FileBasicInfo, &basic,
                                      sizeof(basic)) ||
      (basic.FileAttributes & FILE_ATTRIBUTE_READONLY)) {
    return base::win::ScopedHandle();
  }
  return file;
}

bool PrepareDestination(const base::FilePath& destination, Transaction* sub) {
  const base::FilePath folder = destination.DirName();
  if (!base::DirectoryExists(folder)) {
    return Transaction::RunOperation(
        sub, std::make_unique<CreateFolderOperation>(folder));
  }
  if (base::PathExists(destination)) {
    // The old file comes back when the sub-operation is rolled back.
    return Transaction::RunOperation(
        sub, std::make_unique<DeleteFileOperation>(destination, false, false));
  }
  return true;
}

namespace {

std::atomic<bool> g_delete_at_restart_allowed{true};

// Sets or clears the read-only bit of the file |entry| holds (with
// FILE_READ_ATTRIBUTES and FILE_WRITE_ATTRIBUTES). False when it was not
// changed.
bool SetReadOnlyOpened(HANDLE entry, bool read_only) {
  FILE_BASIC_INFO info = {};
  if (!GetFileInformationByHandleEx(entry, FileBasicInfo, &info,
                                    sizeof(info)) ||
      ((info.FileAttributes & FILE_ATTRIBUTE_READONLY) != 0) == read_only) {
    return false;
  }
  info.FileAttributes ^= FILE_ATTRIBUTE_READONLY;
  if (info.FileAttributes == 0) info.FileAttributes = FILE_ATTRIBUTE_NORMAL;
  // Zero times leave the times as they are.
  info.CreationTime.QuadPart = info.LastAccessTime.QuadPart =
      info.LastWriteTime.QuadPart = info.ChangeTime.QuadPart = 0;
  return SetFileInformationByHandle(entry, FileBasicInfo, &info,
                                    sizeof(info)) != 0;
}

// The same for |path|, reached without a link on the way.
bool SetReadOnly(const base::FilePath& path, bool read_only) {
  const HANDLE opened = base::OpenWithoutLinks(
      path.value(), FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES,
      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, OPEN_EXISTING);
  if (opened == INVALID_HANDLE_VALUE) return false;
  const base::win::ScopedHandle entry(opened);
  return SetReadOnlyOpened(entry.Get(), read_only);
}

}  // namespace

bool ClearReadOnlyAttribute(const base::FilePath& path) {
  const DWORD attributes = GetFileAttributesW(base::SystemPathArg(path));
  if (attributes == INVALID_FILE_ATTRIBUTES ||
      !(attributes & FILE_ATTRIBUTE_READONLY)) {
    return false;
  }
  if (!SetReadOnly(path, false)) {
    LOG(ERROR) << "Couldn't clear RO attribute of " << path;
    return false;
  }
  return true;
}

bool ClearReadOnlyAttributeOpened(HANDLE file, const base::FilePath& path) {
  FILE_BASIC_INFO info = {};
  if (!GetFileInformationByHandleEx(file, FileBasicInfo, &info, sizeof(info)) ||
      !(info.FileAttributes & FILE_ATTRIBUTE_READONLY)) {
    return false;
  }
  if (!SetReadOnlyOpened(file, false)) {
    LOG(ERROR) << "Couldn't clear RO attribute of " << path;
    return false;
  }
  return true;
}

void RestoreReadOnlyAttribute(const base::FilePath& path) {
  SetReadOnly(path, true);
}

void SetDeleteAtRestartAllowed(bool allowed) {
  g_delete_at_restart_allowed = allowed;
}

bool IsDeleteAtRestartAllowed() { return g_delete_at_restart_allowed; }

void DeleteNowOrAtRestart(const base::FilePath& path, bool recursive) {
  if (path.empty() || base::DeleteWithoutLinks(path.value(), recursive) ||
      ::GetLastError() == ERROR_CANT_ACCESS_FILE) {
    return;
  }
  if (!IsDeleteAtRestartAllowed()) {
    PLOG(WARNING) << "Leaving " << path
                  << ": it cannot be deleted now, and others may change "
                     "its folder before a restart would delete it";
    return;
  }
  MoveFileExW(base::SystemPathArg(path), nullptr,
              MOVEFILE_DELAY_UNTIL_REBOOT | MOVEFILE_REPLACE_EXISTING);
}

}  // namespace installer
