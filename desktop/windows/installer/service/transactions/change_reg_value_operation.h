// ChangeRegValueOperation: sets one registry value, or removes it, and can
// put back what was there before.
//
// A missing key is created first (a CreateRegKeyOperation in the
// sub-transaction). When the current user lacks KEY_QUERY_VALUE |
// KEY_SET_VALUE on the key, its access list is widened for the duration and
// restored when the operation is destroyed, after a commit and after a
// rollback alike. Rollback writes the old type and data back byte for byte,
// or deletes a value that did not exist before.

#ifndef DESKTOP_WINDOWS_INSTALLER_SERVICE_TRANSACTIONS_CHANGE_REG_VALUE_OPERATION_H_
#define DESKTOP_WINDOWS_INSTALLER_SERVICE_TRANSACTIONS_CHANGE_REG_VALUE_OPERATION_H_

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "base/win/registry.h"
#include "desktop/windows/installer/service/transactions/operation.h"

namespace installer {

class SavedSecurity;

class ChangeRegValueOperation : public Operation {
 public:
  // As a new type: remove the value. As the old type: there was none.
  static constexpr DWORD kNoValue = 0xFFFFFFFF;

  // Copies |size| bytes of |data|. An empty |value_name| is the key's
  // default value; |type| kNoValue removes the value.
  ChangeRegValueOperation(HKEY root, const std::u16string& key_path,
                          const std::u16string& value_name, const void* data,
                          DWORD type, DWORD size);
  // Restores a widened access list.
  ~ChangeRegValueOperation() override;

  bool Execute(Transaction* sub) override;
  void Rollback() override;

 private:
  // Makes sure key_ is open with KEY_QUERY_VALUE | KEY_SET_VALUE and the
  // user holds that access, widening the access list when needed; |result|
  // is the first open's. False after an error line.
  bool OpenWithAccess(LONG result, const std::u16string& object_name);
  // Reads the current value into old_type_ and old_data_. False after an
  // error line.
  bool SaveOldValue(const std::u16string& object_name);

  const HKEY root_;
  const std::u16string key_path_;
  const std::u16string value_name_;
  base::win::RegKey key_;
  const DWORD new_type_;
  const std::vector<BYTE> new_data_;
  DWORD old_type_ = kNoValue;
  std::vector<BYTE> old_data_;
  bool changed_ = false;
  std::unique_ptr<SavedSecurity> saved_security_;
};

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_SERVICE_TRANSACTIONS_CHANGE_REG_VALUE_OPERATION_H_
