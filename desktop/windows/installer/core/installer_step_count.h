// The number an installation announces with InstallerObserver::OnTotalSteps
// before its first step: one per step of its list, one per further file of
// each copy step, plus one. Portable; no state.

#ifndef DESKTOP_WINDOWS_INSTALLER_CORE_INSTALLER_STEP_COUNT_H_
#define DESKTOP_WINDOWS_INSTALLER_CORE_INSTALLER_STEP_COUNT_H_

#include <stddef.h>
#include <stdint.h>

namespace installer {

// |list_steps| + (|files| - 1) + (|root_files| - 1) + 1 in 32-bit unsigned
// arithmetic, so an empty root files list counts -1 (its copy step only
// skips); an uninstall copies nothing and counts |list_steps| + 1.
uint32_t CountTotalSteps(size_t list_steps, size_t files, size_t root_files,
                         bool uninstalling);

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_CORE_INSTALLER_STEP_COUNT_H_
