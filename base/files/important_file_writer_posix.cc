#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <unistd.h>

#include <string>

#include "base/files/file_util.h"
#include "base/files/important_file_writer.h"

namespace base {
namespace internal {

namespace {

std::string NativePath(const FilePath& path) {
  std::string native = path.AsUTF8();
  for (char& c : native) {
    if (c == '\\') c = '/';
  }
  return native;
}

}  // namespace

namespace {

TempFileWriteResult WriteTempFile(const FilePath& temp_path, StringPiece data,
                                  uint32_t* system_error) {
  const int fd = open(NativePath(temp_path).c_str(), O_WRONLY | O_CLOEXEC);
  if (fd < 0) {
    *system_error = errno;
    return TempFileWriteResult::kOpenFailed;
  }
  TempFileWriteResult result = TempFileWriteResult::kOk;
  size_t done = 0;
  while (done < data.size()) {
    const ssize_t written = write(fd, data.data() + done, data.size() - done);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) {
      *system_error = written < 0 ? errno : ENOSPC;
      result = TempFileWriteResult::kWriteFailed;
      break;
    }
    done += static_cast<size_t>(written);
  }
  if (result == TempFileWriteResult::kOk && fsync(fd) != 0) {
    *system_error = errno;
    result = TempFileWriteResult::kFlushFailed;
  }
  close(fd);
  return result;
}

}  // namespace

TempFileWriteResult WriteThroughTempFile(const FilePath& path, StringPiece data,
                                         FilePath* temp_path,
                                         uint32_t* system_error) {
  if (!CreateTemporaryFileInDir(path.DirName(), temp_path)) {
    *system_error = errno;
    return TempFileWriteResult::kCreateFailed;
  }
  TempFileWriteResult result = WriteTempFile(*temp_path, data, system_error);
  if (result == TempFileWriteResult::kOk) {
    RunBeforeRenameHook(*temp_path, path);
    if (rename(NativePath(*temp_path).c_str(), NativePath(path).c_str()) == 0)
      return result;
    *system_error = errno;
    result = TempFileWriteResult::kRenameFailed;
  }
  unlink(NativePath(*temp_path).c_str());
  return result;
}

}  // namespace internal
}  // namespace base
