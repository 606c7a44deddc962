#include "desktop/windows/installer/service/transactions/copy_file_operation.h"

#include <windows.h>

#include <utility>

#include "base/files/file_util.h"
#include "base/files/folder_walk_win.h"
#include "base/files/open_without_links_win.h"
#include "base/logging.h"
#include "base/strings/string_number_conversions.h"
#include "base/time/time.h"
#include "base/win/scoped_handle.h"
#include "desktop/windows/installer/service/transactions/file_operation_helpers.h"
#include "desktop/windows/installer/service/transactions/transaction.h"

namespace installer {

namespace {

constexpr char16_t kAsideExtension[] = u".old";
// Aside names tried before the replacement gives up on one rename.
constexpr int kMaxAsideNames = 100;

internal::BeforeReplaceHookForTesting g_before_replace_hook = nullptr;
internal::BeforeReplaceHookForTesting g_between_renames_hook = nullptr;

// "<path>.<seconds since 1970>.old", or the next higher number that no
// entry takes; empty when none is free.
base::FilePath FreeAsideName(const base::FilePath& path) {
  const int64_t now = base::Time::Now().ToTimeT();
  for (int64_t seconds = now; seconds < now + kMaxAsideNames; ++seconds) {
    const base::FilePath aside =
        path.AddExtension(base::Int64ToString16(seconds) + kAsideExtension);
    if (!base::PathExists(aside)) return aside;
  }
  return base::FilePath();
}

// Renames |from| to |to|; both reached without a link on the way.
bool Rename(const base::FilePath& from, const base::FilePath& to,
            bool replace) {
  return base::MoveWithoutLinks(from.value(), to.value(), replace);
}

void LogCopyFailure(const base::FilePath& source,
                    const base::FilePath& destination) {
  // The system's reason (a full disk, a file held by another) is what
  // tells the user what to do about it.
  const logging::SystemErrorCode error = logging::GetLastSystemErrorCode();
  LOG(ERROR) << "File copy failed: " << source << " to " << destination << ": "
             << (error == ERROR_CANT_ACCESS_FILE
                     ? "a link on the way leads elsewhere"
                     : logging::SystemErrorCodeToString(error));
}

// Copies |source| into the new file opened as |into|, on disk before it
// takes another file's place; false, with the last error set, when it
// cannot.
bool CopyInto(const base::FilePath& source, HANDLE into) {
  const HANDLE from = base::OpenWithoutLinks(source.value(), GENERIC_READ,
                                             FILE_SHARE_READ, OPEN_EXISTING);
  if (from == INVALID_HANDLE_VALUE) return false;
  base::win::ScopedHandle held(from);
  return base::CopyOpenedFile(from, into) && ::FlushFileBuffers(into) != 0;
}

}  // namespace

CopyFileOperation::CopyFileOperation(const base::FilePath& source,
                                     const base::FilePath& destination,
                                     std::weak_ptr<HeldFolders> held_folders,
                                     NewFile new_file)
    : source_(source),
      destination_(destination),
      held_folders_(std::move(held_folders)),
      new_file_(new_file) {}

CopyFileOperation::~CopyFileOperation() {
  if (!replaced_) return;
  VLOG(1) << "Actual removal of the file " << destination_ << " replaced";
  DeleteNowOrAtRestart(kept_, false);
  DeleteNowOrAtRestart(moved_aside_, false);
}

bool CopyFileOperation::Execute(Transaction* sub) {
  switch (CopyThroughHeldFolders(sub)) {
    case HeldMove::kDone:
      completed_ = true;
      return true;
    case HeldMove::kFailed:
      break;
    case HeldMove::kByPath:
      if (ClearReadOnlyAttribute(source_)) cleared_read_only_ = true;
      if (CopyByPath(sub)) return true;
      break;
  }
  // The rollback of |sub| that follows may remove a folder it made.
  if (const std::shared_ptr<HeldFolders> held = held_folders_.lock())
    held->LetGoOnTheWay(destination_);
  return false;
}

bool CopyFileOperation::CopyByPath(Transaction* sub) {
  if (base::PathExists(destination_) && !base::DirectoryExists(destination_) &&
      !base::IsLink(destination_)) {
    switch (ReplaceExisting()) {
      case Replacement::kDone:
        completed_ = true;
        return true;
      case Replacement::kFailed:
        return false;
      case Replacement::kNotInOneStep:
        break;
    }
  }
  if (!PrepareDestination(destination_, sub)) return false;
  VLOG(1) << "Copying " << source_ << " to " << destination_;
  if (new_file_ == NewFile::kWhole) {
    const base::win::ScopedHandle from(
        base::OpenWithoutLinks(source_.value(), GENERIC_READ, FILE_SHARE_READ,
                               OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN));
    if (!from.IsValid() || CopyWhole(from.Get(), nullptr) != HeldMove::kDone) {
      LogCopyFailure(source_, destination_);
      return false;
    }
  } else if (!base::CopyFileWithoutLinks(source_.value(),
                                         destination_.value())) {
    LogCopyFailure(source_, destination_);
    return false;
  }
  VLOG(1) << "File copied successfully";
  completed_ = true;
  return true;
}

HeldMove CopyFileOperation::CopyWhole(HANDLE from, HANDLE folder) {
  std::u16string temp_name;
  const base::win::ScopedHandle into(base::CreateTemporaryFileWithoutLinks(
      destination_.DirName().value(), &temp_name,
      base::TemporaryFilePrefixFor(destination_)));
  if (!into.IsValid()) return HeldMove::kByPath;
  const base::FilePath temp(temp_name);
  VLOG(1) << "Copying " << source_ << " to " << temp << " to become "
          << destination_;
  // On disk before it takes the name that starts it.
  if (base::CopyOpenedFile(from, into.Get()) &&
      ::FlushFileBuffers(into.Get())) {
    if (g_before_replace_hook) g_before_replace_hook(temp, destination_);
    if (folder ? base::RenameOpenedInto(into.Get(), folder,
                                        destination_.BaseName().value(), false)
               : base::RenameOpened(into.Get(), destination_.value(), false)) {
      return HeldMove::kDone;
    }
  }
  const DWORD error = ::GetLastError();
  base::DeleteOpened(into.Get());
  ::SetLastError(error);
  return HeldMove::kFailed;
}

HeldMove CopyFileOperation::CopyThroughHeldFolders(Transaction* sub) {
  const std::shared_ptr<HeldFolders> held = held_folders_.lock();
  base::FilePath to;
  base::FolderWalk* const target_walk =
      held ? held->Find(destination_, &to) : nullptr;
  if (!target_walk) return HeldMove::kByPath;
  base::FilePath relative;
  base::FolderWalk* const source_walk = held->Find(source_, &relative);
  constexpr DWORD kAccess = GENERIC_READ | FILE_WRITE_ATTRIBUTES;
  const base::win::ScopedHandle from(
      source_walk
          ? source_walk->OpenFile(relative, kAccess, FILE_SHARE_READ,
                                  OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN)
          : base::OpenWithoutLinks(source_.value(), kAccess, FILE_SHARE_READ,
                                   OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN));
  if (!from.IsValid()) return HeldMove::kByPath;
  if (ClearReadOnlyAttributeOpened(from.Get(), source_))
    cleared_read_only_ = true;
  HANDLE folder = nullptr;
  const HeldMove reached =
      ReachHeldParent(target_walk, to, destination_, sub, &folder);
  if (reached != HeldMove::kDone) return reached;
  if (new_file_ == NewFile::kWhole) {
    // An existing destination is left to the road by path, which replaces
    // it in one rename.
    if (base::PathExists(destination_)) return HeldMove::kByPath;
    const HeldMove copied = CopyWhole(from.Get(), folder);
    if (copied == HeldMove::kFailed) LogCopyFailure(source_, destination_);
    return copied;
  }
  // Made new: an existing destination, or a link there, fails and is left
  // to the road by path.
  const base::win::ScopedHandle into(
      target_walk->OpenFile(to, GENERIC_WRITE | DELETE | FILE_WRITE_ATTRIBUTES,
                            0, CREATE_NEW, FILE_FLAG_SEQUENTIAL_SCAN));
  if (!into.IsValid()) return HeldMove::kByPath;
  VLOG(1) << "Copying " << source_ << " to " << destination_
          << " through held folders";
  if (!base::CopyOpenedFile(from.Get(), into.Get())) {
    LogCopyFailure(source_, destination_);
    base::DeleteOpened(into.Get());
    return HeldMove::kFailed;
  }
  return HeldMove::kDone;
}

CopyFileOperation::Replacement CopyFileOperation::ReplaceExisting() {
  // Made new, written and renamed into place through one handle: nothing
  // but this run's copy can take the destination's name. Named after the
  // destination, so that what a run ended here leaves is told from a
  // user's "<hex>.tmp".
  std::u16string temp_name;
  base::win::ScopedHandle temp_file;
  {
    const HANDLE made = base::CreateTemporaryFileWithoutLinks(
        destination_.DirName().value(), &temp_name,
        base::TemporaryFilePrefixFor(destination_));
    if (made == INVALID_HANDLE_VALUE) {
      PLOG(WARNING) << "No temporary file beside " << destination_;
      return Replacement::kNotInOneStep;
    }
    temp_file.Set(made);
  }
  const base::FilePath temp(temp_name);
  VLOG(1) << "Copying " << source_ << " to " << temp << " to replace "
          << destination_;
  if (!CopyInto(source_, temp_file.Get())) {
    LogCopyFailure(source_, destination_);
    base::DeleteOpened(temp_file.Get());
    return Replacement::kFailed;
  }
  kept_ = FreeAsideName(destination_);
  // A copy, not a second name: a running program's other names cannot be
  // deleted while it runs, and the launcher that a later uninstallation
  // runs from is one.
  if (kept_.empty() ||
      !base::CopyFileWithoutLinks(destination_.value(), kept_.value())) {
    PLOG(WARNING) << "Cannot keep " << destination_ << " as " << kept_;
    kept_ = base::FilePath();
    base::DeleteOpened(temp_file.Get());
    return Replacement::kNotInOneStep;
  }
  if (g_before_replace_hook) g_before_replace_hook(temp, destination_);
  if (base::RenameOpened(temp_file.Get(), destination_.value(), true)) {
    VLOG(1) << "File replaced; the old one is kept as " << kept_;
    replaced_ = true;
    return Replacement::kDone;
  }
  const logging::SystemErrorCode error = logging::GetLastSystemErrorCode();
  // A program that runs cannot be replaced, but it can move: the new file,
  // whole already, then takes its place.
  moved_aside_ = FreeAsideName(destination_);
  if (!moved_aside_.empty() && Rename(destination_, moved_aside_, false)) {
    if (g_between_renames_hook) g_between_renames_hook(temp, destination_);
    if (base::RenameOpened(temp_file.Get(), destination_.value(), false)) {
      VLOG(1) << "File replaced; the old one moved to " << moved_aside_;
      replaced_ = true;
      return Replacement::kDone;
    }
    if (!Rename(moved_aside_, destination_, false))
      PLOG(ERROR) << "Couldn't move " << moved_aside_ << " back";
  }
  moved_aside_ = base::FilePath();
  LOG(WARNING) << "Cannot replace " << destination_
               << " in one step: " << logging::SystemErrorCodeToString(error)
               << "; moving it aside first";
  DeleteNowOrAtRestart(kept_, false);
  kept_ = base::FilePath();
  base::DeleteOpened(temp_file.Get());
  return Replacement::kNotInOneStep;
}

void CopyFileOperation::Rollback() {
  if (replaced_) {
    // A file that cannot go back stays under its aside name, never deleted.
    replaced_ = false;
    if (moved_aside_.empty()) {
      if (!Rename(kept_, destination_, true))
        PLOG(ERROR) << "Couldn't move " << kept_ << " back to " << destination_;
    } else if (base::DeleteWithoutLinks(destination_.value(), false) &&
               Rename(moved_aside_, destination_, false)) {
      DeleteNowOrAtRestart(kept_, false);
    } else {
      PLOG(ERROR) << "Couldn't move " << moved_aside_ << " back to "
                  << destination_;
    }
  } else if (completed_) {
    // The file that stood at the destination comes back with the rollback
    // of the sub-operation that moved it aside.
    base::DeleteWithoutLinks(destination_.value(), false);
  }
  // The source is left as it was found.
  if (cleared_read_only_) RestoreReadOnlyAttribute(source_);
}

namespace internal {

void SetBeforeReplaceHookForTesting(BeforeReplaceHookForTesting hook) {
  g_before_replace_hook = hook;
}

void SetBetweenRenamesHookForTesting(BeforeReplaceHookForTesting hook) {
  g_between_renames_hook = hook;
}

}  // namespace internal

}  // namespace installer
