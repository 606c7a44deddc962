// File: the owned handle of one open file, with position-based reads,
// offset writes, length and information queries.
//
// Open flags are portable bits that map onto CreateFileW; Windows error codes
// become File::Error values, which callers report. An open failure leaves the
// object invalid with the reason in error_details(). A File is used by one
// thread at a time; the handle is closed when the File is destroyed.

#ifndef BASE_FILES_FILE_H_
#define BASE_FILES_FILE_H_

#include <stdint.h>

#include "base/files/file_path.h"
#include "base/time/time.h"
#include "base/win/scoped_handle.h"

namespace base {

class File {
 public:
  // Open flags. Exactly one disposition should be given; when several are,
  // CREATE_ALWAYS beats OPEN_ALWAYS beats CREATE beats OPEN, and
  // OPEN_TRUNCATED replaces the choice.
  enum Flags : uint32_t {
    FLAG_OPEN = 1 << 0,
    FLAG_CREATE = 1 << 1,
    FLAG_OPEN_ALWAYS = 1 << 2,
    FLAG_CREATE_ALWAYS = 1 << 3,
    FLAG_OPEN_TRUNCATED = 1 << 4,
    FLAG_READ = 1 << 5,
    FLAG_WRITE = 1 << 6,
    // FILE_APPEND_DATA in place of write access.
    FLAG_APPEND = 1 << 7,
    FLAG_EXCLUSIVE_READ = 1 << 8,
    FLAG_EXCLUSIVE_WRITE = 1 << 9,
    FLAG_ASYNC = 1 << 10,
    FLAG_TEMPORARY = 1 << 11,
    FLAG_HIDDEN = 1 << 12,
    FLAG_DELETE_ON_CLOSE = 1 << 13,
    FLAG_WRITE_ATTRIBUTES = 1 << 14,
    FLAG_SHARE_DELETE = 1 << 15,
    FLAG_BACKUP_SEMANTICS = 1 << 17,
    FLAG_EXECUTE = 1 << 18,
    FLAG_SEQUENTIAL_SCAN = 1 << 19,
  };

  enum Error : int {
    FILE_OK = 0,
    FILE_ERROR_FAILED = -1,
    FILE_ERROR_IN_USE = -2,
    FILE_ERROR_EXISTS = -3,
    FILE_ERROR_NOT_FOUND = -4,
    FILE_ERROR_ACCESS_DENIED = -5,
    FILE_ERROR_TOO_MANY_OPENED = -6,
    FILE_ERROR_NO_MEMORY = -7,
    FILE_ERROR_NO_SPACE = -8,
    FILE_ERROR_NOT_A_DIRECTORY = -9,
    FILE_ERROR_INVALID_OPERATION = -10,
    FILE_ERROR_IO = -16,
  };

  // The origin of Seek, passed to the system as it is.
  enum Whence : int {
    FROM_BEGIN = 0,
    FROM_CURRENT = 1,
    FROM_END = 2,
  };

  struct Info {
    int64_t size = 0;
    bool is_directory = false;
    // Always false: links are not told apart.
    bool is_symbolic_link = false;
    Time last_modified;
    Time last_accessed;
    Time creation_time;
  };

  // No file; error_details() is FILE_ERROR_FAILED.
  File();
  File(const FilePath& path, uint32_t flags);
  File(File&& other) noexcept;
  File& operator=(File&& other) noexcept;
  File(const File&) = delete;
  File& operator=(const File&) = delete;
  ~File();

  static File FileFromPath(const FilePath& path, uint32_t flags);

  // Opens |path|. A path that references a parent folder is refused with
  // FILE_ERROR_ACCESS_DENIED before any system call; flags without a
  // disposition open nothing and report FILE_ERROR_INVALID_OPERATION.
  void Initialize(const FilePath& path, uint32_t flags);

  bool IsValid() const;
  // Still owned by this File.
  win::Handle GetPlatformFile() const;
  // The caller becomes the owner; this File is left without a handle.
  win::Handle TakePlatformFile();
  void Close();

  // The new position, or -1.
  int64_t Seek(Whence whence, int64_t offset);
  // The count read; 0 at the end of the file; -1 on failure or for a
  // negative size.
  int ReadAtCurrentPos(char* data, int size);
  // Writes at |offset| (ignored by an append-only file); the count written,
  // or -1.
  int Write(int64_t offset, const char* data, int size);
  // -1 on failure.
  int64_t GetLength();
  // Moves the end of the file and keeps the position, even beyond the new
  // end. On failure the position may have moved.
  bool SetLength(int64_t length);
  bool Flush();
  bool GetInfo(Info* info);

  // The outcome of the most recent open.
  Error error_details() const { return error_details_; }
  // The most recent open created the file.
  bool created() const { return created_; }
  bool async() const { return async_; }

  // Windows error code to File::Error. A code without a mapping gives
  // FILE_ERROR_FAILED and is counted in "PlatformFile.UnknownErrors.Windows".
  static Error OSErrorToFileError(uint32_t error_code);

 private:
  void DoInitialize(const FilePath& path, uint32_t flags);

  win::ScopedHandle file_;
  Error error_details_;
  bool created_ = false;
  bool async_ = false;
};

}  // namespace base

#endif  // BASE_FILES_FILE_H_
