#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "desktop/windows/crash_reporter/crash_file.h"

namespace crash_reporter {

namespace {

std::string NativePath(const base::FilePath& path) {
  return path.NormalizePathSeparatorsTo(u'/').AsUTF8();
}

}  // namespace

FILE* OpenCrashFile(const base::FilePath& path, CrashFileMode mode,
                    bool /*text*/) {
  int flags = O_WRONLY | O_NOFOLLOW | O_CLOEXEC;
  if (mode == CrashFileMode::kCreate) flags |= O_CREAT | O_EXCL;
  if (mode == CrashFileMode::kReplace) flags |= O_CREAT;
  if (mode == CrashFileMode::kAppend) flags |= O_APPEND;
  const int file = ::open(NativePath(path).c_str(), flags, 0644);
  if (file < 0) return nullptr;
  struct stat info = {};
  // Emptied only once known to be no second name of some other file.
  const bool plain =
      ::fstat(file, &info) == 0 && S_ISREG(info.st_mode) && info.st_nlink == 1;
  if (!plain || (mode == CrashFileMode::kReplace && ::ftruncate(file, 0))) {
    const int error = plain ? errno : EMLINK;
    ::close(file);
    errno = error;
    return nullptr;
  }
  FILE* stream = ::fdopen(file, mode == CrashFileMode::kAppend ? "a" : "w");
  if (!stream) ::close(file);
  return stream;
}

bool CloseCrashFile(FILE* stream, const base::FilePath& path, bool keep) {
  if (!keep) ::unlink(NativePath(path).c_str());
  return fclose(stream) == 0 && keep;
}

}  // namespace crash_reporter
