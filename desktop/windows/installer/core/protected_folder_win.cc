#include "desktop/windows/installer/core/protected_folder_win.h"

#include <stdint.h>
#include <windows.h>
// After windows.h.
#include <sddl.h>

#include <atomic>
#include <iterator>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "base/files/file_enumerator.h"
#include "base/files/file_util.h"
#include "base/files/folder_walk_win.h"
#include "base/files/open_without_links_win.h"
#include "base/logging.h"
#include "base/rand_util.h"
#include "base/strings/string_number_conversions.h"
#include "base/strings/string_util_win.h"
#include "base/strings/utf_string_conversions.h"
#include "base/synchronization/lock.h"
#include "base/threading/parallel_for.h"
#include "base/win/scoped_handle.h"
#include "desktop/windows/installer/common/installer_names.h"
#include "desktop/windows/installer/service/folder_security_win.h"

namespace installer {

namespace {

constexpr int kNameAttempts = 8;
constexpr size_t kRandomBytes = 8;
constexpr DWORD kCopyBufferSize = 256 * 1024;
// Most of a package's files are small: their copy is mostly the system's
// work per file, which a few threads overlap (about twice as fast). Their
// removal likewise.
constexpr size_t kCopyThreads = 4;
constexpr size_t kDeleteThreads = 4;

// How often, and how far apart, a hold is tried while another run's
// clean-up looks at the folder.
constexpr int kHoldAttempts = 50;
constexpr DWORD kHoldRetryMs = 20;

base::FilePath* g_root_for_testing = nullptr;
// Whether the root has been swept of what earlier runs left: once a
// process, before it makes its first folder there.
std::atomic<bool> g_root_swept{false};

base::FilePath GetRoot() {
  if (g_root_for_testing) return *g_root_for_testing;
  // The system's own temporary folder, whatever this process's environment
  // (which the user sets) says.
  wchar_t windows[MAX_PATH] = {};
  const UINT length = GetSystemWindowsDirectoryW(windows, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return base::FilePath();
  return base::FilePath(base::as_u16cstr(windows)).Append(u"Temp");
}

std::u16string NamePrefix() { return GetInstallerFolderName() + u" "; }

bool IsHexDigit(char16_t c) {
  return (c >= u'0' && c <= u'9') || (c >= u'A' && c <= u'F') ||
         (c >= u'a' && c <= u'f');
}

bool IsProtectedFolderName(const std::u16string& name) {
  const std::u16string prefix = NamePrefix();
  if (name.size() != prefix.size() + 2 * kRandomBytes ||
      name.compare(0, prefix.size(), prefix) != 0) {
    return false;
  }
  for (size_t i = prefix.size(); i < name.size(); ++i) {
    if (!IsHexDigit(name[i])) return false;
  }
  return true;
}

// The protected folder that |path| is or lies in, by its name alone; empty
// when there is none.
base::FilePath GetProtectedFolderOf(const base::FilePath& path) {
  const base::FilePath root = GetRoot();
  std::vector<std::u16string> root_components;
  std::vector<std::u16string> components;
  root.StripTrailingSeparators().GetComponents(&root_components);
  path.StripTrailingSeparators().GetComponents(&components);
  if (root.empty() || components.size() <= root_components.size())
    return base::FilePath();
  base::FilePath folder;
  for (size_t i = 0; i <= root_components.size(); ++i) {
    if (i < root_components.size() &&
        base::FilePath::CompareIgnoreCase(components[i], root_components[i]) !=
            0) {
      return base::FilePath();
    }
    folder = folder.Append(components[i]);
  }
  return IsProtectedFolderName(components[root_components.size()])
             ? folder
             : base::FilePath();
}

// The protected folders this process holds, each by a handle that lets it
// list the folder: a folder with such a handle open cannot be opened alone
// (RemoveLeftProtectedFolders), and the handle shares everything, so that
// the holder itself works in it and removes it as it likes.
class HeldFolders {
 public:
  bool Hold(const base::FilePath& folder) {
    base::win::ScopedHandle handle;
    // Another run's clean-up opens each folder alone for a moment to see
    // whether it is held.
    for (int attempt = 0; attempt < kHoldAttempts && !handle.IsValid();
         ++attempt) {
      if (attempt > 0) Sleep(kHoldRetryMs);
      handle.Set(CreateFileW(
          base::as_wcstr(folder.value()), FILE_LIST_DIRECTORY | SYNCHRONIZE,
          FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
          OPEN_EXISTING,
          FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
      if (!handle.IsValid() && GetLastError() != ERROR_SHARING_VIOLATION) break;
    }
    if (!handle.IsValid()) return false;
    base::AutoLock lock(lock_);
    held_.emplace_back(folder, std::move(handle));
    return true;
  }

  void Release(const base::FilePath& folder) {
    base::AutoLock lock(lock_);
    for (auto it = held_.begin(); it != held_.end(); ++it) {
      if (base::FilePath::CompareIgnoreCase(it->first.value(),
                                            folder.value()) == 0) {
        held_.erase(it);
        return;
      }
    }
  }

  bool IsHeld(const base::FilePath& folder) {
    base::AutoLock lock(lock_);
    for (const auto& [path, handle] : held_) {
      if (base::FilePath::CompareIgnoreCase(path.value(), folder.value()) == 0)
        return true;
    }
    return false;
  }

 private:
  base::Lock lock_;
  std::vector<std::pair<base::FilePath, base::win::ScopedHandle>> held_;
};

// Lives as long as the process: its handles are the holds.
HeldFolders& Held() {
  static HeldFolders* held = new HeldFolders;
  return *held;
}

base::win::ScopedHandle Open(const base::FilePath& path, DWORD access,
                             DWORD share) {
  HANDLE handle = base::OpenWithoutLinks(
      path.value(), access, share, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN);
  return base::win::ScopedHandle(handle == INVALID_HANDLE_VALUE ? nullptr
                                                                : handle);
}

bool IsFolder(HANDLE handle) {
  FILE_STANDARD_INFO info = {};
  return GetFileInformationByHandleEx(handle, FileStandardInfo, &info,
                                      sizeof(info)) &&
         info.Directory;
}

uint64_t FromFileTime(const FILETIME& time) {
  return (uint64_t{time.dwHighDateTime} << 32) | time.dwLowDateTime;
}

// The bytes of the opened file |from| into the new file |to| (made, with
// delete access, as |target|), with the time it was last written; into
// |size| and |write_time| what was copied. A copy that fails half-way is
// removed again.
bool CopyOpenedFile(HANDLE from, HANDLE to, const base::FilePath& target,
                    bool log, uint64_t* size, uint64_t* write_time) {
  std::vector<char> buffer(kCopyBufferSize);
  uint64_t copied = 0;
  bool ok = true;
  for (;;) {
    DWORD read = 0;
    if (!ReadFile(from, buffer.data(), kCopyBufferSize, &read, nullptr)) {
      if (log) PLOG(ERROR) << "Cannot read the file copied to " << target;
      ok = false;
      break;
    }
    if (read == 0) break;
    DWORD written = 0;
    if (!WriteFile(to, buffer.data(), read, &written, nullptr) ||
        written != read) {
      if (log) PLOG(ERROR) << "Cannot write " << target;
      ok = false;
      break;
    }
    copied += read;
  }
  if (!ok) {
    base::DeleteOpened(to);
    return false;
  }
  FILETIME written_time = {};
  if (GetFileTime(from, nullptr, nullptr, &written_time))
    SetFileTime(to, nullptr, nullptr, &written_time);
  *size = copied;
  *write_time = FromFileTime(written_time);
  return true;
}

// One file |relative| below the copied folder |source| into the same place
// below |target|, each opened in its folder the walk holds. Not shared for
// writing while it is read: what is copied is what was there when it was
// opened, and a file its writer still holds is not taken.
// |share_deletion| lets its owner remove it meanwhile.
bool CopyFileOnce(base::FolderWalk* source, base::FolderWalk* target,
                  const base::FilePath& relative, bool log, bool share_deletion,
                  uint64_t* size, uint64_t* write_time) {
  base::win::ScopedHandle from(source->OpenFile(
      relative, GENERIC_READ,
      FILE_SHARE_READ | (share_deletion ? FILE_SHARE_DELETE : 0), OPEN_EXISTING,
      FILE_FLAG_SEQUENTIAL_SCAN));
  if (!from.IsValid()) {
    if (log) {
      PLOG(ERROR) << "Cannot take " << source->root().Append(relative.value())
                  << " as it is";
    }
    return false;
  }
  const base::FilePath copy = target->root().Append(relative.value());
  base::win::ScopedHandle to(
      target->OpenFile(relative, GENERIC_WRITE | DELETE, 0, CREATE_NEW, 0));
  if (!to.IsValid()) {
    if (log) PLOG(ERROR) << "Cannot create " << copy;
    return false;
  }
  return CopyOpenedFile(from.Get(), to.Get(), copy, log, size, write_time);
}

// The access list |folder| is found with. Wine, where the peer benchmark
// runs, keeps no list given to a folder, so every protected copy would look
// open to everyone there; a benchmark build finds the list the folder was
// made with, as Windows keeps it.
std::u16string ReadProtectedFolderSecurity(const base::FilePath& folder) {
#if defined(VELNA_BENCH_KEPT_ACCESS_LISTS)
  (void)folder;
  return kProtectedFolderSecurity;
#else
  return GetFolderSecurity()->Read(folder);
#endif
}

// Whether |folder| was left by an installer that has ended: nobody holds
// it (it opens alone), it is a folder reached through no link, and only
// SYSTEM and Administrators may change it. A folder a user made is never
// taken, whatever its name.
bool IsLeftBehind(const base::FilePath& folder) {
  const HANDLE alone = base::OpenWithoutLinks(
      folder.value(), FILE_LIST_DIRECTORY | DELETE, 0, OPEN_EXISTING);
  if (alone == INVALID_HANDLE_VALUE) return false;
  base::win::ScopedHandle held(alone);
  return IsFolder(held.Get()) &&
         !LetsOthersChange(ReadProtectedFolderSecurity(folder));
}

// The protected folders made in a folder named on the command line, each
// with the walk that holds it and every folder above it in place.
class PinnedFolders {
 public:
  void Add(const base::FilePath& folder,
           std::unique_ptr<base::FolderWalk> walk) {
    base::AutoLock lock(lock_);
    pinned_.emplace_back(folder, std::move(walk));
  }

  // The walk of |folder|, which no longer counts as pinned; null when it
  // never did.
  std::unique_ptr<base::FolderWalk> Take(const base::FilePath& folder) {
    base::AutoLock lock(lock_);
    for (auto it = pinned_.begin(); it != pinned_.end(); ++it) {
      if (base::FilePath::CompareIgnoreCase(it->first.value(),
                                            folder.value()) == 0) {
        std::unique_ptr<base::FolderWalk> walk = std::move(it->second);
        pinned_.erase(it);
        return walk;
      }
    }
    return nullptr;
  }

 private:
  base::Lock lock_;
  std::vector<std::pair<base::FilePath, std::unique_ptr<base::FolderWalk>>>
      pinned_;
};

PinnedFolders& Pinned() {
  static PinnedFolders* pinned = new PinnedFolders;
  return *pinned;
}

// The part of |folder| below its drive's root ("C:\\"); false, after an
// error line, for a path on no drive.
bool SplitAtDriveRoot(const base::FilePath& folder, base::FilePath* root,
                      base::FilePath* below) {
  const base::FilePath path = folder.StripTrailingSeparators();
  const size_t drive = base::FilePath::FindDriveLetter(path.value());
  // The drive letter's colon comes second: "C:\\...".
  if (!path.IsAbsolute() || drive != 1 || path.value().size() < 3) {
    LOG(ERROR) << folder << " is no absolute path on a drive";
    return false;
  }
  *root = base::FilePath(path.value().substr(0, 3));
  *below = base::FilePath(path.value().size() > 3 ? path.value().substr(3)
                                                  : std::u16string());
  return true;
}

// Whether |path| leads, through no link, to the folder |folder| holds.
bool LeadsTo(const base::FilePath& path, HANDLE folder) {
  base::win::ScopedHandle found(base::OpenWithoutLinks(
      path.value(), FILE_READ_ATTRIBUTES,
      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, OPEN_EXISTING));
  BY_HANDLE_FILE_INFORMATION a = {};
  BY_HANDLE_FILE_INFORMATION b = {};
  return found.IsValid() && GetFileInformationByHandle(found.Get(), &a) &&
         GetFileInformationByHandle(folder, &b) &&
         a.dwVolumeSerialNumber == b.dwVolumeSerialNumber &&
         a.nFileIndexHigh == b.nFileIndexHigh &&
         a.nFileIndexLow == b.nFileIndexLow;
}

// The serial number of the volume that holds |path|; false when it cannot
// be opened.
bool GetVolumeSerial(const base::FilePath& path, DWORD* serial) {
  base::win::ScopedHandle opened(
      CreateFileW(base::as_wcstr(path.value()), FILE_READ_ATTRIBUTES,
                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                  nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  BY_HANDLE_FILE_INFORMATION info = {};
  if (!opened.IsValid() || !GetFileInformationByHandle(opened.Get(), &info))
    return false;
  *serial = info.dwVolumeSerialNumber;
  return true;
}

}  // namespace

std::u16string NewProtectedFolderName() {
  uint8_t random[kRandomBytes];
  base::RandBytes(random, sizeof(random));
  return NamePrefix() +
         base::UTF8ToUTF16(base::HexEncode(random, kRandomBytes));
}

base::FilePath CreateProtectedFolder() {
  if (!g_root_swept.exchange(true)) RemoveLeftProtectedFolders();
  const base::FilePath root = GetRoot();
  if (root.empty()) {
    LOG(ERROR) << "The system's temporary folder is unknown";
    return base::FilePath();
  }
  for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
    // A name that exists already is never used: its creator may be anyone.
    const base::FilePath folder = root.Append(NewProtectedFolderName());
    // Held at once: until then another run's clean-up may take the empty
    // folder for left behind, and then this one takes another name.
    if (GetFolderSecurity()->Create(folder, kProtectedFolderSecurity) &&
        Held().Hold(folder)) {
      return folder;
    }
  }
  PLOG(ERROR) << "Cannot make a protected folder in " << root;
  return base::FilePath();
}

base::FilePath CreateProtectedFolderIn(const base::FilePath& parent) {
  // Every folder from the drive's root down is held in place; missing ones
  // are made, each below a parent that is held already.
  base::FilePath drive_root;
  base::FilePath below;
  if (!SplitAtDriveRoot(parent, &drive_root, &below)) return base::FilePath();
  auto walk = std::make_unique<base::FolderWalk>(drive_root);
  if (!walk->IsValid() || !walk->Folder(below, true)) {
    PLOG(ERROR) << "Cannot hold the folder " << parent << " in place";
    return base::FilePath();
  }
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(
          base::as_wcstr(kProtectedFolderSecurity), SDDL_REVISION_1,
          &descriptor, nullptr)) {
    PLOG(ERROR) << "Cannot make a protected folder in " << parent;
    return base::FilePath();
  }
  const base::FilePath parent_path = parent.StripTrailingSeparators();
  base::FilePath path;
  for (int attempt = 0; attempt < kNameAttempts && path.empty(); ++attempt) {
    const std::u16string name = NewProtectedFolderName();
    // Made and opened in one step in the held parent, it is this run's own
    // folder whoever else may change the parent.
    const HANDLE folder = walk->CreateFolder(
        below.empty() ? base::FilePath(name) : below.Append(name), descriptor);
    if (!folder) continue;
    path = parent_path.Append(name);
    // A folder on the way that was turned into a link before it held
    // anything would lead the path elsewhere.
    if (!LeadsTo(path, folder)) {
      LOG(ERROR) << path << " does not lead to the folder made there";
      LocalFree(descriptor);
      return base::FilePath();
    }
  }
  LocalFree(descriptor);
  if (path.empty()) {
    PLOG(ERROR) << "Cannot make a protected folder in " << parent;
    return base::FilePath();
  }
  Pinned().Add(path, std::move(walk));
  return path;
}

base::FilePath CreateProtectedFolderOnVolumeOf(const base::FilePath& file) {
  DWORD file_volume = 0;
  DWORD root_volume = 0;
  if (!GetVolumeSerial(file, &file_volume) ||
      !GetVolumeSerial(GetRoot(), &root_volume) || file_volume == root_volume) {
    return CreateProtectedFolder();
  }
  wchar_t volume[MAX_PATH] = {};
  if (!GetVolumePathNameW(base::as_wcstr(file.value()), volume, MAX_PATH)) {
    PLOG(ERROR) << "The volume of " << file << " is unknown";
    return base::FilePath();
  }
  const base::FilePath root(base::as_u16cstr(volume));
  // Whoever may remove what the root holds could put a folder of their own
  // in its place once the folder made there is let go.
  const base::FilePath movable =
      FindParentOthersMayMove(root.Append(NewProtectedFolderName()));
  if (!movable.empty()) {
    LOG(ERROR) << "No protected folder on the volume of " << file
               << ": other users may remove what " << movable << " holds";
    return base::FilePath();
  }
  return CreateProtectedFolderIn(root);
}

bool RemoveProtectedFolder(const base::FilePath& folder) {
  std::unique_ptr<base::FolderWalk> walk = Pinned().Take(folder);
  // Its own handle shares no deletion; the removal holds the tree itself.
  base::FilePath drive_root;
  base::FilePath below;
  if (walk && SplitAtDriveRoot(folder, &drive_root, &below)) walk->LetGo(below);
  const bool removed = base::DeleteFolderTreeInParallel(folder, kDeleteThreads);
  // Let go only now: a held folder that is removed goes with the hold, and
  // no other run can meet it unheld meanwhile.
  Held().Release(folder);
  if (!removed) LOG(WARNING) << "Could not remove " << folder;
  return removed;
}

void ScopedProtectedFolder::Reset(const base::FilePath& folder) {
  if (!folder_.empty()) RemoveProtectedFolder(folder_);
  folder_ = folder;
}

int RemoveLeftProtectedFolders() {
  const base::FilePath root = GetRoot();
  if (root.empty()) return 0;
  std::vector<base::FilePath> found;
  base::FileEnumerator folders(root, false, base::FileEnumerator::DIRECTORIES,
                               NamePrefix() + u"*");
  for (base::FilePath folder = folders.Next(); !folder.empty();
       folder = folders.Next()) {
    if (IsProtectedFolderName(folder.BaseName().value()) &&
        !Held().IsHeld(folder)) {
      found.push_back(folder);
    }
  }
  int removed = 0;
  for (const base::FilePath& folder : found) {
    if (!IsLeftBehind(folder)) continue;
    if (base::DeleteFolderTreeInParallel(folder, kDeleteThreads)) {
      LOG(INFO) << "Removed a protected folder that an earlier run left: "
                << folder;
      ++removed;
    } else {
      LOG(WARNING) << "Could not remove the protected folder " << folder
                   << " that an earlier run left";
    }
  }
  return removed;
}

void HoldProtectedFolderOf(const base::FilePath& program) {
  const base::FilePath folder = GetProtectedFolderOf(program.DirName());
  if (!folder.empty() && !Held().IsHeld(folder)) Held().Hold(folder);
}

bool IsInProtectedFolder(const base::FilePath& folder) {
  const base::FilePath protected_folder = GetProtectedFolderOf(folder);
  return !protected_folder.empty() &&
         !LetsOthersChange(ReadProtectedFolderSecurity(protected_folder));
}

bool CopyFolderWithoutLinks(const base::FilePath& source,
                            const base::FilePath& target) {
  return FolderCopyWhileFilled(source, target).Finish();
}

FolderCopyWhileFilled::FolderCopyWhileFilled(
    const base::FilePath& source, const base::FilePath& target,
    std::set<std::u16string> written_later)
    : source_(source),
      target_(target),
      written_later_(std::move(written_later)) {}

FolderCopyWhileFilled::~FolderCopyWhileFilled() = default;

size_t FolderCopyWhileFilled::CopyLetGoFiles() {
  size_t copied_files = 0;
  CopyPass(false, &copied_files);
  return copied_files;
}

bool FolderCopyWhileFilled::Finish() {
  size_t copied_files = 0;
  return CopyPass(true, &copied_files);
}

bool FolderCopyWhileFilled::CopyPass(bool final_pass, size_t* copied_files) {
  const bool log = final_pass;
  // Early passes let the folders they list be removed or renamed.
  const DWORD folder_share =
      FILE_SHARE_READ | FILE_SHARE_WRITE | (final_pass ? 0 : FILE_SHARE_DELETE);
  // Every path below is spelled from where the source really is, and every
  // file opened there must be found at its spelled path.
  base::win::ScopedHandle root =
      Open(source_, FILE_LIST_DIRECTORY, folder_share);
  if (!root.IsValid() || !IsFolder(root.Get())) {
    if (log) PLOG(ERROR) << "Cannot take the folder " << source_ << " as it is";
    return false;
  }
  const base::FilePath real_source(base::GetFinalPathOfHandle(root.Get()));
  BY_HANDLE_FILE_INFORMATION identity = {};
  if (real_source.empty() ||
      !GetFileInformationByHandle(root.Get(), &identity)) {
    if (log) PLOG(ERROR) << "Cannot take the folder " << source_ << " as it is";
    return false;
  }
  const uint64_t index =
      (uint64_t{identity.nFileIndexHigh} << 32) | identity.nFileIndexLow;
  if (source_known_ && (source_volume_ != identity.dwVolumeSerialNumber ||
                        source_index_ != index)) {
    // Nothing copied so far came from this folder: a size no file has makes
    // each copy count as changed, to be replaced or removed.
    for (auto& copied : copied_) copied.second.size = UINT64_MAX;
  }
  source_known_ = true;
  source_volume_ = identity.dwVolumeSerialNumber;
  source_index_ = index;
  struct Listed {
    base::FilePath relative;
    Copied found;
  };
  // Every folder is held open (and so kept in its place) until the pass's
  // files are copied, which happens once the whole tree is known; each is
  // opened in the one above it. The copy's folders are this run's own: they
  // may go in the final pass while held.
  base::FolderWalk source(real_source, !final_pass);
  base::FolderWalk target(target_, true);
  if (!source.IsValid() || !target.IsValid()) {
    if (log) PLOG(ERROR) << "Cannot take the folder " << source_ << " as it is";
    return false;
  }
  std::vector<Listed> files;
  std::set<std::u16string> listed_folders;
  std::vector<base::FilePath> pending = {base::FilePath()};
  while (!pending.empty()) {
    const base::FilePath relative = pending.back();
    pending.pop_back();
    const base::FilePath folder =
        relative.empty() ? real_source : real_source.Append(relative.value());
    if (!source.Folder(relative, false)) {
      if (log)
        PLOG(ERROR) << "Cannot take the folder " << folder << " as it is";
      return false;
    }
    WIN32_FIND_DATAW entry = {};
    HANDLE find = FindFirstFileExW(
        base::as_wcstr(folder.Append(u"*").value()), FindExInfoBasic, &entry,
        FindExSearchNameMatch, nullptr, FIND_FIRST_EX_LARGE_FETCH);
    if (find == INVALID_HANDLE_VALUE) {
      if (log) PLOG(ERROR) << "Cannot list " << folder;
      return false;
    }
    bool listed = true;
    do {
      const std::u16string name(base::as_u16cstr(entry.cFileName));
      if (name == u"." || name == u"..") continue;
      const base::FilePath child =
          relative.empty() ? base::FilePath(name) : relative.Append(name);
      if (entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) {
        if (log)
          LOG(ERROR) << "The package holds a link: " << folder.Append(name);
        listed = false;
      } else if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        listed_folders.insert(child.value());
        if (folders_.count(child.value()) == 0) {
          const base::FilePath copy = target_.Append(child.value());
          // Inherits the protected folder's access list.
          listed = target.CreateFolder(child, nullptr) != nullptr;
          if (listed) {
            folders_.insert(child.value());
          } else if (log) {
            PLOG(ERROR) << "Cannot create " << copy;
          }
        }
        pending.push_back(child);
      } else {
        Copied found;
        found.size = (uint64_t{entry.nFileSizeHigh} << 32) | entry.nFileSizeLow;
        found.write_time = FromFileTime(entry.ftLastWriteTime);
        files.push_back({child, found});
      }
    } while (listed && FindNextFileW(find, &entry));
    FindClose(find);
    if (!listed) return false;
  }
  // What is copied already, as it is now, stays.
  std::vector<const Listed*> to_copy;
  for (const Listed& file : files) {
    const auto it = copied_.find(file.relative.value());
    const bool changed = it == copied_.end() ||
                         it->second.size != file.found.size ||
                         it->second.write_time != file.found.write_time;
    if (changed && (final_pass || !written_later_.count(file.relative.value())))
      to_copy.push_back(&file);
  }
  std::vector<Copied> results(to_copy.size());
  std::vector<char> done(to_copy.size(), 0);
  const bool all =
      base::ParallelFor(to_copy.size(), kCopyThreads, [&](size_t i) {
        const std::u16string& relative = to_copy[i]->relative.value();
        const base::FilePath copy = target_.Append(relative);
        // A file that changed since it was copied is copied anew.
        if (copied_.count(relative) &&
            !DeleteFileW(base::as_wcstr(copy.value())) &&
            GetLastError() != ERROR_FILE_NOT_FOUND) {
          if (log) PLOG(ERROR) << "Cannot replace " << copy;
          return !final_pass;
        }
        done[i] =
            CopyFileOnce(&source, &target, to_copy[i]->relative, log,
                         !final_pass, &results[i].size, &results[i].write_time);
        return done[i] || !final_pass;
      });
  for (size_t i = 0; i < to_copy.size(); ++i) {
    const std::u16string& relative = to_copy[i]->relative.value();
    if (done[i]) {
      copied_[relative] = results[i];
      ++*copied_files;
    } else {
      copied_.erase(relative);
    }
  }
  if (!final_pass || !all) return all;
  // What went before the end goes from the copy too.
  std::set<std::u16string> present;
  for (const Listed& file : files) present.insert(file.relative.value());
  for (auto it = copied_.begin(); it != copied_.end();) {
    if (present.count(it->first)) {
      ++it;
      continue;
    }
    const base::FilePath copy = target_.Append(it->first);
    if (!DeleteFileW(base::as_wcstr(copy.value()))) {
      PLOG(ERROR) << "Cannot remove " << copy;
      return false;
    }
    it = copied_.erase(it);
  }
  // Inner folders sort after their parents: the reverse order removes them
  // first.
  for (auto it = folders_.rbegin(); it != folders_.rend();) {
    if (listed_folders.count(*it)) {
      ++it;
      continue;
    }
    const base::FilePath copy = target_.Append(*it);
    if (!RemoveDirectoryW(base::as_wcstr(copy.value()))) {
      PLOG(ERROR) << "Cannot remove " << copy;
      return false;
    }
    it = std::set<std::u16string>::reverse_iterator(
        folders_.erase(std::next(it).base()));
  }
  return true;
}

bool MoveFileWithoutLinks(const base::FilePath& source,
                          const base::FilePath& target) {
  base::win::ScopedHandle from =
      Open(source, GENERIC_READ | DELETE, FILE_SHARE_READ);
  if (!from.IsValid() || IsFolder(from.Get())) {
    PLOG(ERROR) << "Cannot take " << source << " as it is";
    return false;
  }
  base::win::ScopedHandle to(
      CreateFileW(base::as_wcstr(target.value()), GENERIC_WRITE | DELETE, 0,
                  nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!to.IsValid()) {
    PLOG(ERROR) << "Cannot create " << target;
    return false;
  }
  uint64_t size = 0;
  uint64_t write_time = 0;
  if (!CopyOpenedFile(from.Get(), to.Get(), target, true, &size, &write_time))
    return false;
  to.Close();
  if (!base::DeleteOpened(from.Get())) {
    PLOG(ERROR) << "Cannot remove " << source;
    base::DeleteFileOrDirectory(target, false);
    return false;
  }
  return true;
}

namespace internal {

void SetProtectedFolderRootForTesting(const base::FilePath& root) {
  delete g_root_for_testing;
  g_root_for_testing = root.empty() ? nullptr : new base::FilePath(root);
  // Another root is swept anew.
  g_root_swept = false;
}

void ReleaseProtectedFolderForTesting(const base::FilePath& folder) {
  Held().Release(folder);
}

}  // namespace internal

}  // namespace installer
