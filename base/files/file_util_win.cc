#include <share.h>
#include <shlobj.h>
#include <stdlib.h>
#include <string.h>

#include <atomic>
#include <memory>
#include <vector>

#include "base/files/file_attributes_win.h"
#include "base/files/file_enumerator.h"
#include "base/files/file_util.h"
#include "base/files/open_without_links_win.h"
#include "base/files/system_path_win.h"
#include "base/logging.h"
#include "base/strings/string_util.h"
#include "base/strings/string_util_win.h"
#include "base/strings/utf_string_conversions.h"
#include "base/threading/parallel_for.h"
#include "base/win/scoped_handle.h"

namespace base {

namespace {

// Whether no spelling of |path| reaches it: too long for the plain one, and
// without a long one or too long for that too.
bool IsTooLong(const FilePath& path) {
  if (path.value().size() < kMaxPathLength) return false;
  if (IsSystemLongForm(path.value()))
    return path.value().size() >= kSystemPathLimit;
  std::u16string long_form;
  return !GetSystemLongForm(path.value(), &long_form) ||
         long_form.size() >= kSystemPathLimit;
}

bool ClearReadOnly(const FilePath& path, DWORD attributes) {
  return ::SetFileAttributesW(SystemPathArg(path),
                              attributes & ~FILE_ATTRIBUTE_READONLY) != 0;
}

// What deciding about an entry needs of it: its attributes, and clearing
// its read-only bit.
constexpr DWORD kInspectAccess = FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES;

bool ClearReadOnly(HANDLE entry, DWORD attributes) {
  // Only the bits a caller may set; zero times leave the times alone.
  constexpr DWORD kSettable =
      FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE |
      FILE_ATTRIBUTE_TEMPORARY | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED |
      FILE_ATTRIBUTE_OFFLINE;
  FILE_BASIC_INFO info = {};
  info.FileAttributes = attributes & kSettable;
  if (info.FileAttributes == 0) info.FileAttributes = FILE_ATTRIBUTE_NORMAL;
  return ::SetFileInformationByHandle(entry, FileBasicInfo, &info,
                                      sizeof(info)) != 0;
}

bool IsMissing(DWORD error) {
  return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

// Opens |path| itself with |access| (a link as itself, never what it
// points to; nothing reached through a link on the way) and reads its
// attributes; false, with the last error set, when either fails. Read and
// write are shared, deletion is not, so that the entry can be neither
// renamed nor replaced while the handle is open.
bool OpenEntry(const FilePath& path, DWORD access, win::ScopedHandle* entry,
               DWORD* attributes) {
  HANDLE opened = OpenEntryWithoutLinks(path.value(), access,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE);
  entry->Set(opened == INVALID_HANDLE_VALUE ? nullptr : opened);
  if (!entry->IsValid()) return false;
  *attributes = internal::GetOpenedEntryAttributes(entry->Get(), path);
  return *attributes != INVALID_FILE_ATTRIBUTES;
}

bool IsRealFolder(DWORD attributes) {
  return (attributes & FILE_ATTRIBUTE_DIRECTORY) &&
         !internal::IsLink(attributes);
}

// Deletes |path|: a link as itself, a file, or a folder (emptied first
// through |pattern| when |recursive|). A folder that is no link is left
// alone, successfully, unless |delete_folders|; a folder link likewise.
//
// Every decision comes from the opened entry. A folder is emptied while a
// handle holds it without delete sharing, so that it can be neither renamed
// nor replaced by a junction meanwhile: an elevated installer deleting a
// user-writable folder cannot be steered outside it. The handle that
// deletes is opened without following a link, so whatever stands at the
// path by then is removed itself, never a target.
bool DeleteEntry(const FilePath& path, const std::u16string& pattern,
                 bool recursive, bool delete_folders) {
  win::ScopedHandle entry;
  DWORD attributes = 0;
  if (!OpenEntry(path, DELETE | kInspectAccess, &entry, &attributes))
    return IsMissing(::GetLastError());
  if ((attributes & FILE_ATTRIBUTE_DIRECTORY) && !delete_folders) return true;
  if ((attributes & FILE_ATTRIBUTE_READONLY) &&
      !ClearReadOnly(entry.Get(), attributes)) {
    return false;
  }
  if (IsRealFolder(attributes) && recursive) {
    // Listing the folder opens it again, which a handle with delete access
    // would refuse: hold it without that access while it is emptied. A
    // handle that may only read and write attributes takes no part in
    // sharing; one that may list the folder stops a rename.
    entry.Close();
    win::ScopedHandle held;
    if (!OpenEntry(path, FILE_LIST_DIRECTORY | kInspectAccess, &held,
                   &attributes))
      return IsMissing(::GetLastError());
    if (IsRealFolder(attributes) && !DeleteFileRecursive(path, pattern, true))
      return false;
    held.Close();
    if (!OpenEntry(path, DELETE | kInspectAccess, &entry, &attributes))
      return IsMissing(::GetLastError());
  }
  return DeleteOpened(entry.Get());
}

// Whole components, case-insensitively: C:\x\app2 is not inside C:\x\app,
// c:\X\APP\sub is.
bool IsSameOrInside(const FilePath& path, const FilePath& folder) {
  std::vector<std::u16string> path_components;
  std::vector<std::u16string> folder_components;
  path.StripTrailingSeparators().GetComponents(&path_components);
  folder.StripTrailingSeparators().GetComponents(&folder_components);
  if (folder_components.empty() ||
      path_components.size() < folder_components.size())
    return false;
  for (size_t i = 0; i < folder_components.size(); ++i) {
    if (FilePath::CompareIgnoreCase(path_components[i], folder_components[i]) !=
        0)
      return false;
  }
  return true;
}

// |path| made absolute with "." and ".." resolved, at any length; empty on
// failure.
FilePath FullPath(const FilePath& path) {
  std::vector<wchar_t> buffer(kMaxPathLength);
  DWORD length = 0;
  for (int attempt = 0; attempt < 2; ++attempt) {
    length = ::GetFullPathNameW(as_wcstr(path.value()),
                                static_cast<DWORD>(buffer.size()),
                                buffer.data(), nullptr);
    if (length < buffer.size()) break;
    buffer.resize(length);
  }
  if (length == 0 || length >= buffer.size()) return FilePath();
  return FilePath(StringPiece16(as_u16cstr(buffer.data()), length));
}

// The longest folder GetTempFileNameW takes.
constexpr size_t kMaxTempFileFolderLength = kMaxPathLength - 14;

// As GetTempFileNameW names a new file ("<hex>.tmp", the first free name
// from a number that changes between calls), for a folder too long for it.
bool CreateTemporaryFileInLongFolder(const FilePath& folder, FilePath* path) {
  static std::atomic<uint32_t> calls{0};
  const uint32_t start = ::GetTickCount() + calls.fetch_add(1);
  for (uint32_t i = 0; i <= 0xFFFF; ++i) {
    const uint32_t unique = (start + i) & 0xFFFF;
    if (unique == 0) continue;
    char name[16];
    snprintf(name, sizeof(name), "%X.tmp", static_cast<unsigned>(unique));
    const FilePath candidate = folder.AppendASCII(name);
    HANDLE file =
        ::CreateFileW(SystemPathArg(candidate), GENERIC_WRITE, 0, nullptr,
                      CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
      ::CloseHandle(file);
      *path = candidate;
      return true;
    }
    const DWORD error = ::GetLastError();
    if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS)
      return false;
  }
  return false;
}

}  // namespace

bool PathExists(const FilePath& path) {
  return ::GetFileAttributesW(SystemPathArg(path)) != INVALID_FILE_ATTRIBUTES;
}

bool DirectoryExists(const FilePath& path) {
  const DWORD attributes = ::GetFileAttributesW(SystemPathArg(path));
  return attributes != INVALID_FILE_ATTRIBUTES &&
         (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool PathIsWritable(const FilePath& path) {
  HANDLE handle = ::CreateFileW(
      SystemPathArg(path), FILE_WRITE_DATA,
      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
      OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return false;
  ::CloseHandle(handle);
  return true;
}

bool IsLink(const FilePath& path) {
  win::ScopedHandle entry;
  DWORD attributes = 0;
  if (!OpenEntry(path, FILE_READ_ATTRIBUTES, &entry, &attributes))
    return ::GetLastError() == ERROR_CANT_ACCESS_FILE;
  return internal::IsLink(attributes);
}

bool IsDirectoryNotLink(const FilePath& path) {
  win::ScopedHandle entry;
  DWORD attributes = 0;
  return OpenEntry(path, FILE_READ_ATTRIBUTES, &entry, &attributes) &&
         IsRealFolder(attributes);
}

bool DeleteFileOrDirectory(const FilePath& path, bool recursive) {
  if (path.empty()) return true;
  if (IsTooLong(path)) return false;

  const std::u16string base_name = path.BaseName().value();
  if (base_name.find_first_of(u"*?") != std::u16string::npos)
    return DeleteFileRecursive(path.DirName(), base_name, recursive);
  return DeleteEntry(path, u"*", recursive, true);
}

bool DeleteFileRecursive(const FilePath& folder, const std::u16string& pattern,
                         bool recursive) {
  FileEnumerator entries(folder, false,
                         FileEnumerator::FILES | FileEnumerator::DIRECTORIES,
                         pattern);
  for (FilePath current = entries.Next(); !current.empty();
       current = entries.Next()) {
    if (!DeleteEntry(current, pattern, recursive, recursive)) return false;
  }
  return true;
}

bool DeleteFolderTreeInParallel(const FilePath& folder, size_t max_threads) {
  if (folder.empty()) return true;
  if (IsTooLong(folder)) return false;
  // Every real folder of the tree is held without delete sharing until its
  // files are gone, so that none can be renamed or replaced by a link while
  // the threads work below it. A handle that may only read attributes
  // takes no part in sharing, so the hold reads the listing too. Links and
  // files are collected as entries to remove themselves; a link is never
  // entered.
  std::vector<win::ScopedHandle> held;
  std::vector<FilePath> entries;
  std::vector<FilePath> pending = {folder};
  while (!pending.empty()) {
    const FilePath current = pending.back();
    pending.pop_back();
    win::ScopedHandle handle;
    DWORD attributes = 0;
    if (!OpenEntry(current, FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES, &handle,
                   &attributes) ||
        !IsRealFolder(attributes)) {
      // Left to the serial pass below, which decides about it as it is.
      continue;
    }
    held.push_back(std::move(handle));
    FileEnumerator listing(current, false,
                           FileEnumerator::FILES | FileEnumerator::DIRECTORIES);
    for (FilePath entry = listing.Next(); !entry.empty();
         entry = listing.Next()) {
      const DWORD found = listing.GetInfo().dwFileAttributes;
      if ((found & FILE_ATTRIBUTE_DIRECTORY) && !internal::IsLink(found)) {
        pending.push_back(entry);
      } else {
        entries.push_back(entry);
      }
    }
  }
  // A failure stops the threads; the serial pass then meets the entry
  // again and reports it.
  ParallelFor(entries.size(), max_threads, [&entries](size_t i) {
    return DeleteEntry(entries[i], u"*", false, true);
  });
  held.clear();
  // The emptied folders, and whatever the threads left.
  return DeleteFileOrDirectory(folder, true);
}

bool ReplaceFile(const FilePath& from, const FilePath& to) {
  if (::MoveFileW(SystemPathArg(from), SystemPathArg(to))) return true;
  if (::ReplaceFileW(SystemPathArg(to), SystemPathArg(from), nullptr,
                     REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr, nullptr))
    return true;
  // ReplaceFileW can fail after it took |to| out of the way (the replacement
  // could not be moved into place). A plain move-with-replace often still
  // works; if not, |from| keeps the new contents for the caller.
  const DWORD replace_error = ::GetLastError();
  if (::MoveFileExW(SystemPathArg(from), SystemPathArg(to),
                    MOVEFILE_REPLACE_EXISTING))
    return true;
  ::SetLastError(replace_error);
  return false;
}

bool MoveFileOrDirectory(const FilePath& from, const FilePath& to) {
  if (IsTooLong(from) || IsTooLong(to)) return false;
  {
    // A link is moved itself, as MoveFileExW does; a folder does not open
    // so and takes the road below.
    win::ScopedHandle file(::CreateFileW(
        SystemPathArg(from), DELETE | SYNCHRONIZE,
        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
        OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (file.IsValid() && RenameOpenFile(file.Get(), to)) return true;
  }
  if (::MoveFileExW(SystemPathArg(from), SystemPathArg(to),
                    MOVEFILE_REPLACE_EXISTING | MOVEFILE_COPY_ALLOWED))
    return true;
  // A folder cannot be moved across volumes: copy it, then delete it.
  const DWORD move_error = ::GetLastError();
  if (DirectoryExists(from) && CopyDirectory(from, to) &&
      DeleteFileOrDirectory(from, true))
    return true;
  ::SetLastError(move_error);
  return false;
}

bool RenameOpenFile(HANDLE file, const FilePath& to) {
  return RenameOpened(file, to.value(), true);
}

bool CopyOneFile(const FilePath& from, const FilePath& to) {
  if (from.ReferencesParent() || to.ReferencesParent()) {
    ::SetLastError(ERROR_BAD_PATHNAME);
    return false;
  }
  if (IsTooLong(from) || IsTooLong(to)) {
    ::SetLastError(ERROR_FILENAME_EXCED_RANGE);
    return false;
  }
  if (!::CopyFileW(SystemPathArg(from), SystemPathArg(to), FALSE)) return false;
  // The copy must be replaceable and deletable by later steps.
  const DWORD attributes = ::GetFileAttributesW(SystemPathArg(to));
  if (attributes == INVALID_FILE_ATTRIBUTES) return false;
  if (attributes & FILE_ATTRIBUTE_READONLY) ClearReadOnly(to, attributes);
  return true;
}

bool CopyDirectory(const FilePath& from, const FilePath& to) {
  if (IsTooLong(from) || IsTooLong(to)) return false;

  const FilePath real_to = FullPath(PathExists(to) ? to : to.DirName());
  if (real_to.empty()) return false;
  const FilePath real_from = FullPath(from);
  if (real_from.empty()) return false;
  if (IsSameOrInside(real_to, real_from)) return false;

  if (!PathExists(from)) return false;
  FileEnumerator traversal(from, true,
                           FileEnumerator::FILES | FileEnumerator::DIRECTORIES);

  FilePath current = from;
  bool current_is_folder = DirectoryExists(from);
  // Into an existing folder the source folder itself is copied.
  const FilePath base = DirectoryExists(to) ? from.DirName() : from;

  while (!current.empty()) {
    FilePath target = to;
    if (base != current && !base.AppendRelativePath(current, &target))
      return false;
    if (current_is_folder) {
      if (!DirectoryExists(target) &&
          !::CreateDirectoryW(SystemPathArg(target, kPlainNewFolderLimit),
                              nullptr))
        return false;
    } else if (!CopyOneFile(current, target)) {
      return false;
    }
    current = traversal.Next();
    current_is_folder =
        (traversal.GetInfo().dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  }
  return true;
}

FilePath MakeAbsoluteFilePath(const FilePath& path) {
  wchar_t full_path[kMaxPathLength];
  if (!_wfullpath(full_path, as_wcstr(path.value()), kMaxPathLength))
    return FilePath();
  return FilePath(as_u16cstr(full_path));
}

bool CreateDirectoryAndGetError(const FilePath& path, File::Error* error) {
  const DWORD attributes = ::GetFileAttributesW(SystemPathArg(path));
  if (attributes != INVALID_FILE_ATTRIBUTES) {
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) return true;
    if (error) *error = File::FILE_ERROR_NOT_A_DIRECTORY;
    return false;
  }

  const FilePath parent = path.DirName();
  if (parent == path) {
    if (error) *error = File::FILE_ERROR_NOT_FOUND;
    return false;
  }
  if (!CreateDirectoryAndGetError(parent, error)) return false;

  if (::CreateDirectoryW(SystemPathArg(path, kPlainNewFolderLimit), nullptr))
    return true;
  const DWORD create_error = ::GetLastError();
  // Another process may have made it between the test and the creation.
  if (create_error == ERROR_ALREADY_EXISTS && DirectoryExists(path))
    return true;
  if (error) *error = File::OSErrorToFileError(create_error);
  return false;
}

bool GetTempDir(FilePath* path) {
  wchar_t temp_path[kMaxPathLength];
  const DWORD length = ::GetTempPathW(kMaxPathLength, temp_path);
  if (length == 0 || length >= kMaxPathLength) return false;
  *path = FilePath(StringPiece16(as_u16cstr(temp_path), length))
              .StripTrailingSeparators();
  return true;
}

FilePath GetHomeDir() {
  wchar_t profile[kMaxPathLength];
  if (SUCCEEDED(::SHGetFolderPathW(nullptr, CSIDL_PROFILE, nullptr,
                                   SHGFP_TYPE_CURRENT, profile)) &&
      profile[0])
    return FilePath(as_u16cstr(profile));
  FilePath temp;
  if (GetTempDir(&temp)) return temp;
  return FilePath(u"C:\\");
}

bool CreateTemporaryFile(FilePath* path) {
  FilePath temp;
  if (!GetTempDir(&temp)) return false;
  return CreateTemporaryFileInDir(temp, path);
}

bool CreateTemporaryFileInDir(const FilePath& folder, FilePath* path) {
  if (folder.value().size() > kMaxTempFileFolderLength)
    return CreateTemporaryFileInLongFolder(folder, path);
  wchar_t temp_name[kMaxPathLength];
  if (!::GetTempFileNameW(as_wcstr(folder.value()), L"", 0, temp_name))
    return false;
  wchar_t long_name[kMaxPathLength];
  const DWORD length = ::GetLongPathNameW(temp_name, long_name, kMaxPathLength);
  if (length > 0 && length <= kMaxPathLength)
    *path = FilePath(as_u16cstr(long_name));
  else
    *path = FilePath(as_u16cstr(temp_name));
  return true;
}

bool IsTemporaryFileName(const std::u16string& name) {
  constexpr char16_t kExtension[] = u".tmp";
  const size_t extension = std::char_traits<char16_t>::length(kExtension);
  if (name.size() <= extension || name.size() > 4 + extension ||
      !EqualsCaseInsensitiveASCII16(
          StringPiece16(name).substr(name.size() - extension), kExtension)) {
    return false;
  }
  for (size_t i = 0; i + extension < name.size(); ++i) {
    const char16_t c = name[i];
    if (!((c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f') ||
          (c >= u'A' && c <= u'F'))) {
      return false;
    }
  }
  return true;
}

bool IsTemporaryFileNameOf(const std::u16string& name, std::u16string* target) {
  const size_t dot = name.size() > 5 ? name.rfind(u'.', name.size() - 5)
                                     : std::u16string::npos;
  if (dot == std::u16string::npos || dot == 0 ||
      !IsTemporaryFileName(name.substr(dot + 1))) {
    return false;
  }
  if (target) *target = name.substr(0, dot);
  return true;
}

std::u16string TemporaryFilePrefixFor(const FilePath& path) {
  // The longest name of a folder's entry, and the longest "<hex>.tmp".
  constexpr size_t kMaxNameLength = 255;
  constexpr size_t kMaxSuffixLength = 8;
  const std::u16string prefix = path.BaseName().value() + u".";
  return prefix.size() + kMaxSuffixLength <= kMaxNameLength ? prefix
                                                            : std::u16string();
}

bool GetFileInfo(const FilePath& path, File::Info* info) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!::GetFileAttributesExW(SystemPathArg(path), GetFileExInfoStandard,
                              &data))
    return false;
  info->size =
      (static_cast<int64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
  info->is_directory = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  info->last_modified = Time::FromFileTime(data.ftLastWriteTime);
  info->last_accessed = Time::FromFileTime(data.ftLastAccessTime);
  info->creation_time = Time::FromFileTime(data.ftCreationTime);
  return true;
}

bool GetCurrentDirectory(FilePath* path) {
  wchar_t folder[kMaxPathLength];
  const DWORD length = ::GetCurrentDirectoryW(kMaxPathLength, folder);
  if (length == 0 || length > kMaxPathLength) return false;
  *path = FilePath(StringPiece16(as_u16cstr(folder), length))
              .StripTrailingSeparators();
  return true;
}

FILE* OpenFile(const FilePath& path, const char* mode) {
  const std::u16string wide_mode = ASCIIToUTF16(mode);
  return _wfsopen(SystemPathArg(path), as_wcstr(wide_mode), _SH_DENYNO);
}

int ReadFileIntoBuffer(const FilePath& path, char* data, int size) {
  if (size < 0) return -1;
  win::ScopedHandle file(::CreateFileW(
      SystemPathArg(path), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
      nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  if (!file.IsValid()) return -1;
  DWORD read = 0;
  if (!::ReadFile(file.Get(), data, static_cast<DWORD>(size), &read, nullptr))
    return -1;
  return static_cast<int>(read);
}

int WriteBufferToFile(const FilePath& path, const char* data, int size) {
  if (size < 0) return -1;
  win::ScopedHandle file(::CreateFileW(SystemPathArg(path), GENERIC_WRITE, 0,
                                       nullptr, CREATE_ALWAYS, 0, nullptr));
  if (!file.IsValid()) return -1;
  DWORD written = 0;
  if (!::WriteFile(file.Get(), data, static_cast<DWORD>(size), &written,
                   nullptr) ||
      written != static_cast<DWORD>(size))
    return -1;
  return size;
}

bool AppendToFile(const FilePath& path, const char* data, int size) {
  win::ScopedHandle file(::CreateFileW(SystemPathArg(path), FILE_APPEND_DATA, 0,
                                       nullptr, OPEN_EXISTING, 0, nullptr));
  if (!file.IsValid()) {
    VPLOG(1) << "CreateFile failed for path " << path.AsUTF8();
    return false;
  }
  DWORD written = 0;
  if (!::WriteFile(file.Get(), data, static_cast<DWORD>(size), &written,
                   nullptr)) {
    VPLOG(1) << "Writing file " << path.AsUTF8() << " failed";
    return false;
  }
  if (written != static_cast<DWORD>(size)) {
    VPLOG(1) << "Only wrote " << written << " out of " << size << " byte(s) to "
             << path.AsUTF8();
    return false;
  }
  return true;
}

namespace FileUtil {

bool Move(const FilePath& from, const FilePath& to) {
  if (from.ReferencesParent() || to.ReferencesParent()) return false;
  return MoveFileOrDirectory(from, to);
}

}  // namespace FileUtil

}  // namespace base
