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
#include <windows.h>

#include <map>
#include <string>
#include <vector>

#include "base/files/file_path.h"
#include "desktop/windows/installer/service/transactions/file_operation_helpers.h"

namespace installer {

class FileSecurity {
 public:
  // A file's owner, group and access list: a self-relative security
  // descriptor.
  using Saved = std::vector<uint8_t>;

  // What the first file moved into each folder was given, for the files
  // moved there after it: working out what a folder passes on costs many
  // times more than writing the result, and every file in one folder gets
  // the same. Keep one for one set of moves (an installation's), on one
  // thread.
  class FolderSecurities {
   public:
    FolderSecurities();
    ~FolderSecurities();

    // What files moved into |folder| take, or null before the first.
    const Saved* Find(const base::FilePath& folder) const;
    void Add(const base::FilePath& folder, Saved security);
    size_t size() const { return by_folder_.size(); }

   private:
    std::map<std::u16string, Saved> by_folder_;
  };

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

  // Moves |source| to |destination| after saving its security into |*saved|,
  // then gives it its new folder's security as TakeFolderSecurity does, reusing
  // what |known| (may be null) holds for that folder and adding to it. False
  // when any step fails: the file is then back in its place with its own
  // security.
  virtual bool MoveTakingFolderSecurity(const base::FilePath& source,
                                        const base::FilePath& destination,
                                        Saved* saved, FolderSecurities* known);
  // The same for the file |source| below |source_walk|'s root, renamed into
  // the held |folder| (of |destination|) by its name alone. kByPath, having
  // changed nothing, for what only the road by path handles; this one
  // leaves every move to it.
  virtual HeldMove MoveIntoHeldFolder(base::FolderWalk* source_walk,
                                      const base::FilePath& source,
                                      HANDLE folder,
                                      const base::FilePath& destination,
                                      Saved* saved, FolderSecurities* known);
};

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_SERVICE_TRANSACTIONS_FILE_SECURITY_H_
