// CreateRegKeyOperation: creates a registry key with all its missing
// parents; rollback deletes the tree from the top-most level it created.
//
// When the current user may not create subkeys under the nearest existing
// ancestor, that ancestor's access list is widened (KEY_CREATE_SUB_KEY) and
// restored when the operation is destroyed. An existing key is success and
// records nothing.

#ifndef DESKTOP_WINDOWS_INSTALLER_SERVICE_TRANSACTIONS_CREATE_REG_KEY_OPERATION_H_
#define DESKTOP_WINDOWS_INSTALLER_SERVICE_TRANSACTIONS_CREATE_REG_KEY_OPERATION_H_

#include <windows.h>

#include <memory>
#include <string>

#include "desktop/windows/installer/service/transactions/operation.h"

namespace installer {

class SavedSecurity;

class CreateRegKeyOperation : public Operation {
 public:
  CreateRegKeyOperation(const std::u16string& key_path, HKEY root);
  // Restores a widened access list.
  ~CreateRegKeyOperation() override;

  bool Execute(Transaction* sub) override;
  void Rollback() override;

 private:
  const std::u16string key_path_;
  const HKEY root_;
  // The first level that did not exist; empty until the key was created.
  std::u16string top_most_created_key_;
  std::unique_ptr<SavedSecurity> saved_security_;
};

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_SERVICE_TRANSACTIONS_CREATE_REG_KEY_OPERATION_H_
