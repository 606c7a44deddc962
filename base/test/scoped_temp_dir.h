// ScopedTempDir: a uniquely named folder for one test, created on demand and
// deleted with everything in it when the object goes out of scope.
//
// Names combine the process id, a per-process counter and a random part, so
// tests running in parallel processes never share a folder.

#ifndef BASE_TEST_SCOPED_TEMP_DIR_H_
#define BASE_TEST_SCOPED_TEMP_DIR_H_

#include "base/files/file_path.h"

namespace base {

class ScopedTempDir {
 public:
  ScopedTempDir() = default;
  ScopedTempDir(const ScopedTempDir&) = delete;
  ScopedTempDir& operator=(const ScopedTempDir&) = delete;
  // Deletes the folder tree, if one is held.
  ~ScopedTempDir();

  // Creates a new folder in the system's temporary folder. False when one is
  // already held or it cannot be created.
  bool CreateUniqueTempDir();
  // The same below |parent|, which is created when missing.
  bool CreateUniqueTempDirUnderPath(const FilePath& parent);

  // Deletes the folder tree now; true when it is gone.
  bool Delete();

  const FilePath& GetPath() const { return path_; }
  bool IsValid() const { return !path_.empty(); }

 private:
  FilePath path_;
};

}  // namespace base

#endif  // BASE_TEST_SCOPED_TEMP_DIR_H_
