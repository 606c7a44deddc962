#include "base/test/scoped_temp_dir.h"

#include <atomic>
#include <random>
#include <string>

#include "base/files/file_util.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace base {

namespace {

std::atomic<unsigned> g_counter{0};

unsigned long CurrentProcessId() {
#if defined(_WIN32)
  return ::GetCurrentProcessId();
#else
  return static_cast<unsigned long>(getpid());
#endif
}

}  // namespace

ScopedTempDir::~ScopedTempDir() {
  if (IsValid()) Delete();
}

bool ScopedTempDir::CreateUniqueTempDir() {
  FilePath temp;
  return GetTempDir(&temp) && CreateUniqueTempDirUnderPath(temp);
}

bool ScopedTempDir::CreateUniqueTempDirUnderPath(const FilePath& parent) {
  if (IsValid() || !FileUtil::CreateDirectory(parent)) return false;
  std::random_device random;
  for (int attempt = 0; attempt < 16; ++attempt) {
    const std::string name =
        "velna_test_" + std::to_string(CurrentProcessId()) + "_" +
        std::to_string(g_counter++) + "_" + std::to_string(random());
    const FilePath candidate = parent.AppendASCII(name);
    if (PathExists(candidate)) continue;
    if (FileUtil::CreateDirectory(candidate)) {
      path_ = candidate;
      return true;
    }
  }
  return false;
}

bool ScopedTempDir::Delete() {
  if (!IsValid()) return false;
  const bool deleted = DeleteFileOrDirectory(path_, true);
  if (deleted) path_ = FilePath();
  return deleted;
}

}  // namespace base
