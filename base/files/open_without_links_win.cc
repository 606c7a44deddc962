#include "base/files/open_without_links_win.h"

#include <stdio.h>
#include <string.h>
#include <winternl.h>

#include <atomic>
#include <iterator>
#include <vector>

#include "base/files/file_attributes_win.h"
#include "base/files/file_path.h"
#include "base/files/system_path_win.h"
#include "base/strings/string_util_win.h"
#include "base/strings/utf_string_conversions.h"

namespace base {

namespace {

std::atomic<LinkRule> g_link_rule{LinkRule::kRefuseOnTheWay};

constexpr char16_t kLongPrefix[] = u"\\\\?\\";
constexpr char16_t kLongUncPrefix[] = u"\\\\?\\UNC\\";

// The function |name| of ntdll, called where the documented wrappers do
// not say what is needed; null where the system lacks it.
template <typename Function>
Function NtdllFunction(const char* name) {
  return reinterpret_cast<Function>(reinterpret_cast<void*>(
      ::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), name)));
}

// Turns a kernel status into the error the documented calls set.
using StatusToError = ULONG(WINAPI*)(LONG);

// A path API's answer, growing the buffer once when it says so.
template <typename Call>
std::u16string CallForPath(Call call) {
  std::vector<wchar_t> buffer(MAX_PATH + 1);
  DWORD length = call(buffer.data(), static_cast<DWORD>(buffer.size()));
  if (length >= buffer.size()) {
    buffer.resize(length + 1);
    length = call(buffer.data(), static_cast<DWORD>(buffer.size()));
  }
  if (length == 0 || length >= buffer.size()) return std::u16string();
  return std::u16string(as_u16cstr(buffer.data()), length);
}

// The name the object manager gives the object |handle| opened, when it
// is in the DOS device spelling ("\??\C:\x", returned as "C:\x"); empty
// otherwise. The test system answers GetFinalPathNameByHandleW only for
// paths shorter than MAX_PATH, but names longer ones this way; Windows
// names a file's device ("\Device\HarddiskVolume1\x") here instead, and
// needs no second way.
std::u16string ObjectNameInDosSpelling(HANDLE handle) {
  using QueryObject = LONG(WINAPI*)(HANDLE, int, void*, ULONG, ULONG*);
  static const QueryObject query = NtdllFunction<QueryObject>("NtQueryObject");
  constexpr int kObjectNameInformation = 1;
  if (!query) return std::u16string();
  std::vector<uint64_t> buffer(8 * 1024);
  ULONG size = 0;
  if (query(handle, kObjectNameInformation, buffer.data(),
            static_cast<ULONG>(buffer.size() * sizeof(buffer[0])),
            &size) != 0) {
    return std::u16string();
  }
  const auto* name = reinterpret_cast<const UNICODE_STRING*>(buffer.data());
  const std::u16string text(as_u16cstr(name->Buffer),
                            name->Length / sizeof(wchar_t));
  // Spelled in two parts, which no trigraph reading can take.
  constexpr char16_t kDosDevices[] =
      u"\\?"
      u"?\\";
  if (text.size() < 7 || text.compare(0, 4, kDosDevices) != 0 ||
      text[5] != u':' || text[6] != u'\\') {
    return std::u16string();
  }
  return text.substr(4);
}

// Where |path| leads when no component on the way is a link: absolute,
// with long names.
std::u16string ExpectedFinalPath(const std::u16string& path) {
  const std::u16string full = CallForPath([&](wchar_t* out, DWORD size) {
    return ::GetFullPathNameW(as_wcstr(path), size, out, nullptr);
  });
  if (full.empty()) return std::u16string();
  const std::u16string long_path = CallForPath([&](wchar_t* out, DWORD size) {
    return ::GetLongPathNameW(SystemPathArg(full), out, size);
  });
  std::u16string expected =
      StripLongPathPrefix(long_path.empty() ? full : long_path);
  // A folder named with a trailing separator; a drive root keeps it.
  while (expected.size() > 3 &&
         (expected.back() == u'\\' || expected.back() == u'/'))
    expected.pop_back();
  return expected;
}

// What an opened entry may be besides a plain file or folder.
enum Accept : unsigned {
  kPlainOnly = 0,
  // A reparse point at the end of the path, opened as itself.
  kLinkItself = 1,
  // A file with other names.
  kOtherNames = 2,
};

bool IsAcceptable(HANDLE handle, const std::u16string& path, unsigned accept) {
  // Not GetFileInformationByHandle: its volume serial number costs more
  // than the rest of the open.
  FILE_ATTRIBUTE_TAG_INFO tag = {};
  FILE_STANDARD_INFO standard = {};
  if (!::GetFileInformationByHandleEx(handle, FileAttributeTagInfo, &tag,
                                      sizeof(tag)) ||
      !::GetFileInformationByHandleEx(handle, FileStandardInfo, &standard,
                                      sizeof(standard))) {
    return false;
  }
  if (!(accept & kLinkItself) &&
      internal::IsLink(internal::WalkAttributes(
          FilePath(path), tag.FileAttributes, tag.ReparseTag))) {
    return false;
  }
  if (!(accept & kOtherNames) && !standard.Directory &&
      standard.NumberOfLinks != 1) {
    return false;
  }
  if (GetLinkRule() == LinkRule::kFollowOnTheWay) {
    // Where the system cannot open a link as itself it hands back what the
    // link leads to; the link's name still reads as a link. Only a folder
    // could be entered: a file is not looked up once more.
    return !(accept & kLinkItself) || !standard.Directory ||
           internal::IsLink(internal::WalkAttributes(
               FilePath(path), tag.FileAttributes, tag.ReparseTag)) ||
           !internal::IsLink(internal::GetWalkAttributes(FilePath(path)));
  }
  const std::u16string final_path = GetFinalPathOfHandle(handle);
  if (final_path.empty()) return false;
  // Most paths are spelled as the system resolves them already; making one
  // absolute and long costs a look at every folder on the way.
  if (PathsEqualIgnoringCase(final_path, StripLongPathPrefix(path)))
    return true;
  const std::u16string expected = ExpectedFinalPath(path);
  return !expected.empty() && PathsEqualIgnoringCase(final_path, expected);
}

HANDLE HoldParent(const std::u16string& path);
bool CloseAnd(HANDLE handle, bool result);

HANDLE Open(const std::u16string& path, DWORD access, DWORD share,
            DWORD disposition, DWORD flags, unsigned accept) {
  // A file made here and then refused is removed through a second handle,
  // which the first must let delete.
  const bool may_create =
      disposition != OPEN_EXISTING && disposition != TRUNCATE_EXISTING;
  // Emptying a file at the open would empty the file a link leads to: it
  // waits for the checks.
  const bool truncate =
      disposition == CREATE_ALWAYS || disposition == TRUNCATE_EXISTING;
  const DWORD open_disposition = disposition == CREATE_ALWAYS ? OPEN_ALWAYS
                                 : disposition == TRUNCATE_EXISTING
                                     ? OPEN_EXISTING
                                     : disposition;
  // A file that may be made is made only in a folder reached without a
  // link, held so while it is made: never, even for a moment, where a link
  // leads.
  HANDLE parent = INVALID_HANDLE_VALUE;
  if (may_create) {
    parent = HoldParent(path);
    if (parent == INVALID_HANDLE_VALUE) return INVALID_HANDLE_VALUE;
  }
  HANDLE handle = ::CreateFileW(
      SystemPathArg(path), access, share | (may_create ? FILE_SHARE_DELETE : 0),
      nullptr, open_disposition,
      flags | FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT,
      nullptr);
  if (parent != INVALID_HANDLE_VALUE) CloseAnd(parent, true);
  if (handle == INVALID_HANDLE_VALUE) return INVALID_HANDLE_VALUE;
  const bool created = may_create && (disposition == CREATE_NEW ||
                                      ::GetLastError() != ERROR_ALREADY_EXISTS);
  if (IsAcceptable(handle, path, accept)) {
    FILE_END_OF_FILE_INFO empty = {};
    if (!truncate || ::SetFileInformationByHandle(handle, FileEndOfFileInfo,
                                                  &empty, sizeof(empty))) {
      return handle;
    }
    const DWORD error = ::GetLastError();
    ::CloseHandle(handle);
    ::SetLastError(error);
    return INVALID_HANDLE_VALUE;
  }
  if (created) {
    HANDLE remover = ::ReOpenFile(
        handle, DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
        FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT);
    if (remover != INVALID_HANDLE_VALUE) {
      DeleteOpened(remover);
      ::CloseHandle(remover);
    }
  }
  ::CloseHandle(handle);
  ::SetLastError(ERROR_CANT_ACCESS_FILE);
  return INVALID_HANDLE_VALUE;
}

bool IsMissing(DWORD error) {
  return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

// Keeps the last error of a failure across the calls that clean up after
// it.
class KeepLastError {
 public:
  KeepLastError() : error_(::GetLastError()) {}
  ~KeepLastError() { ::SetLastError(error_); }

 private:
  const DWORD error_;
};

// Closes |handle| and gives |result|, keeping the last error.
bool CloseAnd(HANDLE handle, bool result) {
  KeepLastError keep;
  ::CloseHandle(handle);
  return result;
}

// The attributes of what |handle| opened for |path|, as the tree walks see
// them; INVALID_FILE_ATTRIBUTES when they cannot be read.
DWORD OpenedAttributes(HANDLE handle, const std::u16string& path) {
  FILE_ATTRIBUTE_TAG_INFO tag = {};
  if (!::GetFileInformationByHandleEx(handle, FileAttributeTagInfo, &tag,
                                      sizeof(tag))) {
    return INVALID_FILE_ATTRIBUTES;
  }
  return internal::WalkAttributes(FilePath(path), tag.FileAttributes,
                                  tag.ReparseTag);
}

// Only the attributes that a caller may set; zero times leave the times
// as they are.
bool SetAttributes(HANDLE handle, DWORD attributes,
                   const FILE_BASIC_INFO* times) {
  constexpr DWORD kSettable =
      FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
      FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_TEMPORARY |
      FILE_ATTRIBUTE_NOT_CONTENT_INDEXED | FILE_ATTRIBUTE_OFFLINE;
  FILE_BASIC_INFO info = times ? *times : FILE_BASIC_INFO{};
  info.FileAttributes = attributes & kSettable;
  if (info.FileAttributes == 0) info.FileAttributes = FILE_ATTRIBUTE_NORMAL;
  return ::SetFileInformationByHandle(handle, FileBasicInfo, &info,
                                      sizeof(info)) != 0;
}

// An entry of a folder's listing.
struct Listed {
  std::u16string name;
  DWORD attributes;
  DWORD tag;
};

// The entries of the folder |handle| opened (with FILE_LIST_DIRECTORY),
// without "." and ".."; false when it cannot be listed.
bool ListOpenedFolder(HANDLE handle, std::vector<Listed>* entries) {
  std::vector<uint64_t> buffer(8 * 1024);
  FILE_INFO_BY_HANDLE_CLASS kind = FileIdBothDirectoryRestartInfo;
  while (::GetFileInformationByHandleEx(
      handle, kind, buffer.data(),
      static_cast<DWORD>(buffer.size() * sizeof(buffer[0])))) {
    kind = FileIdBothDirectoryInfo;
    const uint8_t* at = reinterpret_cast<const uint8_t*>(buffer.data());
    for (;;) {
      const auto* entry = reinterpret_cast<const FILE_ID_BOTH_DIR_INFO*>(at);
      std::u16string name(as_u16cstr(entry->FileName),
                          entry->FileNameLength / sizeof(wchar_t));
      // A reparse point's tag stands where extended attributes' size would.
      if (name != u"." && name != u"..") {
        entries->push_back(
            {std::move(name), entry->FileAttributes,
             (entry->FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)
                 ? entry->EaSize
                 : 0});
      }
      if (entry->NextEntryOffset == 0) break;
      at += entry->NextEntryOffset;
    }
  }
  return ::GetLastError() == ERROR_NO_MORE_FILES;
}

// FILE_DISPOSITION_INFO_EX and its flags, which older headers lack.
constexpr DWORD kDispositionDelete = 0x1;
constexpr DWORD kDispositionPosixSemantics = 0x2;
constexpr DWORD kDispositionIgnoreReadOnly = 0x10;
bool SetDispositionEx(HANDLE handle, DWORD flags) {
  constexpr auto kDispositionInfoEx =
      static_cast<FILE_INFO_BY_HANDLE_CLASS>(21);
  return ::SetFileInformationByHandle(handle, kDispositionInfoEx, &flags,
                                      sizeof(flags)) != 0;
}

bool DeleteOpenedTree(HANDLE entry, const std::u16string& path,
                      DWORD attributes, bool recursive);

// Marks the read-only file |entry| opened for deletion without clearing the
// attribute (Windows 10 from 1809 on); elsewhere ERROR_ACCESS_DENIED.
bool DeleteReadOnlyName(HANDLE entry) {
  if (SetDispositionEx(entry, kDispositionDelete | kDispositionIgnoreReadOnly))
    return true;
  ::SetLastError(ERROR_ACCESS_DENIED);
  return false;
}

// Deletes the entry |listed| of the folder |folder| holds, opened relative
// to that handle, whose path is |path|.
bool DeleteListedEntry(HANDLE folder, const std::u16string& path,
                       const Listed& listed) {
  const DWORD seen =
      internal::WalkAttributes(FilePath(path), listed.attributes, listed.tag);
  const HANDLE child = OpenInFolder(
      folder, listed.name,
      DELETE | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES | SYNCHRONIZE,
      FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING, 0);
  if (child == INVALID_HANDLE_VALUE) return IsMissing(::GetLastError());
  const DWORD attributes = OpenedAttributes(child, path);
  if (attributes == INVALID_FILE_ATTRIBUTES) return CloseAnd(child, false);
  // Listed as a link that the handle does not show: the system could not
  // open the link as itself and handed back what it leads to.
  if (internal::IsLink(seen) && !internal::IsLink(attributes)) {
    ::SetLastError(ERROR_CANT_ACCESS_FILE);
    return CloseAnd(child, false);
  }
  return CloseAnd(child, DeleteOpenedTree(child, path, attributes, true));
}

// Deletes what |entry| opened for |path| (with delete access, holding it
// against renames), which the walks see with |attributes|: a folder that is
// no link is emptied first when |recursive|, each entry opened relative to
// the held folder, so that nothing on the way is looked up again.
bool DeleteOpenedTree(HANDLE entry, const std::u16string& path,
                      DWORD attributes, bool recursive) {
  if (attributes & FILE_ATTRIBUTE_READONLY) {
    // The attribute belongs to the file, not to the name: clearing it would
    // change what the file's other names reach. Such a name goes only where
    // the system can delete it as it is.
    FILE_STANDARD_INFO standard = {};
    if (!::GetFileInformationByHandleEx(entry, FileStandardInfo, &standard,
                                        sizeof(standard))) {
      return false;
    }
    if (!standard.Directory && standard.NumberOfLinks > 1)
      return DeleteReadOnlyName(entry);
    if (!SetAttributes(entry, attributes & ~FILE_ATTRIBUTE_READONLY, nullptr))
      return false;
  }
  if (recursive && (attributes & FILE_ATTRIBUTE_DIRECTORY) &&
      !internal::IsLink(attributes)) {
    // Listed through a second handle of the same folder: a listing by name
    // would open it again, which the first handle does not share.
    const HANDLE listing =
        ::ReOpenFile(entry, FILE_LIST_DIRECTORY | SYNCHRONIZE,
                     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                     FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT);
    if (listing == INVALID_HANDLE_VALUE) return false;
    std::vector<Listed> entries;
    if (!ListOpenedFolder(listing, &entries)) return CloseAnd(listing, false);
    const FilePath folder(path);
    for (const Listed& listed : entries) {
      if (!DeleteListedEntry(listing, folder.Append(listed.name).value(),
                             listed)) {
        return CloseAnd(listing, false);
      }
    }
    ::CloseHandle(listing);
  }
  return DeleteOpened(entry);
}

std::u16string ParentOf(const std::u16string& path) {
  return FilePath(path).StripTrailingSeparators().DirName().value();
}

// The parent folder of |path|, held so that it can be neither renamed nor
// replaced while a name in it is made or changed.
HANDLE HoldParent(const std::u16string& path) {
  return Open(ParentOf(path), FILE_LIST_DIRECTORY,
              FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING, 0, kPlainOnly);
}

}  // namespace

void SetLinkRule(LinkRule rule) { g_link_rule.store(rule); }

LinkRule GetLinkRule() { return g_link_rule.load(); }

HANDLE OpenInFolder(HANDLE folder, const std::u16string& name, DWORD access,
                    DWORD share, DWORD disposition, DWORD flags,
                    void* security_descriptor) {
  using CreateFile =
      LONG(WINAPI*)(HANDLE*, ACCESS_MASK, OBJECT_ATTRIBUTES*, IO_STATUS_BLOCK*,
                    LARGE_INTEGER*, ULONG, ULONG, ULONG, ULONG, void*, ULONG);
  static const CreateFile create = NtdllFunction<CreateFile>("NtCreateFile");
  static const StatusToError to_error =
      NtdllFunction<StatusToError>("RtlNtStatusToDosError");
  // The kernel's names for the dispositions CreateFileW takes. None that
  // empties a file: the caller checks what it opened only afterwards.
  constexpr ULONG kDispositions[] = {0, 2 /* FILE_CREATE */, 0,
                                     1 /* FILE_OPEN */, 3 /* FILE_OPEN_IF */};
  constexpr ULONG kSynchronousIo = 0x20;
  constexpr ULONG kNotDirectory = 0x40;
  constexpr ULONG kSequentialOnly = 0x4;
  constexpr ULONG kDirectory = 0x1;
  constexpr ULONG kForBackup = 0x4000;
  constexpr ULONG kOpenReparsePoint = 0x200000;
  if (!create || !to_error || disposition >= std::size(kDispositions) ||
      kDispositions[disposition] == 0 || name.empty() || name.size() > 0x7FFF ||
      name.find(u'\\') != std::u16string::npos) {
    ::SetLastError(ERROR_INVALID_PARAMETER);
    return INVALID_HANDLE_VALUE;
  }
  ULONG options = kSynchronousIo | kForBackup | kOpenReparsePoint;
  if (flags & FILE_FLAG_SEQUENTIAL_SCAN) options |= kSequentialOnly;
  if (flags & kOpenAsFolder) options |= kDirectory;
  if (flags & kOpenAsFile) options |= kNotDirectory;
  UNICODE_STRING object_name = {
      static_cast<USHORT>(name.size() * sizeof(wchar_t)),
      static_cast<USHORT>(name.size() * sizeof(wchar_t)),
      const_cast<wchar_t*>(as_wcstr(name))};
  OBJECT_ATTRIBUTES attributes = {};
  attributes.Length = sizeof(attributes);
  attributes.RootDirectory = folder;
  attributes.ObjectName = &object_name;
  attributes.Attributes = OBJ_CASE_INSENSITIVE;
  attributes.SecurityDescriptor = security_descriptor;
  IO_STATUS_BLOCK status = {};
  HANDLE handle = INVALID_HANDLE_VALUE;
  const LONG result = create(&handle, access | SYNCHRONIZE, &attributes,
                             &status, nullptr, FILE_ATTRIBUTE_NORMAL, share,
                             kDispositions[disposition], options, nullptr, 0);
  if (result < 0) {
    ::SetLastError(to_error(result));
    return INVALID_HANDLE_VALUE;
  }
  // As CreateFileW tells an existing entry from a new one.
  constexpr ULONG_PTR kCreated = 2;
  ::SetLastError(status.Information == kCreated ? ERROR_SUCCESS
                                                : ERROR_ALREADY_EXISTS);
  return handle;
}

HANDLE OpenWithoutLinks(const std::u16string& path, DWORD access, DWORD share,
                        DWORD disposition, DWORD flags) {
  return Open(path, access, share, disposition, flags, kPlainOnly);
}

HANDLE OpenEntryWithoutLinks(const std::u16string& path, DWORD access,
                             DWORD share) {
  return Open(path, access, share, OPEN_EXISTING, 0, kLinkItself | kOtherNames);
}

bool DeleteOpened(HANDLE handle) {
  FILE_DISPOSITION_INFO remove = {TRUE};
  return ::SetFileInformationByHandle(handle, FileDispositionInfo, &remove,
                                      sizeof(remove)) != 0;
}

bool DeleteOpenedNameAtOnce(HANDLE handle) {
  return SetDispositionEx(handle,
                          kDispositionDelete | kDispositionPosixSemantics) ||
         DeleteOpened(handle);
}

bool RenameOpened(HANDLE handle, const std::u16string& to, bool replace) {
  const std::u16string name = ToSystemPath(FilePath(to));
  const size_t name_bytes = name.size() * sizeof(char16_t);
  // The structure's own name unit stays as the terminating zero.
  std::vector<uint8_t> buffer(sizeof(FILE_RENAME_INFO) + name_bytes);
  auto* info = reinterpret_cast<FILE_RENAME_INFO*>(buffer.data());
  info->ReplaceIfExists = replace;
  info->RootDirectory = nullptr;
  info->FileNameLength = static_cast<DWORD>(name_bytes);
  memcpy(info->FileName, name.data(), name_bytes);
  return ::SetFileInformationByHandle(handle, FileRenameInfo, info,
                                      static_cast<DWORD>(buffer.size())) != 0;
}

bool RenameOpenedInto(HANDLE handle, HANDLE folder, const std::u16string& name,
                      bool replace) {
  // Straight to the kernel: the documented wrapper makes a relative name
  // absolute before it looks at the folder.
  using SetInformation =
      LONG(WINAPI*)(HANDLE, IO_STATUS_BLOCK*, void*, ULONG, ULONG);
  static const SetInformation set =
      NtdllFunction<SetInformation>("NtSetInformationFile");
  static const StatusToError to_error =
      NtdllFunction<StatusToError>("RtlNtStatusToDosError");
  if (!set || !to_error || !folder || name.empty() ||
      name.find_first_of(u"\\/") != std::u16string::npos) {
    ::SetLastError(ERROR_INVALID_PARAMETER);
    return false;
  }
  const size_t name_bytes = name.size() * sizeof(char16_t);
  std::vector<uint8_t> buffer(sizeof(FILE_RENAME_INFO) + name_bytes);
  auto* info = reinterpret_cast<FILE_RENAME_INFO*>(buffer.data());
  info->ReplaceIfExists = replace;
  info->RootDirectory = folder;
  info->FileNameLength = static_cast<DWORD>(name_bytes);
  memcpy(info->FileName, name.data(), name_bytes);
  constexpr ULONG kFileRenameInformation = 10;
  IO_STATUS_BLOCK status = {};
  const LONG result =
      set(handle, &status, info, static_cast<ULONG>(buffer.size()),
          kFileRenameInformation);
  if (result < 0) {
    ::SetLastError(to_error(result));
    return false;
  }
  return true;
}

bool DeleteWithoutLinks(const std::u16string& path, bool recursive) {
  // Held without delete sharing while its entries go, so that it can be
  // neither renamed nor replaced by a link meanwhile.
  const HANDLE entry = OpenEntryWithoutLinks(
      path, DELETE | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES | SYNCHRONIZE,
      FILE_SHARE_READ | FILE_SHARE_WRITE);
  if (entry == INVALID_HANDLE_VALUE) return IsMissing(::GetLastError());
  const DWORD attributes = OpenedAttributes(entry, path);
  if (attributes == INVALID_FILE_ATTRIBUTES) return CloseAnd(entry, false);
  return CloseAnd(entry, DeleteOpenedTree(entry, path, attributes, recursive));
}

bool DeleteEmptyFolderWithoutLinks(const std::u16string& path) {
  const HANDLE entry =
      OpenEntryWithoutLinks(path, DELETE | FILE_READ_ATTRIBUTES | SYNCHRONIZE,
                            FILE_SHARE_READ | FILE_SHARE_WRITE);
  if (entry == INVALID_HANDLE_VALUE) return IsMissing(::GetLastError());
  const DWORD attributes = OpenedAttributes(entry, path);
  if (attributes == INVALID_FILE_ATTRIBUTES ||
      !(attributes & FILE_ATTRIBUTE_DIRECTORY) ||
      internal::IsLink(attributes)) {
    ::SetLastError(ERROR_DIRECTORY);
    return CloseAnd(entry, false);
  }
  return CloseAnd(entry, DeleteOpened(entry));
}

bool MoveWithoutLinks(const std::u16string& from, const std::u16string& to,
                      bool replace) {
  const HANDLE entry = OpenEntryWithoutLinks(
      from, DELETE | SYNCHRONIZE, FILE_SHARE_READ | FILE_SHARE_WRITE);
  if (entry == INVALID_HANDLE_VALUE) return false;
  const HANDLE folder = HoldParent(to);
  if (folder == INVALID_HANDLE_VALUE) return CloseAnd(entry, false);
  const bool renamed = RenameOpened(entry, to, replace);
  CloseAnd(folder, renamed);
  return CloseAnd(entry, renamed);
}

bool CreateFolderWithoutLinks(const std::u16string& path,
                              SECURITY_ATTRIBUTES* attributes) {
  const HANDLE parent = HoldParent(path);
  if (parent == INVALID_HANDLE_VALUE) return false;
  const bool made =
      ::CreateDirectoryW(SystemPathArg(path, kPlainNewFolderLimit),
                         attributes) != 0;
  return CloseAnd(parent, made);
}

bool CopyFileWithoutLinks(const std::u16string& from,
                          const std::u16string& to) {
  const HANDLE source =
      OpenWithoutLinks(from, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING,
                       FILE_FLAG_SEQUENTIAL_SCAN);
  if (source == INVALID_HANDLE_VALUE) return false;
  const HANDLE copy = OpenWithoutLinks(
      to, GENERIC_WRITE | DELETE | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES,
      0, CREATE_NEW, FILE_FLAG_SEQUENTIAL_SCAN);
  if (copy == INVALID_HANDLE_VALUE) return CloseAnd(source, false);
  const bool copied = CopyOpenedFile(source, copy);
  if (!copied) {
    KeepLastError keep;
    DeleteOpened(copy);
  }
  CloseAnd(copy, copied);
  return CloseAnd(source, copied);
}

bool CopyOpenedFile(HANDLE from, HANDLE into) {
  FILE_BASIC_INFO times = {};
  if (!::GetFileInformationByHandleEx(from, FileBasicInfo, &times,
                                      sizeof(times))) {
    return false;
  }
  std::vector<char> buffer(1024 * 1024);
  for (;;) {
    DWORD read = 0;
    if (!::ReadFile(from, buffer.data(), static_cast<DWORD>(buffer.size()),
                    &read, nullptr)) {
      return false;
    }
    if (read == 0) break;
    DWORD written = 0;
    if (!::WriteFile(into, buffer.data(), read, &written, nullptr)) {
      return false;
    }
    if (written != read) {
      ::SetLastError(ERROR_HANDLE_DISK_FULL);
      return false;
    }
  }
  // The copy must stay replaceable and deletable.
  return SetAttributes(into, times.FileAttributes & ~FILE_ATTRIBUTE_READONLY,
                       &times);
}

HANDLE CreateTemporaryFileWithoutLinks(const std::u16string& folder,
                                       std::u16string* path,
                                       const std::u16string& prefix) {
  static std::atomic<uint32_t> calls{0};
  const uint32_t start = ::GetTickCount() + calls.fetch_add(1);
  const FilePath in(folder);
  for (uint32_t i = 0; i <= 0xFFFF; ++i) {
    const uint32_t unique = (start + i) & 0xFFFF;
    if (unique == 0) continue;
    char name[16];
    snprintf(name, sizeof(name), "%X.tmp", static_cast<unsigned>(unique));
    const std::u16string candidate =
        in.Append(prefix + ASCIIToUTF16(name)).value();
    const HANDLE file =
        OpenWithoutLinks(candidate, GENERIC_READ | GENERIC_WRITE | DELETE,
                         FILE_SHARE_READ, CREATE_NEW);
    if (file != INVALID_HANDLE_VALUE) {
      *path = candidate;
      return file;
    }
    const DWORD error = ::GetLastError();
    if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS)
      return INVALID_HANDLE_VALUE;
  }
  return INVALID_HANDLE_VALUE;
}

std::u16string GetFinalPathOfHandle(HANDLE handle) {
  std::u16string path = CallForPath([&](wchar_t* out, DWORD size) {
    return ::GetFinalPathNameByHandleW(handle, out, size,
                                       FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
  });
  if (path.empty()) path = ObjectNameInDosSpelling(handle);
  return StripLongPathPrefix(path);
}

std::u16string StripLongPathPrefix(const std::u16string& path) {
  if (path.compare(0, 8, kLongUncPrefix) == 0) return u"\\\\" + path.substr(8);
  if (path.compare(0, 4, kLongPrefix) == 0 && path.size() >= 6 &&
      path[5] == u':') {
    return path.substr(4);
  }
  return path;
}

bool PathsEqualIgnoringCase(const std::u16string& a, const std::u16string& b) {
  return ::CompareStringOrdinal(as_wcstr(a), static_cast<int>(a.size()),
                                as_wcstr(b), static_cast<int>(b.size()),
                                TRUE) == CSTR_EQUAL;
}

}  // namespace base
