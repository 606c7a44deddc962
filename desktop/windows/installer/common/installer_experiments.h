// InstallerExperiments: the installer's own four experiment features, and
// their registration with a FeatureList at start-up.
//
// Each row is enabled by default when ExperimentFeatures::IsInFirstMask()
// holds for it, and overridable when IsInSecondMask() does. The help text
// lists the rows as "with-feature:" switches; the installer-preferences step
// stores their states with an installation. Constant data; any thread.

#ifndef DESKTOP_WINDOWS_INSTALLER_COMMON_INSTALLER_EXPERIMENTS_H_
#define DESKTOP_WINDOWS_INSTALLER_COMMON_INSTALLER_EXPERIMENTS_H_

#include <stddef.h>

#include "desktop/windows/installer/common/experiment_features.h"

namespace base {
class FeatureList;
}  // namespace base

namespace installer {

// The rows' names, in table order.
inline constexpr char kInstallerExperimentTest[] = "installer-experiment-test";
inline constexpr char kInstallerHideFromProgramAndFeatures[] =
    "installer-hide-from-program-and-features";
inline constexpr char kInstallerPrefDefaultOverridesSupport[] =
    "installer-pref-default-overrides-support";
inline constexpr char kInstallerSupportX64Download[] =
    "installer-support-x64-download";

// The installer-preferences key under which an installation keeps its
// experiment states: a list of "<name>@1" (enabled) and "<name>@2".
inline constexpr char kInstallerExperimentsPref[] = "installer-experiments";

class InstallerExperiments {
 public:
  InstallerExperiments() = delete;

  // The four rows in order; |*count| receives 4.
  static const ExperimentFeature* GetAll(size_t* count);
};

// Adds the four rows to |features| in order, with the current group's
// default and overridable states.
void RegisterInstallerExperiments(base::FeatureList* features);

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_COMMON_INSTALLER_EXPERIMENTS_H_
