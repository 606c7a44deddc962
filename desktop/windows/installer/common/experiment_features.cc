#include "desktop/windows/installer/common/experiment_features.h"

#include <iterator>

#include "desktop/windows/installer/common/version_info.h"

namespace installer {

namespace {

// "VLN" is the browser's own token; "TRV" a white-labelled product built
// from the same engine. Channels as VersionInfo::GetChannel().
constexpr ExperimentGroup kExperimentGroups[] = {
    {"VLN", 1, 7, 7}, {"VLN", 2, 6, 6}, {"VLN", 3, 4, 4}, {"VLN", 4, 4, 4},
    {"TRV", 1, 8, 8}, {"TRV", 2, 8, 8}, {"TRV", 3, 8, 8}, {"TRV", 4, 8, 8},
};

// The browser's features that the installer consults. The browser has many
// more; the installer has no use for them.
constexpr ExperimentFeature kBrowserFeatures[] = {
    {kAlternativeCrashLoggingFeature, 0xFFF7, 0x10007, 0xA028, 0xA029,
     kPlatformWindows},
};

}  // namespace

const ExperimentGroup* ExperimentGroups::GetAll(size_t* count) {
  *count = std::size(kExperimentGroups);
  return kExperimentGroups;
}

ExperimentGroupMasks ExperimentFeatures::GetGroupMasks(base::StringPiece token,
                                                       int channel) {
  for (const ExperimentGroup& group : kExperimentGroups) {
    if (token == group.user_agent_token && channel == group.channel)
      return {group.first_mask, group.second_mask};
  }
  return {};
}

ExperimentGroupMasks ExperimentFeatures::GetCurrentGroupMasks() {
  return GetGroupMasks(VersionInfo::GetUserAgentName(),
                       VersionInfo::GetChannel());
}

const ExperimentFeature* ExperimentFeatures::FindByName(
    base::StringPiece name) {
  for (const ExperimentFeature& feature : kBrowserFeatures) {
    if (name == feature.name) return &feature;
  }
  return nullptr;
}

bool ExperimentFeatures::IsInFirstMask(const ExperimentFeature& feature) {
  return (feature.first_mask & GetCurrentGroupMasks().first_mask) != 0;
}

bool ExperimentFeatures::IsInSecondMask(const ExperimentFeature& feature) {
  return (feature.second_mask & GetCurrentGroupMasks().second_mask) != 0;
}

}  // namespace installer
