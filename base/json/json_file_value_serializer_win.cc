#include <windows.h>

#include "base/files/file_util.h"
#include "base/json/json_file_value_serializer.h"
#include "base/strings/string_util_win.h"

namespace base {

bool JSONFileValueDeserializer::ReadFileContents(std::string* contents,
                                                 int* system_error) const {
  // A path refused before any system call leaves no stale error behind.
  SetLastError(ERROR_SUCCESS);
  if (FileUtil::ReadFileToString(json_file_path_, contents)) return true;
  *system_error = static_cast<int>(GetLastError());
  return false;
}

// static
int JSONFileValueDeserializer::ClassifyReadError(int system_error,
                                                 const FilePath& path) {
  switch (system_error) {
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
      return JSON_FILE_LOCKED;
    case ERROR_ACCESS_DENIED:
      return JSON_ACCESS_DENIED;
    default:
      break;
  }
  return GetFileAttributesW(as_wcstr(path.value())) == INVALID_FILE_ATTRIBUTES
             ? JSON_NO_SUCH_FILE
             : JSON_CANNOT_READ_FILE;
}

}  // namespace base
