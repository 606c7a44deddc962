// FileSecurity: the owner, group and access list of a file, for operations
// that move a file into another folder. A file moved within a volume keeps
// its security descriptor, where a file created in its new folder gets the
// entries that folder passes on and this process's default owner: a
// package unpacked by the user's front end and moved into an installation
// of an elevated backend would otherwise stay the user's, writable by them.
//
// Get() gives the real implementation over the security functions; tests
// put a recording one in its place (SetForTesting), since Wine synthesises
// access lists when they are read and keeps none that are written. Any
// thread; no state beyond the test's replacement.

#ifndef DESKTOP_WINDOWS_INSTALLER_SERVICE_TRANSACTIONS_FILE_SECURITY_H_
#define DESKTOP_WINDOWS_INSTALLER_SERVICE_TRANSACTIONS_FILE_SECURITY_H_

#include <stdint.h>

#include <vector>

#include "base/files/file_path.h"

namespace installer {

class FileSecurity {
 public:
  // A file's owner, group and access list: a self-relative security
  // descriptor.
  using Saved = std::vector<uint8_t>;

  // The implementation in use.
  static FileSecurity* Get();
  // |security| (not owned; null restores the real one) in place of the
  // real implementation, for tests.
  static void SetForTesting(FileSecurity* security);

  virtual ~FileSecurity() = default;

  // Reads the owner, group and access list of |path| into |*saved|; false
  // when they cannot be read.
  virtual bool Save(const base::FilePath& path, Saved* saved);
  // Gives |path| what a file created there by this process would have:
  // the process's default owner and primary group, and only the access
  // entries its folder passes on. False when they cannot be written.
  virtual bool TakeFolderSecurity(const base::FilePath& path);
  // Writes |saved| back to |path|, including whether its access list takes
  // entries from its folder. False when it cannot.
  virtual bool Restore(const base::FilePath& path, const Saved& saved);
};

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_SERVICE_TRANSACTIONS_FILE_SECURITY_H_
