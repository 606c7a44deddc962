// The portable build reads files through POSIX descriptors; paths are the
// UTF-8 form of the FilePath text with "/" separators.

#include <errno.h>
#include <fcntl.h>
#include <unistd.h>

#include <limits>

#include "base/logging.h"
#include "desktop/windows/crash_reporter/util/file/file_io.h"

namespace crash_reporter {

FileHandle InvalidFileHandle() { return -1; }

bool IsValidFileHandle(FileHandle file) { return file >= 0; }

FileHandle OpenFileForRead(const base::FilePath& path) {
  const std::string native = path.NormalizePathSeparatorsTo(u'/').AsUTF8();
  const int file = ::open(native.c_str(), O_RDONLY | O_CLOEXEC);
  if (file < 0) PLOG(ERROR) << "CreateFile " << path.value();
  return file;
}

FileOperationResult ReadFromFile(FileHandle file, void* buffer, size_t size) {
  CHECK(size <= std::numeric_limits<uint32_t>::max());
  char* const bytes = static_cast<char*>(buffer);
  size_t total = 0;
  while (total < size) {
    const ssize_t read = ::read(file, bytes + total, size - total);
    if (read < 0) {
      if (errno == EINTR) continue;
      return -1;
    }
    if (read == 0) break;
    total += static_cast<size_t>(read);
  }
  return static_cast<FileOperationResult>(total);
}

bool CloseFileLogged(FileHandle file) {
  if (::close(file) == 0) return true;
  PLOG(ERROR) << "CloseHandle";
  return false;
}

void CloseFileChecked(FileHandle file) { CHECK(CloseFileLogged(file)); }

}  // namespace crash_reporter
