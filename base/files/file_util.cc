#include "base/files/file_util.h"

#include <stdio.h>

#include <algorithm>
#include <memory>

namespace base {

namespace FileUtil {

bool ReadFileToStringWithMaxSize(const FilePath& path, std::string* contents,
                                 size_t max_size) {
  if (contents) contents->clear();
  if (path.ReferencesParent()) return false;
  FILE* file = OpenFile(path, "rb");
  if (!file) return false;

  constexpr size_t kChunkSize = 1 << 16;
  auto chunk = std::make_unique<char[]>(kChunkSize);
  size_t total = 0;
  bool result = true;
  size_t read;
  while ((read = fread(chunk.get(), 1, kChunkSize, file)) > 0) {
    const size_t room = max_size - total;
    if (contents) contents->append(chunk.get(), std::min(read, room));
    if (room < read) {
      result = false;
      break;
    }
    total += read;
  }
  // Stopped by a short read: the end of the file, or an error.
  if (result) result = !ferror(file);
  fclose(file);
  return result;
}

bool ReadFileToString(const FilePath& path, std::string* contents) {
  return ReadFileToStringWithMaxSize(path, contents, static_cast<size_t>(-1));
}

bool CreateDirectory(const FilePath& path) {
  return CreateDirectoryAndGetError(path, nullptr);
}

bool GetFileSize(const FilePath& path, int64_t* size) {
  File::Info info;
  if (!GetFileInfo(path, &info)) return false;
  *size = info.size;
  return true;
}

}  // namespace FileUtil

}  // namespace base
