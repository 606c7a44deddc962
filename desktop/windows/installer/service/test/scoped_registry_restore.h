// Keeps registry keys that a test must change in place (the real product
// and shell keys) exactly as they were: each key's tree is read when the
// object is made, and at its end the tree is deleted and written back from
// that snapshot (a key that did not exist stays deleted). The restored keys
// are not volatile, whatever they were.
//
// A copy of each tree also waits in the registry while the object lives: a
// process that dies before its object ends (a crash, a kill) leaves its
// keys changed, and the next object that guards one of them puts them back
// before it reads them.
//
// With it, the state of all guarded keys as one flat map, for comparisons.

#ifndef DESKTOP_WINDOWS_INSTALLER_SERVICE_TEST_SCOPED_REGISTRY_RESTORE_H_
#define DESKTOP_WINDOWS_INSTALLER_SERVICE_TEST_SCOPED_REGISTRY_RESTORE_H_

#include <windows.h>

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "desktop/windows/installer/service/test/machine_state_snapshot.h"

namespace installer {
namespace test {

using RegistryLocation = std::pair<HKEY, std::u16string>;

// Keyed by "hklm\path\to\key" or "hkcu\...", in UTF-8; key paths and
// value names in lower case, as the registry compares them.
using RegistryState = std::map<std::string, RegistryKeyValues>;

// "hklm", "hkcu" or "hkcr" and "\" + |path|, in lower case.
std::string RegistryStateKey(HKEY root, const std::u16string& path);

// Deletes |path| with its subtree and writes |snapshot| in its place. True
// when every key and value was written.
bool RestoreRegistrySnapshot(HKEY root, const std::u16string& path,
                             const RegistrySnapshot& snapshot);

class ScopedRegistryRestore {
 public:
  explicit ScopedRegistryRestore(std::vector<RegistryLocation> keys);
  ScopedRegistryRestore(const ScopedRegistryRestore&) = delete;
  ScopedRegistryRestore& operator=(const ScopedRegistryRestore&) = delete;
  ~ScopedRegistryRestore();

  // Every key below the guarded ones now; with |values_only|, keys that
  // hold no value are left out.
  RegistryState TakeState(bool values_only) const;

 private:
  std::vector<RegistryLocation> keys_;
  std::vector<RegistrySnapshot> snapshots_;
  // This object's key of copies below HKEY_CURRENT_USER.
  std::u16string journal_;
};

}  // namespace test
}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_SERVICE_TEST_SCOPED_REGISTRY_RESTORE_H_
