#include <errno.h>
#include <sys/stat.h>

#include "base/files/file_util.h"
#include "base/json/json_file_value_serializer.h"

namespace base {

bool JSONFileValueDeserializer::ReadFileContents(std::string* contents,
                                                 int* system_error) const {
  // A path refused before any system call leaves no stale error behind.
  errno = 0;
  if (FileUtil::ReadFileToString(json_file_path_, contents)) return true;
  *system_error = errno;
  return false;
}

// static
int JSONFileValueDeserializer::ClassifyReadError(int system_error,
                                                 const FilePath& path) {
  switch (system_error) {
    // A read refused by another process's mandatory lock.
    case EAGAIN:
      return JSON_FILE_LOCKED;
    case EACCES:
    case EPERM:
      return JSON_ACCESS_DENIED;
    default:
      break;
  }
  struct stat info;
  return stat(path.AsUTF8().c_str(), &info) == 0 ? JSON_CANNOT_READ_FILE
                                                 : JSON_NO_SUCH_FILE;
}

}  // namespace base
