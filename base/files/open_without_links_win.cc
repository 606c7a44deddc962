#include "base/files/open_without_links_win.h"

#include <vector>

#include "base/files/file_attributes_win.h"
#include "base/files/file_path.h"
#include "base/files/system_path_win.h"
#include "base/strings/string_util_win.h"

namespace base {

namespace {

constexpr char16_t kLongPrefix[] = u"\\\\?\\";
constexpr char16_t kLongUncPrefix[] = u"\\\\?\\UNC\\";

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

bool IsAcceptable(HANDLE handle, const std::u16string& path) {
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
  if (internal::IsReparsePoint(
          internal::WalkAttributes(FilePath(path), tag.FileAttributes))) {
    return false;
  }
  if (!standard.Directory && standard.NumberOfLinks != 1) return false;
  const std::u16string final_path = GetFinalPathOfHandle(handle);
  if (final_path.empty()) return false;
  // Most paths are spelled as the system resolves them already; making one
  // absolute and long costs a look at every folder on the way.
  if (PathsEqualIgnoringCase(final_path, StripLongPathPrefix(path)))
    return true;
  const std::u16string expected = ExpectedFinalPath(path);
  return !expected.empty() && PathsEqualIgnoringCase(final_path, expected);
}

}  // namespace

HANDLE OpenWithoutLinks(const std::u16string& path, DWORD access, DWORD share,
                        DWORD disposition, DWORD flags) {
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
  HANDLE handle = ::CreateFileW(
      SystemPathArg(path), access, share | (may_create ? FILE_SHARE_DELETE : 0),
      nullptr, open_disposition,
      flags | FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT,
      nullptr);
  if (handle == INVALID_HANDLE_VALUE) return INVALID_HANDLE_VALUE;
  const bool created = may_create && (disposition == CREATE_NEW ||
                                      ::GetLastError() != ERROR_ALREADY_EXISTS);
  if (IsAcceptable(handle, path)) {
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
      FILE_DISPOSITION_INFO remove = {TRUE};
      ::SetFileInformationByHandle(remover, FileDispositionInfo, &remove,
                                   sizeof(remove));
      ::CloseHandle(remover);
    }
  }
  ::CloseHandle(handle);
  ::SetLastError(ERROR_CANT_ACCESS_FILE);
  return INVALID_HANDLE_VALUE;
}

std::u16string GetFinalPathOfHandle(HANDLE handle) {
  return StripLongPathPrefix(CallForPath([&](wchar_t* out, DWORD size) {
    return ::GetFinalPathNameByHandleW(handle, out, size,
                                       FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
  }));
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
