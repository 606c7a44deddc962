// CreateFolderOperation: creates a folder with all its missing parents and
// remembers the nearest ancestor that existed; rollback removes the created
// levels while they are empty, never that ancestor. An existing folder is
// success and records nothing, unless a link on its path leads elsewhere
// or, with a descriptor, it lets others change what it holds. With a
// security descriptor (SDDL), the folder and each missing parent are made
// with it (FolderSecurity::Create), so that none is ever there without it;
// a level that appears meanwhile fails then. Each level is made in the one
// above, reached without a link on the way.

#ifndef DESKTOP_WINDOWS_INSTALLER_SERVICE_TRANSACTIONS_CREATE_FOLDER_OPERATION_H_
#define DESKTOP_WINDOWS_INSTALLER_SERVICE_TRANSACTIONS_CREATE_FOLDER_OPERATION_H_

#include <string>

#include "base/files/file_path.h"
#include "desktop/windows/installer/service/transactions/operation.h"

namespace installer {

class CreateFolderOperation : public Operation {
 public:
  explicit CreateFolderOperation(const base::FilePath& path,
                                 const std::u16string& descriptor = {});
  ~CreateFolderOperation() override;

  bool Execute(Transaction* sub) override;
  void Rollback() override;

 private:
  // Whether the folder at |path_|, there already, may be taken as made.
  bool IsUsable() const;
  // Makes |path_| and the levels below |ancestor|, its nearest existing
  // ancestor.
  bool CreateLevels(const base::FilePath& ancestor);

  const base::FilePath path_;
  const std::u16string descriptor_;
  // Empty until the folder was created.
  base::FilePath nearest_existing_ancestor_;
};

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_SERVICE_TRANSACTIONS_CREATE_FOLDER_OPERATION_H_
