// Experiment groups and the browser's feature table: which features are on
// by default for this build's product and release channel, and which of
// them the command line or stored states may override.
//
// Each feature row carries two group masks, and each (user-agent token,
// channel) pair has one experiment group with two masks: a feature is on by
// default when its first mask shares a bit with the group's first mask, and
// overridable when its second mask shares a bit with the group's second.
//
// Static data and pure functions of the branding; any thread may call them
// once the branding has been read.

#ifndef DESKTOP_WINDOWS_INSTALLER_INSTALLER_EXPERIMENTS_H_
#define DESKTOP_WINDOWS_INSTALLER_INSTALLER_EXPERIMENTS_H_

#include <stdint.h>

#include "base/strings/string_piece.h"

namespace installer {

// One row of a feature table.
struct ExperimentFeature {
  const char* name;
  uint32_t first_mask;
  uint32_t second_mask;
  // Ids of the browser's own strings for the feature's name and
  // description (the browser's resources, not the installer's).
  uint32_t name_string_id;
  uint32_t description_string_id;
  // 1 macOS, 2 Windows, 4 Linux.
  uint32_t platforms;
};

struct ExperimentGroupMasks {
  uint32_t first_mask = 0;
  uint32_t second_mask = 0;
};

class ExperimentFeatures {
 public:
  ExperimentFeatures() = delete;

  // The masks of the group whose token is the branding's user-agent name
  // and whose channel is this build's; {0, 0} when no group matches.
  static ExperimentGroupMasks GetCurrentGroupMasks();

  // The browser feature row named exactly |name|, or null.
  static const ExperimentFeature* FindByName(base::StringPiece name);

  // Whether the row's first (second) mask shares a bit with the current
  // group's first (second) mask.
  static bool IsInFirstMask(const ExperimentFeature& feature);
  static bool IsInSecondMask(const ExperimentFeature& feature);
};

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_INSTALLER_EXPERIMENTS_H_
