#include <windows.h>

#include <utility>

#include "base/files/file.h"
#include "base/files/system_path_win.h"

namespace base {

File::File() : error_details_(FILE_ERROR_FAILED) {}

File::File(const FilePath& path, uint32_t flags) : error_details_(FILE_OK) {
  Initialize(path, flags);
}

File::File(File&& other) noexcept
    : file_(std::move(other.file_)),
      error_details_(other.error_details_),
      created_(other.created_),
      async_(other.async_) {}

File& File::operator=(File&& other) noexcept {
  file_ = std::move(other.file_);
  error_details_ = other.error_details_;
  created_ = other.created_;
  async_ = other.async_;
  return *this;
}

File::~File() { Close(); }

// static
File File::FileFromPath(const FilePath& path, uint32_t flags) {
  return File(path, flags);
}

void File::Initialize(const FilePath& path, uint32_t flags) {
  if (path.ReferencesParent()) {
    error_details_ = FILE_ERROR_ACCESS_DENIED;
    return;
  }
  DoInitialize(path, flags);
}

void File::DoInitialize(const FilePath& path, uint32_t flags) {
  DWORD disposition = 0;
  if (flags & FLAG_OPEN) disposition = OPEN_EXISTING;
  if (flags & FLAG_CREATE) disposition = CREATE_NEW;
  if (flags & FLAG_OPEN_ALWAYS) disposition = OPEN_ALWAYS;
  if (flags & FLAG_CREATE_ALWAYS) disposition = CREATE_ALWAYS;
  if (flags & FLAG_OPEN_TRUNCATED) disposition = TRUNCATE_EXISTING;
  if (!disposition) {
    // Nothing can be opened: say so instead of leaving a success behind.
    error_details_ = FILE_ERROR_INVALID_OPERATION;
    return;
  }

  DWORD access = 0;
  if (flags & FLAG_WRITE) access = GENERIC_WRITE;
  if (flags & FLAG_APPEND) access = FILE_APPEND_DATA;
  if (flags & FLAG_READ) access |= GENERIC_READ;
  if (flags & FLAG_WRITE_ATTRIBUTES) access |= FILE_WRITE_ATTRIBUTES;
  if (flags & FLAG_EXECUTE) access |= GENERIC_EXECUTE;

  DWORD sharing = 0;
  if (!(flags & FLAG_EXCLUSIVE_READ)) sharing |= FILE_SHARE_READ;
  if (!(flags & FLAG_EXCLUSIVE_WRITE)) sharing |= FILE_SHARE_WRITE;
  if (flags & FLAG_SHARE_DELETE) sharing |= FILE_SHARE_DELETE;

  DWORD create_flags = 0;
  if (flags & FLAG_ASYNC) create_flags |= FILE_FLAG_OVERLAPPED;
  if (flags & FLAG_TEMPORARY) create_flags |= FILE_ATTRIBUTE_TEMPORARY;
  if (flags & FLAG_HIDDEN) create_flags |= FILE_ATTRIBUTE_HIDDEN;
  if (flags & FLAG_DELETE_ON_CLOSE) create_flags |= FILE_FLAG_DELETE_ON_CLOSE;
  if (flags & FLAG_BACKUP_SEMANTICS) create_flags |= FILE_FLAG_BACKUP_SEMANTICS;
  if (flags & FLAG_SEQUENTIAL_SCAN) create_flags |= FILE_FLAG_SEQUENTIAL_SCAN;

  HANDLE handle = ::CreateFileW(SystemPathArg(path), access, sharing, nullptr,
                                disposition, create_flags, nullptr);
  // Read before the handle is stored: OPEN_ALWAYS tells through it whether
  // the file existed.
  const DWORD last_error = ::GetLastError();
  file_.Set(handle);
  if (!file_.IsValid()) {
    error_details_ = OSErrorToFileError(last_error);
    return;
  }
  error_details_ = FILE_OK;
  async_ = (flags & FLAG_ASYNC) != 0;
  if (flags & FLAG_OPEN_ALWAYS)
    created_ = last_error != ERROR_ALREADY_EXISTS;
  else
    created_ = (flags & (FLAG_CREATE | FLAG_CREATE_ALWAYS)) != 0;
}

bool File::IsValid() const { return file_.IsValid(); }

win::Handle File::GetPlatformFile() const { return file_.Get(); }

win::Handle File::TakePlatformFile() { return file_.Take(); }

void File::Close() {
  if (file_.IsValid()) file_.Close();
}

int64_t File::Seek(Whence whence, int64_t offset) {
  LARGE_INTEGER distance;
  distance.QuadPart = offset;
  LARGE_INTEGER position;
  if (!::SetFilePointerEx(file_.Get(), distance, &position,
                          static_cast<DWORD>(whence)))
    return -1;
  return position.QuadPart;
}

int File::ReadAtCurrentPos(char* data, int size) {
  if (size < 0) return -1;
  DWORD read = 0;
  if (::ReadFile(file_.Get(), data, static_cast<DWORD>(size), &read, nullptr))
    return static_cast<int>(read);
  if (::GetLastError() == ERROR_HANDLE_EOF) return 0;
  return -1;
}

int File::Write(int64_t offset, const char* data, int size) {
  if (size < 0) return -1;
  OVERLAPPED overlapped = {};
  overlapped.Offset = static_cast<DWORD>(offset & 0xFFFFFFFF);
  overlapped.OffsetHigh =
      static_cast<DWORD>(static_cast<uint64_t>(offset) >> 32);
  DWORD written = 0;
  if (!::WriteFile(file_.Get(), data, static_cast<DWORD>(size), &written,
                   &overlapped))
    return -1;
  return static_cast<int>(written);
}

int64_t File::GetLength() {
  LARGE_INTEGER size;
  if (!::GetFileSizeEx(file_.Get(), &size)) return -1;
  return size.QuadPart;
}

bool File::SetLength(int64_t length) {
  LARGE_INTEGER zero = {};
  LARGE_INTEGER saved;
  if (!::SetFilePointerEx(file_.Get(), zero, &saved, FILE_CURRENT))
    return false;
  LARGE_INTEGER end;
  end.QuadPart = length;
  if (!::SetFilePointerEx(file_.Get(), end, nullptr, FILE_BEGIN)) return false;
  if (!::SetEndOfFile(file_.Get())) return false;
  return ::SetFilePointerEx(file_.Get(), saved, nullptr, FILE_BEGIN) != 0;
}

bool File::Flush() { return ::FlushFileBuffers(file_.Get()) != 0; }

bool File::GetInfo(Info* info) {
  BY_HANDLE_FILE_INFORMATION file_info;
  if (!::GetFileInformationByHandle(file_.Get(), &file_info)) return false;
  info->size = (static_cast<int64_t>(file_info.nFileSizeHigh) << 32) |
               file_info.nFileSizeLow;
  info->is_directory =
      (file_info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  info->is_symbolic_link = false;
  info->last_modified = Time::FromFileTime(file_info.ftLastWriteTime);
  info->last_accessed = Time::FromFileTime(file_info.ftLastAccessTime);
  info->creation_time = Time::FromFileTime(file_info.ftCreationTime);
  return true;
}

}  // namespace base
