// ExperimentFeatures: the experiment groups and the browser's feature table.
//
// Every (user-agent token, release channel) pair belongs to one experiment
// group with two 32-bit masks. A feature row carries two masks of its own:
// it is enabled by default in the current group when its first mask shares a
// bit with the group's first mask, and overrides (command line, stored
// states) may change it when its second masks do. The installer's own four
// rows are in installer_experiments.h; this table holds the browser rows
// that the installer reads (the crash reporter's "alternative-crash-logging").
//
// Constant data and pure functions: any thread. The current group reads the
// branding, so its first use belongs on the main thread during start-up.

#ifndef DESKTOP_WINDOWS_INSTALLER_COMMON_EXPERIMENT_FEATURES_H_
#define DESKTOP_WINDOWS_INSTALLER_COMMON_EXPERIMENT_FEATURES_H_

#include <stddef.h>
#include <stdint.h>

#include "base/strings/string_piece.h"

namespace installer {

// Platform bits of a feature row.
inline constexpr uint32_t kPlatformMac = 1;
inline constexpr uint32_t kPlatformWindows = 2;
inline constexpr uint32_t kPlatformLinux = 4;

// The browser-string id that rows without strings of their own carry.
inline constexpr uint32_t kNoFeatureStringId = 0xA105;

// One feature row; the installer's and the browser's tables share it.
struct ExperimentFeature {
  const char* name;
  uint32_t first_mask;
  uint32_t second_mask;
  // Ids of browser string resources, never of the installer's.
  uint32_t name_string_id;
  uint32_t description_string_id;
  uint32_t platforms;
};

// One row of the experiment group table.
struct ExperimentGroup {
  const char* user_agent_token;
  int channel;
  uint32_t first_mask;
  uint32_t second_mask;
};

struct ExperimentGroupMasks {
  uint32_t first_mask = 0;
  uint32_t second_mask = 0;

  bool operator==(const ExperimentGroupMasks& other) const = default;
};

// The name of the one browser row the installer reads.
inline constexpr char kAlternativeCrashLoggingFeature[] =
    "alternative-crash-logging";

// The experiment group table: one row per (token, channel) pair.
class ExperimentGroups {
 public:
  ExperimentGroups() = delete;

  // The eight rows in order; |*count| receives 8.
  static const ExperimentGroup* GetAll(size_t* count);
};

class ExperimentFeatures {
 public:
  ExperimentFeatures() = delete;

  // The masks of the first group row whose token equals |token| exactly and
  // whose channel is |channel|; {0, 0} when none matches.
  static ExperimentGroupMasks GetGroupMasks(base::StringPiece token,
                                            int channel);
  // GetGroupMasks() for the branding's user-agent name and the build's
  // channel.
  static ExperimentGroupMasks GetCurrentGroupMasks();

  // The browser row named |name| exactly, or null.
  static const ExperimentFeature* FindByName(base::StringPiece name);

  // Whether the row's first (second) mask shares a bit with the current
  // group's first (second) mask.
  static bool IsInFirstMask(const ExperimentFeature& feature);
  static bool IsInSecondMask(const ExperimentFeature& feature);
};

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_COMMON_EXPERIMENT_FEATURES_H_
