// DeleteFileOperation: removes a file (or folder) in a way that can be
// undone: Execute() moves it aside to "<name>.<seconds since 1970>.old" in
// the same folder, Rollback() moves it back, and the destructor (commit)
// deletes the aside copy, or has the system delete it at the next restart
// when it cannot and that is allowed (DeleteNowOrAtRestart), and with
// |remove_empty_parents| removes the folders that became empty.
//
// With |check_in_use|, an ".exe" or ".dll" that some process still holds
// (it will not open for writing once moved) is moved back and the operation
// fails. When the current user lacks write and delete access to the file,
// the access is granted for good before the move; never to a junction or
// symbolic link (which is moved aside as itself) or to anything reached
// through one.
//
// Every step acts on the entry opened without following a link anywhere on
// its path: a path that leads through a link fails, and nothing it leads
// to is moved, granted or deleted.
//
// Given HeldFolders that hold its folder's root, a plain file (no link, no
// other names, its access already the current user's) is opened in its
// held folder and renamed aside there by its name alone, nothing on its
// path looked up again; anything else goes by its path as above.
//
// A file whose move back fails at rollback stays under its aside name and is
// never deleted by the destructor.
//
// An aside copy itself (a name IsAsideCopyName takes) is not moved aside
// once more, where a run ended before its commit would leave it under a name
// that no later run takes for one: it stays in place, and the commit deletes
// it.

#ifndef DESKTOP_WINDOWS_INSTALLER_SERVICE_TRANSACTIONS_DELETE_FILE_OPERATION_H_
#define DESKTOP_WINDOWS_INSTALLER_SERVICE_TRANSACTIONS_DELETE_FILE_OPERATION_H_

#include <windows.h>

#include <memory>
#include <vector>

#include "base/files/file_path.h"
#include "base/win/scoped_handle.h"
#include "desktop/windows/installer/service/transactions/file_operation_helpers.h"
#include "desktop/windows/installer/service/transactions/operation.h"

namespace installer {

class DeleteFileOperation : public Operation {
 public:
  DeleteFileOperation(const base::FilePath& path, bool check_in_use,
                      bool remove_empty_parents,
                      std::weak_ptr<HeldFolders> held_folders = {});
  // Commit: deletes the aside copy.
  ~DeleteFileOperation() override;

  bool Execute(Transaction* sub) override;
  void Rollback() override;

  // The aside copies of |path| that are still there: the entries of its
  // folder named "<its name>.<decimal digits>.old", which a deletion leaves
  // when its process ends before the commit.
  static std::vector<base::FilePath> FindAsideCopies(
      const base::FilePath& path);
  // Whether |name| is the name of an aside copy; then |*original| (may be
  // null) receives the name it was moved from.
  static bool IsAsideCopyName(const std::u16string& name,
                              std::u16string* original);

 private:
  // False (after an error line) when the moved file, open as |entry|,
  // cannot be opened for writing, which is how a running or loaded image
  // shows.
  bool IsWritable(HANDLE entry) const;
  // The move aside through |held_folders_|; kByPath, having changed
  // nothing, for what only the road by path handles.
  HeldMove MoveAsideInHeldFolder();
  // The move aside by the path, as the top says.
  bool MoveAsideByPath();
  void RemoveEmptyParents() const;

  const base::FilePath path_;
  base::FilePath aside_path_;
  // The file is under |aside_path_| and is deleted at commit.
  bool moved_ = false;
  // The file moved aside in its held folder, which the commit deletes
  // through this handle, looking up no path again.
  base::win::ScopedHandle held_entry_;
  // An aside copy that the commit deletes where it is.
  bool delete_in_place_ = false;
  // There was nothing at |path_|; its folders are still tried at commit.
  bool absent_ = false;
  const bool check_in_use_;
  const bool remove_empty_parents_;
  const std::weak_ptr<HeldFolders> held_folders_;
};

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_SERVICE_TRANSACTIONS_DELETE_FILE_OPERATION_H_
