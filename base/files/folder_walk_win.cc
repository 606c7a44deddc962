#include "base/files/folder_walk_win.h"

#include <iterator>
#include <vector>

#include "base/files/file_attributes_win.h"
#include "base/files/open_without_links_win.h"
#include "base/strings/string_util_win.h"

namespace base {

namespace {

// The names a file system takes for one another: upper case.
std::u16string FoldCase(const std::u16string& text) {
  std::u16string folded = text;
  if (!folded.empty()) {
    ::CharUpperBuffW(as_writable_wcstr(folded),
                     static_cast<DWORD>(folded.size()));
  }
  return folded;
}

bool CloseAnd(HANDLE handle, bool result) {
  const DWORD error = ::GetLastError();
  ::CloseHandle(handle);
  ::SetLastError(error);
  return result;
}

// Removes the entry |handle| made, after it was refused.
void RemoveMade(HANDLE handle) {
  const HANDLE remover = ::ReOpenFile(
      handle, DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
      FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT);
  if (remover == INVALID_HANDLE_VALUE) return;
  DeleteOpened(remover);
  ::CloseHandle(remover);
}

}  // namespace

FolderWalk::FolderWalk(const FilePath& root, bool share_delete)
    : root_(root.StripTrailingSeparators()),
      folder_share_(FILE_SHARE_READ | FILE_SHARE_WRITE |
                    (share_delete ? FILE_SHARE_DELETE : 0)) {
  const HANDLE opened =
      OpenWithoutLinks(root_.value(), FILE_LIST_DIRECTORY | FILE_TRAVERSE,
                       folder_share_, OPEN_EXISTING);
  if (opened == INVALID_HANDLE_VALUE) return;
  FILE_STANDARD_INFO standard = {};
  if (!::GetFileInformationByHandleEx(opened, FileStandardInfo, &standard,
                                      sizeof(standard)) ||
      !standard.Directory) {
    CloseAnd(opened, false);
    ::SetLastError(ERROR_DIRECTORY);
    return;
  }
  auto root_held = std::make_shared<Held>();
  root_held->handle.Set(opened);
  if (GetLinkRule() == LinkRule::kRefuseOnTheWay) {
    root_held->final_path = GetFinalPathOfHandle(opened);
    if (root_held->final_path.empty()) return;
    // A drive's root: its entries follow the separator it ends with.
    if (root_held->final_path.back() == u'\\') root_held->final_path.pop_back();
  }
  held_[std::u16string()] = std::move(root_held);
}

FolderWalk::~FolderWalk() = default;

bool FolderWalk::IsValid() const { return held_.count(std::u16string()) != 0; }

HANDLE FolderWalk::root_handle() const {
  const auto it = held_.find(std::u16string());
  return it == held_.end() ? nullptr : it->second->handle.Get();
}

HANDLE FolderWalk::Folder(const FilePath& relative, bool create) {
  AutoLock hold(lock_);
  const std::shared_ptr<Held> held = Reach(relative, create);
  return held ? held->handle.Get() : nullptr;
}

HANDLE FolderWalk::CreateFolder(const FilePath& relative,
                                void* security_descriptor) {
  AutoLock hold(lock_);
  const std::shared_ptr<Held> parent = Reach(
      relative.DirName() == FilePath(u".") ? FilePath() : relative.DirName(),
      false);
  if (!parent) return nullptr;
  const std::shared_ptr<Held> made =
      OpenLevel(*parent, relative.BaseName().value(), relative, CREATE_NEW,
                security_descriptor);
  return made ? made->handle.Get() : nullptr;
}

HANDLE FolderWalk::OpenFile(const FilePath& relative, DWORD access, DWORD share,
                            DWORD disposition, DWORD flags) {
  std::shared_ptr<Held> parent;
  {
    AutoLock hold(lock_);
    parent = Reach(
        relative.DirName() == FilePath(u".") ? FilePath() : relative.DirName(),
        false);
  }
  if (!parent) return INVALID_HANDLE_VALUE;
  const std::u16string name = relative.BaseName().value();
  // A file made and then refused is removed through a second handle, which
  // the first must let delete.
  const bool may_create = disposition != OPEN_EXISTING;
  const HANDLE file =
      OpenInFolder(parent->handle.Get(), name, access | FILE_READ_ATTRIBUTES,
                   share | (may_create ? FILE_SHARE_DELETE : 0), disposition,
                   (flags & FILE_FLAG_SEQUENTIAL_SCAN) | kOpenAsFile);
  if (file == INVALID_HANDLE_VALUE) return INVALID_HANDLE_VALUE;
  const bool created = may_create && (disposition == CREATE_NEW ||
                                      ::GetLastError() != ERROR_ALREADY_EXISTS);
  std::u16string final_path;
  if (Accept(file, *parent, name, relative, false, &final_path)) return file;
  if (created) RemoveMade(file);
  ::CloseHandle(file);
  ::SetLastError(ERROR_CANT_ACCESS_FILE);
  return INVALID_HANDLE_VALUE;
}

void FolderWalk::LetGo(const FilePath& relative) {
  AutoLock hold(lock_);
  const std::u16string key = FoldCase(relative.value());
  if (key.empty()) return;
  for (auto it = held_.lower_bound(key); it != held_.end();) {
    const bool below =
        it->first.compare(0, key.size(), key) == 0 &&
        (it->first.size() == key.size() || it->first[key.size()] == u'\\');
    if (it->first.compare(0, key.size(), key) != 0) break;
    it = below ? held_.erase(it) : std::next(it);
  }
}

std::shared_ptr<FolderWalk::Held> FolderWalk::Reach(const FilePath& relative,
                                                    bool create) {
  const auto root = held_.find(std::u16string());
  if (root == held_.end()) {
    ::SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  std::vector<std::u16string> names;
  relative.StripTrailingSeparators().GetComponents(&names);
  std::shared_ptr<Held> current = root->second;
  FilePath reached;
  for (const std::u16string& name : names) {
    if (name == u"." || name == u"..") {
      ::SetLastError(ERROR_INVALID_NAME);
      return nullptr;
    }
    reached = reached.empty() ? FilePath(name) : reached.Append(name);
    const auto it = held_.find(FoldCase(reached.value()));
    current = it != held_.end()
                  ? it->second
                  : OpenLevel(*current, name, reached,
                              create ? OPEN_ALWAYS : OPEN_EXISTING, nullptr);
    if (!current) return nullptr;
  }
  return current;
}

std::shared_ptr<FolderWalk::Held> FolderWalk::OpenLevel(
    const Held& parent, const std::u16string& name, const FilePath& relative,
    DWORD disposition, void* descriptor) {
  const bool may_create = disposition != OPEN_EXISTING;
  const HANDLE folder =
      OpenInFolder(parent.handle.Get(), name,
                   FILE_LIST_DIRECTORY | FILE_TRAVERSE | FILE_READ_ATTRIBUTES,
                   folder_share_, disposition, kOpenAsFolder, descriptor);
  if (folder == INVALID_HANDLE_VALUE) {
    // A file where a folder is asked for.
    if (::GetLastError() == ERROR_DIRECTORY ||
        ::GetLastError() == ERROR_INVALID_PARAMETER) {
      ::SetLastError(ERROR_DIRECTORY);
    }
    return nullptr;
  }
  const bool created = may_create && (disposition == CREATE_NEW ||
                                      ::GetLastError() != ERROR_ALREADY_EXISTS);
  auto held = std::make_shared<Held>();
  if (!Accept(folder, parent, name, relative, true, &held->final_path)) {
    if (created) RemoveMade(folder);
    ::CloseHandle(folder);
    ::SetLastError(ERROR_CANT_ACCESS_FILE);
    return nullptr;
  }
  held->handle.Set(folder);
  held_[FoldCase(relative.value())] = held;
  return held;
}

bool FolderWalk::Accept(HANDLE entry, const Held& parent,
                        const std::u16string& name, const FilePath& relative,
                        bool folder, std::u16string* final_path) const {
  FILE_ATTRIBUTE_TAG_INFO tag = {};
  FILE_STANDARD_INFO standard = {};
  if (!::GetFileInformationByHandleEx(entry, FileAttributeTagInfo, &tag,
                                      sizeof(tag)) ||
      !::GetFileInformationByHandleEx(entry, FileStandardInfo, &standard,
                                      sizeof(standard))) {
    return false;
  }
  if (internal::IsLink(internal::WalkAttributes(root_.Append(relative.value()),
                                                tag.FileAttributes,
                                                tag.ReparseTag)) ||
      !standard.Directory != !folder ||
      (!folder && standard.NumberOfLinks != 1)) {
    return false;
  }
  if (parent.final_path.empty()) return true;
  // Where the system cannot open a link as itself it hands back what the
  // link leads to, which it names otherwise.
  *final_path = GetFinalPathOfHandle(entry);
  return PathsEqualIgnoringCase(*final_path, parent.final_path + u"\\" + name);
}

}  // namespace base
