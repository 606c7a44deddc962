// The portable subset of the file utilities, for code and tests that also
// run away from Windows. Paths are the UTF-8 form of the FilePath text with
// every separator turned into "/".

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <fnmatch.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "base/files/file_util.h"
#include "base/strings/utf_string_conversions.h"

namespace base {

namespace {

// FilePath inserts "\" between components; this system's separator is "/".
std::string Native(const FilePath& path) {
  return path.NormalizePathSeparatorsTo(u'/').AsUTF8();
}

File::Error ErrnoToFileError(int error) {
  switch (error) {
    case EEXIST:
      return File::FILE_ERROR_EXISTS;
    case ENOENT:
      return File::FILE_ERROR_NOT_FOUND;
    case EACCES:
    case EPERM:
    case EROFS:
      return File::FILE_ERROR_ACCESS_DENIED;
    case ENOTDIR:
      return File::FILE_ERROR_NOT_A_DIRECTORY;
    case ENOSPC:
      return File::FILE_ERROR_NO_SPACE;
    default:
      return File::FILE_ERROR_FAILED;
  }
}

// Entry names of |folder| matching |pattern|, without "." and "..".
bool ListFolder(const FilePath& folder, const std::string& pattern,
                std::vector<std::string>* names) {
  DIR* dir = opendir(Native(folder).c_str());
  if (!dir) return false;
  while (const dirent* entry = readdir(dir)) {
    const std::string name = entry->d_name;
    if (name == "." || name == "..") continue;
    if (fnmatch(pattern.c_str(), name.c_str(), 0) == 0) names->push_back(name);
  }
  closedir(dir);
  return true;
}

bool DeleteEntry(const FilePath& path, const std::string& pattern,
                 bool recursive) {
  struct stat info;
  if (lstat(Native(path).c_str(), &info) != 0) return true;
  // lstat: a symbolic link is removed itself, never followed.
  if (!S_ISDIR(info.st_mode)) return unlink(Native(path).c_str()) == 0;
  if (recursive) {
    std::vector<std::string> names;
    ListFolder(path, pattern, &names);
    for (const std::string& name : names) {
      if (!DeleteEntry(path.AppendPath(FilePath(UTF8ToUTF16(name))), pattern,
                       true))
        return false;
    }
  }
  return rmdir(Native(path).c_str()) == 0;
}

}  // namespace

bool PathExists(const FilePath& path) {
  return access(Native(path).c_str(), F_OK) == 0;
}

bool DirectoryExists(const FilePath& path) {
  struct stat info;
  return stat(Native(path).c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool DeleteFileOrDirectory(const FilePath& path, bool recursive) {
  if (path.empty()) return true;
  if (path.value().size() >= kMaxPathLength) return false;
  const std::string base_name = path.BaseName().AsUTF8();
  if (base_name.find_first_of("*?") == std::string::npos)
    return DeleteEntry(path, "*", recursive);

  std::vector<std::string> names;
  ListFolder(path.DirName(), base_name, &names);
  for (const std::string& name : names) {
    const FilePath entry =
        path.DirName().AppendPath(FilePath(UTF8ToUTF16(name)));
    if (!recursive && DirectoryExists(entry)) continue;
    if (!DeleteEntry(entry, base_name, recursive)) return false;
  }
  return true;
}

bool ReplaceFile(const FilePath& from, const FilePath& to) {
  return rename(Native(from).c_str(), Native(to).c_str()) == 0;
}

bool CreateDirectoryAndGetError(const FilePath& path, File::Error* error) {
  struct stat info;
  if (stat(Native(path).c_str(), &info) == 0) {
    if (S_ISDIR(info.st_mode)) return true;
    if (error) *error = File::FILE_ERROR_NOT_A_DIRECTORY;
    return false;
  }
  const FilePath parent = path.DirName();
  if (parent == path) {
    if (error) *error = File::FILE_ERROR_NOT_FOUND;
    return false;
  }
  if (!CreateDirectoryAndGetError(parent, error)) return false;
  if (mkdir(Native(path).c_str(), 0700) == 0) return true;
  const int mkdir_error = errno;
  if (mkdir_error == EEXIST && DirectoryExists(path)) return true;
  if (error) *error = ErrnoToFileError(mkdir_error);
  return false;
}

bool GetTempDir(FilePath* path) {
  const char* folder = getenv("TMPDIR");
  *path = FilePath(UTF8ToUTF16(folder && *folder ? folder : "/tmp"))
              .StripTrailingSeparators();
  return true;
}

bool CreateTemporaryFile(FilePath* path) {
  FilePath temp;
  return GetTempDir(&temp) && CreateTemporaryFileInDir(temp, path);
}

bool CreateTemporaryFileInDir(const FilePath& folder, FilePath* path) {
  std::string name = Native(folder.AppendASCII("tmpXXXXXX"));
  const int fd = mkstemp(name.data());
  if (fd < 0) return false;
  close(fd);
  *path = FilePath(UTF8ToUTF16(name));
  return true;
}

bool GetFileInfo(const FilePath& path, File::Info* info) {
  struct stat stat_info;
  if (stat(Native(path).c_str(), &stat_info) != 0) return false;
  info->size = stat_info.st_size;
  info->is_directory = S_ISDIR(stat_info.st_mode);
  info->last_modified = Time::FromTimeT(stat_info.st_mtime);
  info->last_accessed = Time::FromTimeT(stat_info.st_atime);
  info->creation_time = Time::FromTimeT(stat_info.st_ctime);
  return true;
}

bool GetCurrentDirectory(FilePath* path) {
  char folder[kMaxPathLength];
  if (!getcwd(folder, sizeof(folder))) return false;
  *path = FilePath(UTF8ToUTF16(folder)).StripTrailingSeparators();
  return true;
}

FILE* OpenFile(const FilePath& path, const char* mode) {
  return fopen(Native(path).c_str(), mode);
}

int ReadFileIntoBuffer(const FilePath& path, char* data, int size) {
  if (size < 0) return -1;
  const int fd = open(Native(path).c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return -1;
  const ssize_t read_count = read(fd, data, size);
  close(fd);
  return read_count < 0 ? -1 : static_cast<int>(read_count);
}

int WriteBufferToFile(const FilePath& path, const char* data, int size) {
  if (size < 0) return -1;
  const int fd = open(Native(path).c_str(),
                      O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (fd < 0) return -1;
  const ssize_t written = write(fd, data, size);
  close(fd);
  return written == size ? size : -1;
}

bool AppendToFile(const FilePath& path, const char* data, int size) {
  if (size < 0) return false;
  const int fd = open(Native(path).c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
  if (fd < 0) return false;
  const ssize_t written = write(fd, data, size);
  close(fd);
  return written == size;
}

namespace FileUtil {

bool Move(const FilePath& from, const FilePath& to) {
  if (from.ReferencesParent() || to.ReferencesParent()) return false;
  return rename(Native(from).c_str(), Native(to).c_str()) == 0;
}

}  // namespace FileUtil

}  // namespace base
