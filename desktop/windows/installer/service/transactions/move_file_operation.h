// MoveFileOperation: moves one file (or folder) into place. A missing
// destination folder is created and an existing destination file is moved
// aside first, both as sub-operations; rollback moves the file back to its
// source and the old destination file comes back too.
//
// With kTakeFolderSecurity the moved file gets the owner and access list a
// file created in its new folder would get (see FileSecurity), as a copy
// does; when that cannot be done the file goes back and Execute fails.
// Rollback then gives it back its own security with its old place. The
// moves of one installation share what their folders passed on (see
// FileSecurity::FolderSecurities).
//
// Given HeldFolders that hold both places, the file is opened in its held
// folder and renamed into the destination's held folder by its name alone,
// nothing on either path looked up again; what that road does not handle
// goes by path as above.

#ifndef DESKTOP_WINDOWS_INSTALLER_SERVICE_TRANSACTIONS_MOVE_FILE_OPERATION_H_
#define DESKTOP_WINDOWS_INSTALLER_SERVICE_TRANSACTIONS_MOVE_FILE_OPERATION_H_

#include <memory>

#include "base/files/file_path.h"
#include "desktop/windows/installer/service/transactions/file_operation_helpers.h"
#include "desktop/windows/installer/service/transactions/file_security.h"
#include "desktop/windows/installer/service/transactions/operation.h"

namespace installer {

class MoveFileOperation : public Operation {
 public:
  enum Security { kKeepSecurity, kTakeFolderSecurity };

  MoveFileOperation(const base::FilePath& source,
                    const base::FilePath& destination,
                    Security security = kKeepSecurity,
                    std::shared_ptr<FileSecurity::FolderSecurities>
                        folder_securities = nullptr,
                    std::weak_ptr<HeldFolders> held_folders = {});
  ~MoveFileOperation() override;

  bool Execute(Transaction* sub) override;
  void Rollback() override;

 private:
  // The move through |held_folders_|, its missing destination folder made
  // as a sub-operation into |sub|.
  HeldMove MoveThroughHeldFolders(Transaction* sub);
  // The move by the two paths, as the top says.
  bool MoveByPath(Transaction* sub);
  // Lets go of the held folders on the destination's way, after a failure.
  void LetGoOfDestination();

  const base::FilePath source_;
  const base::FilePath destination_;
  const Security security_;
  const std::shared_ptr<FileSecurity::FolderSecurities> folder_securities_;
  const std::weak_ptr<HeldFolders> held_folders_;
  bool completed_ = false;
  // The file's own security, before it took its new folder's.
  FileSecurity::Saved saved_security_;
  // The source's read-only bit was cleared and is set again on rollback.
  bool cleared_read_only_ = false;
};

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_SERVICE_TRANSACTIONS_MOVE_FILE_OPERATION_H_
