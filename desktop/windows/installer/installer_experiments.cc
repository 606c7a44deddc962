#include "desktop/windows/installer/installer_experiments.h"

#include <string>

#include "desktop/windows/installer/version_info.h"

namespace installer {

namespace {

struct ExperimentGroup {
  const char* user_agent_token;
  int channel;
  ExperimentGroupMasks masks;
};

// "VLN" is the browser's own token, "TRV" a white-labelled product's.
constexpr ExperimentGroup kExperimentGroups[] = {
    {"VLN", 1, {7, 7}}, {"VLN", 2, {6, 6}}, {"VLN", 3, {4, 4}},
    {"VLN", 4, {4, 4}}, {"TRV", 1, {8, 8}}, {"TRV", 2, {8, 8}},
    {"TRV", 3, {8, 8}}, {"TRV", 4, {8, 8}},
};

// The string id that browser rows without strings of their own hold.
constexpr uint32_t kNoStringId = 0xA105;
constexpr uint32_t kWindows = 2;

// The browser's feature switches that the installer reads.
constexpr ExperimentFeature kBrowserFeatures[] = {
    {"alternative-crash-logging", 0xFFF7, 0x10007, kNoStringId, kNoStringId,
     kWindows},
};

}  // namespace

// static
ExperimentGroupMasks ExperimentFeatures::GetCurrentGroupMasks() {
  const std::string token = VersionInfo::GetUserAgentName();
  const int channel = VersionInfo::GetChannel();
  for (const ExperimentGroup& group : kExperimentGroups) {
    if (token == group.user_agent_token && channel == group.channel)
      return group.masks;
  }
  return ExperimentGroupMasks();
}

// static
const ExperimentFeature* ExperimentFeatures::FindByName(
    base::StringPiece name) {
  for (const ExperimentFeature& feature : kBrowserFeatures) {
    if (name == base::StringPiece(feature.name)) return &feature;
  }
  return nullptr;
}

// static
bool ExperimentFeatures::IsInFirstMask(const ExperimentFeature& feature) {
  return (feature.first_mask & GetCurrentGroupMasks().first_mask) != 0;
}

// static
bool ExperimentFeatures::IsInSecondMask(const ExperimentFeature& feature) {
  return (feature.second_mask & GetCurrentGroupMasks().second_mask) != 0;
}

}  // namespace installer
