// Steps shared by the copy and move operations.

#ifndef DESKTOP_WINDOWS_INSTALLER_SERVICE_TRANSACTIONS_FILE_OPERATION_HELPERS_H_
#define DESKTOP_WINDOWS_INSTALLER_SERVICE_TRANSACTIONS_FILE_OPERATION_HELPERS_H_

#include <windows.h>

#include <memory>
#include <vector>

#include "base/files/file_path.h"
#include "base/win/scoped_handle.h"

namespace base {
class FolderWalk;
}

namespace installer {

class Transaction;

// The folders a run of many file operations reaches its entries through:
// one walk (base::FolderWalk) per root, such as the package's folder and
// the install folder, so that each entry below a root costs one open
// relative to its held folder, and each folder on the way was checked
// once, when first reached. Kept for one step of many files and then let
// go: a held folder cannot be deleted, as a rollback may need to. Holds
// nothing else; operations use it only while they run.
class HeldFolders {
 public:
  HeldFolders();
  HeldFolders(const HeldFolders&) = delete;
  HeldFolders& operator=(const HeldFolders&) = delete;
  ~HeldFolders();

  // Walks below |root| from now on; one that cannot be opened is left out,
  // and its entries go by their paths.
  void Add(const base::FilePath& root);
  // The walk below whose root |path| lies, with |path| relative to that
  // root in |*relative|; null when none holds it.
  base::FolderWalk* Find(const base::FilePath& path,
                         base::FilePath* relative) const;
  // Lets go of every held folder on the way to |path| below its root, after
  // a failure, so that the rollback that follows may remove those it made.
  void LetGoOnTheWay(const base::FilePath& path) const;

 private:
  std::vector<std::unique_ptr<base::FolderWalk>> walks_;
};

// What a move through held folders came to. kByPath: nothing was changed,
// and the move is left to the road by path, which also handles what this
// one does not (an existing destination, a read-only file, a link).
enum class HeldMove { kDone, kFailed, kByPath };

// The folder that holds |relative| (a path below a walk's root), relative
// to the same root: empty for the root itself.
base::FilePath HeldParentOf(const base::FilePath& relative);

// Reaches the held folder of |walk| that is to hold |relative|, the entry
// |path| below its root, into |*folder|. A missing one is made by an
// operation run into |sub|, as PrepareDestination makes it, so that a
// rollback removes it again: kFailed when that failed, kByPath when the
// walk cannot give the folder for another reason.
HeldMove ReachHeldParent(base::FolderWalk* walk, const base::FilePath& relative,
                         const base::FilePath& path, Transaction* sub,
                         HANDLE* folder);

// Opens the file |relative| in its held folder of |walk| with |access|, to
// move it by name; empty where it cannot be, and for a read-only file,
// whose bit the road by path clears first.
base::win::ScopedHandle OpenToMoveInHeldFolder(base::FolderWalk* walk,
                                               const base::FilePath& relative,
                                               DWORD access);

// Makes room for a file at |destination|: creates its missing folder, or
// moves an existing file there aside, as an operation run into |sub|. False
// when that operation failed.
bool PrepareDestination(const base::FilePath& destination, Transaction* sub);

// Clears the read-only bit of |path|. True when it was set and is now
// cleared; a failure to clear is logged and gives false.
bool ClearReadOnlyAttribute(const base::FilePath& path);

// The same for the file |file| holds (with FILE_READ_ATTRIBUTES and
// FILE_WRITE_ATTRIBUTES), whose path, for the log, is |path|.
bool ClearReadOnlyAttributeOpened(HANDLE file, const base::FilePath& path);

// Sets the read-only bit of |path| again; failures are ignored.
void RestoreReadOnlyAttribute(const base::FilePath& path);

// Whether a file that cannot be deleted now may be left to the system,
// which deletes it by its path as it next starts, whatever the path leads
// to then: not where another account may change a folder on the way. For
// the whole process, from any thread; allowed until set otherwise.
void SetDeleteAtRestartAllowed(bool allowed);
bool IsDeleteAtRestartAllowed();

// Deletes |path| (and, when |recursive|, what it holds) through no link.
// One that cannot go now (a program in use) is left to the system to
// delete at the next restart where that is allowed, else left and said in
// the log. A path through a link is left as it is; an empty one is
// nothing.
void DeleteNowOrAtRestart(const base::FilePath& path, bool recursive);

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_SERVICE_TRANSACTIONS_FILE_OPERATION_HELPERS_H_
