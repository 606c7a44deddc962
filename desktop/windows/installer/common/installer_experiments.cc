#include "desktop/windows/installer/common/installer_experiments.h"

#include <iterator>

#include "base/feature_list.h"

namespace installer {

namespace {

constexpr ExperimentFeature kInstallerExperiments[] = {
    {kInstallerExperimentTest, 0x0, 0xFFFF, kNoFeatureStringId,
     kNoFeatureStringId, kPlatformWindows},
    {kInstallerHideFromProgramAndFeatures, 0x8, 0x0, kNoFeatureStringId,
     kNoFeatureStringId, kPlatformWindows},
    {kInstallerPrefDefaultOverridesSupport, 0x7, 0xFFFF, kNoFeatureStringId,
     kNoFeatureStringId, kPlatformWindows},
    {kInstallerSupportX64Download, 0x0, 0xFFFF, kNoFeatureStringId,
     kNoFeatureStringId, kPlatformWindows},
};

}  // namespace

const ExperimentFeature* InstallerExperiments::GetAll(size_t* count) {
  *count = std::size(kInstallerExperiments);
  return kInstallerExperiments;
}

void RegisterInstallerExperiments(base::FeatureList* features) {
  for (const ExperimentFeature& feature : kInstallerExperiments) {
    features->AddFeature(feature.name,
                         ExperimentFeatures::IsInFirstMask(feature),
                         ExperimentFeatures::IsInSecondMask(feature));
  }
}

}  // namespace installer
