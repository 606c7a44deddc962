#include "desktop/windows/installer/core/installer_step_count.h"

namespace installer {

uint32_t CountTotalSteps(size_t list_steps, size_t files, size_t root_files,
                         bool uninstalling) {
  uint32_t extra = 0;
  if (!uninstalling) {
    extra = static_cast<uint32_t>(files) - 1u +
            static_cast<uint32_t>(root_files) - 1u;
  }
  return static_cast<uint32_t>(list_steps) + extra + 1u;
}

}  // namespace installer
