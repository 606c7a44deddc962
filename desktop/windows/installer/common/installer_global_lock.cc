#include "desktop/windows/installer/common/installer_global_lock.h"

namespace installer {

base::Lock& GetInstallerGlobalLock() {
  // Never destroyed: threads may still take it while the process exits.
  static base::Lock* const lock = new base::Lock();
  return *lock;
}

}  // namespace installer
