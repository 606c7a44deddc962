#include "desktop/windows/installer/service/transactions/delete_file_operation.h"

#include <windows.h>

#include <utility>

#include "base/files/file_attributes_win.h"
#include "base/files/file_enumerator.h"
#include "base/files/file_util.h"
#include "base/files/folder_walk_win.h"
#include "base/files/open_without_links_win.h"
#include "base/logging.h"
#include "base/strings/string_number_conversions.h"
#include "base/strings/string_util.h"
#include "base/time/time.h"
#include "base/win/scoped_handle.h"
#include "desktop/windows/installer/service/access_control.h"
#include "desktop/windows/installer/service/transactions/file_operation_helpers.h"

namespace installer {

namespace {

// FILE_GENERIC_WRITE | DELETE: what moving the file aside needs.
constexpr uint32_t kWriteAndDeleteAccess = 0x130116;

constexpr char16_t kAsideExtension[] = u".old";

// Images the system keeps open while they run or are loaded.
bool IsExecutableImage(const base::FilePath& path) {
  const std::u16string extension = path.Extension();
  return base::EqualsCaseInsensitiveASCII16(extension, u".exe") ||
         base::EqualsCaseInsensitiveASCII16(extension, u".dll");
}

// |path| itself opened with |access| (a link as itself), or null with the
// last error set: ERROR_CANT_ACCESS_FILE when a link on the way leads
// elsewhere.
HANDLE OpenEntry(const base::FilePath& path, DWORD access) {
  const HANDLE entry = base::OpenEntryWithoutLinks(
      path.value(), access, FILE_SHARE_READ | FILE_SHARE_WRITE);
  return entry == INVALID_HANDLE_VALUE ? nullptr : entry;
}

// Whether |entry|, opened for |path|, is a link or a file with other names
// (or cannot be told apart from one).
bool IsLinkOrOtherName(HANDLE entry, const base::FilePath& path) {
  FILE_STANDARD_INFO standard = {};
  return base::internal::IsLink(
             base::internal::GetOpenedEntryAttributes(entry, path)) ||
         !GetFileInformationByHandleEx(entry, FileStandardInfo, &standard,
                                       sizeof(standard)) ||
         (!standard.Directory && standard.NumberOfLinks != 1);
}

}  // namespace

DeleteFileOperation::DeleteFileOperation(
    const base::FilePath& path, bool check_in_use, bool remove_empty_parents,
    std::weak_ptr<HeldFolders> held_folders)
    : path_(path),
      check_in_use_(check_in_use),
      remove_empty_parents_(remove_empty_parents),
      held_folders_(std::move(held_folders)) {}

DeleteFileOperation::~DeleteFileOperation() {
  if (!moved_ && !delete_in_place_) {
    // The others of its folder may have emptied it all the same.
    if (absent_ && remove_empty_parents_) RemoveEmptyParents();
    return;
  }
  const base::FilePath& removed = moved_ ? aside_path_ : path_;
  if (held_entry_.IsValid() && base::DeleteOpened(held_entry_.Get())) {
    VLOG(1) << "Actual removal of " << removed << " through its handle";
    held_entry_.Close();
  } else {
    // Closed first: it shares no deletion with the road by path.
    held_entry_.Close();
    VLOG(1) << "Actual removal of " << removed;
    DeleteNowOrAtRestart(removed, true);
  }
  if (remove_empty_parents_) RemoveEmptyParents();
}

bool DeleteFileOperation::Execute(Transaction* sub) {
  VLOG(1) << "Preparing file " << path_ << " for removal";
  switch (MoveAsideInHeldFolder()) {
    case HeldMove::kDone:
      return true;
    case HeldMove::kFailed:
      return false;
    case HeldMove::kByPath:
      return MoveAsideByPath();
  }
  return false;
}

HeldMove DeleteFileOperation::MoveAsideInHeldFolder() {
  const std::shared_ptr<HeldFolders> held = held_folders_.lock();
  base::FilePath relative;
  base::FolderWalk* const walk = held ? held->Find(path_, &relative) : nullptr;
  const std::u16string name = path_.BaseName().value();
  // An aside copy stays in place, as the road by path decides.
  if (!walk || IsAsideCopyName(name, nullptr)) return HeldMove::kByPath;
  const HANDLE folder = walk->Folder(HeldParentOf(relative), false);
  if (!folder) return HeldMove::kByPath;
  // The walk takes no link and no file with other names; one whose access
  // is not the user's yet is granted it on the road by path.
  base::win::ScopedHandle entry(
      walk->OpenFile(relative, DELETE | SYNCHRONIZE | READ_CONTROL,
                     FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING, 0));
  if (!entry.IsValid()) return HeldMove::kByPath;
  if (!CanCurrentUserAccessOpenedFile(entry.Get(), kWriteAndDeleteAccess))
    return HeldMove::kByPath;
  const std::u16string aside_name =
      name + u"." + base::Int64ToString16(base::Time::Now().ToTimeT()) +
      kAsideExtension;
  // A taken aside name fails on the road by path, which says so.
  if (!base::RenameOpenedInto(entry.Get(), folder, aside_name, false))
    return HeldMove::kByPath;
  aside_path_ = path_.DirName().Append(aside_name);
  VLOG(1) << "File moved successfully to " << aside_path_
          << " in its held folder";
  moved_ = true;
  if (check_in_use_ && IsExecutableImage(path_) && !IsWritable(entry.Get())) {
    if (base::RenameOpenedInto(entry.Get(), folder, name, false))
      moved_ = false;
    LOG(ERROR) << "File removal failed: " << path_ << " is in use";
    return HeldMove::kFailed;
  }
  held_entry_ = std::move(entry);
  return HeldMove::kDone;
}

bool DeleteFileOperation::MoveAsideByPath() {
  // Every step goes through the entry opened without following a link
  // anywhere on its path: a link planted on the way would make this a
  // deletion, or a grant, of what it points to.
  base::win::ScopedHandle entry(OpenEntry(path_, FILE_READ_ATTRIBUTES));
  if (!entry.IsValid()) {
    const DWORD error = ::GetLastError();
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) {
      VLOG(1) << "File does not exist. Nothing to do";
      absent_ = true;
      return true;
    }
    if (error == ERROR_CANT_ACCESS_FILE) {
      LOG(ERROR) << "Refusing to remove " << path_
                 << ": a link on its path leads elsewhere";
    } else {
      PLOG(ERROR) << "File removal failed: cannot open " << path_;
    }
    return false;
  }
  // A junction or symbolic link is moved aside as itself. Its access is
  // read through it, and no grant ever goes through one, nor to a file
  // with other names, whose list is theirs too.
  if (!IsLinkOrOtherName(entry.Get(), path_) &&
      !CanCurrentUserAccess(path_.value(), SE_FILE_OBJECT,
                            kWriteAndDeleteAccess)) {
    std::unique_ptr<SavedSecurity> no_record;
    if (!GrantCurrentUserAccess(path_.value(), SE_FILE_OBJECT,
                                kWriteAndDeleteAccess, kKeepGrant,
                                &no_record)) {
      LOG(ERROR) << "Cannot obtain proper permissions on the file " << path_;
      return false;
    }
  }
  if (IsAsideCopyName(path_.BaseName().value(), nullptr)) {
    VLOG(1) << path_ << " is an aside copy already: it goes at commit";
    delete_in_place_ = true;
    return true;
  }
  aside_path_ = path_.AddExtension(
      base::Int64ToString16(base::Time::Now().ToTimeT()) + kAsideExtension);
  if (base::PathExists(aside_path_)) {
    LOG(ERROR) << "Temporary file with name" << aside_path_ << "already exists";
    return false;
  }
  // Opened anew with the access the grant gave; checked anew.
  entry.Close();
  entry.Set(OpenEntry(path_, DELETE | SYNCHRONIZE));
  if (!entry.IsValid() ||
      !base::RenameOpened(entry.Get(), aside_path_.value(), false)) {
    PLOG(ERROR) << "File removal failed: " << path_
                << " cannot be moved aside to " << aside_path_;
    return false;
  }
  VLOG(1) << "File moved successfully to " << aside_path_;
  moved_ = true;
  if (check_in_use_ && IsExecutableImage(path_) && !IsWritable(entry.Get())) {
    // When the move back fails too, the rollback that follows a failed
    // Execute() tries once more.
    if (base::RenameOpened(entry.Get(), path_.value(), false)) moved_ = false;
    LOG(ERROR) << "File removal failed: " << path_ << " is in use";
    return false;
  }
  return true;
}

void DeleteFileOperation::Rollback() {
  delete_in_place_ = false;
  absent_ = false;
  if (!moved_) return;
  // Either way nothing is left for the destructor: a file that cannot be
  // moved back stays under its aside name rather than being deleted.
  moved_ = false;
  // Back by the path, whose folder the move holds while the name changes.
  held_entry_.Close();
  if (!base::MoveWithoutLinks(aside_path_.value(), path_.value(), false))
    PLOG(ERROR) << "Couldn't move " << aside_path_ << " back to " << path_;
}

// static
std::vector<base::FilePath> DeleteFileOperation::FindAsideCopies(
    const base::FilePath& path) {
  std::vector<base::FilePath> copies;
  const std::u16string name = path.BaseName().value();
  if (name.empty() || name.find_first_of(u"*?") != std::u16string::npos)
    return copies;
  base::FileEnumerator entries(
      path.DirName(), false,
      base::FileEnumerator::FILES | base::FileEnumerator::DIRECTORIES,
      name + u".*" + kAsideExtension);
  for (base::FilePath entry = entries.Next(); !entry.empty();
       entry = entries.Next()) {
    // The pattern also takes "<name>.x.old" and, in its short-name form,
    // other names.
    std::u16string original;
    if (IsAsideCopyName(entry.BaseName().value(), &original) &&
        base::FilePath::CompareIgnoreCase(original, name) == 0) {
      copies.push_back(entry);
    }
  }
  return copies;
}

// static
bool DeleteFileOperation::IsAsideCopyName(const std::u16string& name,
                                          std::u16string* original) {
  if (!base::EndsWith16(name, kAsideExtension,
                        base::CompareCase::INSENSITIVE_ASCII)) {
    return false;
  }
  const size_t end =
      name.size() - std::char_traits<char16_t>::length(kAsideExtension);
  const size_t dot = name.rfind(u'.', end - 1);
  if (dot == std::u16string::npos || dot == 0 || dot + 1 == end) return false;
  // Only the digits of a time make an aside copy's name.
  for (size_t i = dot + 1; i < end; ++i) {
    if (name[i] < u'0' || name[i] > u'9') return false;
  }
  if (original) *original = name.substr(0, dot);
  return true;
}

bool DeleteFileOperation::IsWritable(HANDLE entry) const {
  // A second handle of the moved file itself, whatever its name now leads
  // to.
  base::win::ScopedHandle file(
      ReOpenFile(entry, GENERIC_WRITE, FILE_SHARE_DELETE, 0));
  if (!file.IsValid()) {
    PLOG(ERROR) << "Attempt to open the file for writing failed";
    return false;
  }
  return true;
}

void DeleteFileOperation::RemoveEmptyParents() const {
  // Stops at the first folder that still holds something.
  for (base::FilePath folder = path_.DirName();
       base::PathExists(folder) &&
       base::DeleteEmptyFolderWithoutLinks(folder.value());) {
    const base::FilePath parent = folder.DirName();
    if (parent == folder) return;
    folder = parent;
  }
}

}  // namespace installer
