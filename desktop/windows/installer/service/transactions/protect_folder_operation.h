// ProtectFolderOperation: gives a folder the access list of a folder in
// Program Files (kProtectedFolderSecurity, folder_security_win.h), so that
// only administrators and the system may change what it holds. Rollback
// writes back the owner and access list the folder had. The folder must
// exist.

#ifndef DESKTOP_WINDOWS_INSTALLER_SERVICE_TRANSACTIONS_PROTECT_FOLDER_OPERATION_H_
#define DESKTOP_WINDOWS_INSTALLER_SERVICE_TRANSACTIONS_PROTECT_FOLDER_OPERATION_H_

#include <string>

#include "base/files/file_path.h"
#include "desktop/windows/installer/service/transactions/operation.h"

namespace installer {

class ProtectFolderOperation : public Operation {
 public:
  explicit ProtectFolderOperation(const base::FilePath& folder);
  ~ProtectFolderOperation() override;

  // False, with nothing changed, when the present access list cannot be
  // read (it could not be restored) or the new one cannot be written.
  bool Execute(Transaction* sub) override;
  void Rollback() override;

 private:
  const base::FilePath folder_;
  // The folder's owner and access list before Execute changed them; empty
  // until then.
  std::u16string previous_;
};

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_SERVICE_TRANSACTIONS_PROTECT_FOLDER_OPERATION_H_
