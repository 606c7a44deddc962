// RemakeEmptyFolderOperation: takes the place of an empty folder that
// others may have made or may change, for a folder that must let nobody
// else change what it holds (an install folder for all users). Changing
// such a folder's list in place would leave whatever its owner made in it,
// and any handle they opened before with rights the new list denies.
//
// Execute() reads the folder's access list, opens it without following a
// link and without sharing it (it fails when anyone holds it), deletes it
// through that handle (it fails unless the folder is empty), and makes a
// new one with |descriptor| in one step (FolderSecurity::Create; it fails
// when something took the name meanwhile). Rollback removes the folder it
// made, and no other, while it is empty, and makes one with the removed
// folder's access list in its place again (owned by whoever rolls back).

#ifndef DESKTOP_WINDOWS_INSTALLER_SERVICE_TRANSACTIONS_REMAKE_EMPTY_FOLDER_OPERATION_H_
#define DESKTOP_WINDOWS_INSTALLER_SERVICE_TRANSACTIONS_REMAKE_EMPTY_FOLDER_OPERATION_H_

#include <stdint.h>
#include <windows.h>

#include <string>

#include "base/files/file_path.h"
#include "desktop/windows/installer/service/transactions/operation.h"

namespace installer {

class RemakeEmptyFolderOperation : public Operation {
 public:
  RemakeEmptyFolderOperation(const base::FilePath& folder,
                             const std::u16string& descriptor);
  ~RemakeEmptyFolderOperation() override;

  // False, after an error line, when the folder is held, not empty, a link
  // or reached through one, or cannot be made again; it is then as it was,
  // or gone when only the new one could not be made.
  bool Execute(Transaction* sub) override;
  void Rollback() override;

 private:
  const base::FilePath folder_;
  const std::u16string descriptor_;
  // The old folder's owner and access list.
  std::u16string previous_;
  // The old folder is gone.
  bool removed_ = false;
  // The new folder was made, and is the one with this volume and index.
  bool made_ = false;
  DWORD made_volume_ = 0;
  uint64_t made_index_ = 0;
};

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_SERVICE_TRANSACTIONS_REMAKE_EMPTY_FOLDER_OPERATION_H_
