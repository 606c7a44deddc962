// DeleteRegKeyOperation: deletes a registry key with its whole subtree,
// saving every key's values and security descriptor on the way so that
// rollback can re-create the tree, parents before children.
//
// Keys the current user may not delete get their access list widened; on
// commit the keys are gone, and rollback puts each widened list back. A
// failure part-way keeps what was saved so far; rollback restores that.
// Rollback re-creates only keys that are missing, with their saved values;
// a key that exists again keeps what it has.

#ifndef DESKTOP_WINDOWS_INSTALLER_SERVICE_TRANSACTIONS_DELETE_REG_KEY_OPERATION_H_
#define DESKTOP_WINDOWS_INSTALLER_SERVICE_TRANSACTIONS_DELETE_REG_KEY_OPERATION_H_

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "desktop/windows/installer/service/transactions/operation.h"

namespace installer {

class DeleteRegKeyOperation : public Operation {
 public:
  DeleteRegKeyOperation(HKEY root, const std::u16string& key_path);
  ~DeleteRegKeyOperation() override;

  bool Execute(Transaction* sub) override;
  void Rollback() override;

 private:
  struct SavedValue;
  struct SavedKey;

  // Saves |key_path| and everything below it into saved_keys_, deleting each
  // key after its subkeys. False after an error line.
  bool DeleteAndSaveRecursive(const std::u16string& key_path,
                              const std::u16string& object_name);
  // Steps of the above: the key's group, DACL and label, and its values.
  static bool SaveSecurityDescriptor(HKEY key,
                                     const std::u16string& object_name,
                                     SavedKey* saved);
  // Writes the DACL of a saved descriptor to a re-created key. Not every
  // registry honours the descriptor given at creation (Wine ignores it).
  void WriteSavedDacl(const std::u16string& key_path,
                      const std::vector<BYTE>& descriptor) const;
  static bool SaveValues(HKEY key, DWORD value_count, DWORD max_name_length,
                         DWORD max_data_size, SavedKey* saved);

  const HKEY root_;
  const std::u16string key_path_;
  // A key always before its subkeys.
  std::vector<std::unique_ptr<SavedKey>> saved_keys_;
};

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_SERVICE_TRANSACTIONS_DELETE_REG_KEY_OPERATION_H_
