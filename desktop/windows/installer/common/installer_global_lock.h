// The installer's process-wide lock: held while a downloaded executable runs
// to report its version and stream, and while the installer runner makes
// an inheritable copy of its own process handle, so that no child started
// meanwhile inherits that handle.

#ifndef DESKTOP_WINDOWS_INSTALLER_COMMON_INSTALLER_GLOBAL_LOCK_H_
#define DESKTOP_WINDOWS_INSTALLER_COMMON_INSTALLER_GLOBAL_LOCK_H_

#include "base/synchronization/lock.h"

namespace installer {

// Created on first use and never destroyed.
base::Lock& GetInstallerGlobalLock();

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_COMMON_INSTALLER_GLOBAL_LOCK_H_
