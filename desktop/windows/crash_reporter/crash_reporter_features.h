// CrashReporterFeatures: the two switches that decide how much a crash
// reporter does. Metrics reporting (on by default) decides whether the
// reporter serves at all; alternative crash logging (off by default) whether
// it writes and uploads a minidump besides the text log.
//
// A process-wide table of two rows, filled once at the reporter's start by
// Load, from the experiment features, then the command line, then the
// browser's JSON state file; later sources override earlier ones, and only
// rows that the experiments leave overridable take the later two. The
// alternative-crash-logging row is the browser feature
// installer::kAlternativeCrashLoggingFeature. Load runs
// on the main thread before any reader; afterwards any thread may read.

#ifndef DESKTOP_WINDOWS_CRASH_REPORTER_CRASH_REPORTER_FEATURES_H_
#define DESKTOP_WINDOWS_CRASH_REPORTER_CRASH_REPORTER_FEATURES_H_

#include "base/strings/string_piece.h"

namespace base {
class CommandLine;
class FilePath;
}  // namespace base

namespace crash_reporter {

// The state-file preference behind the metrics-reporting row.
inline constexpr char kMetricsReportingPreference[] =
    "user_experience_metrics.reporting_enabled";
// The state file's dictionary of browser feature states: 1 on, 2 off.
inline constexpr char kBrowserFlagsPreference[] = "browser.flags";

class CrashReporterFeatures {
 public:
  // How an experiment feature stands in the current experiment group;
  // false when there is no feature of that name.
  using ExperimentLookup = bool (*)(base::StringPiece feature_name,
                                    bool* enabled, bool* overridable);

  CrashReporterFeatures() = delete;

  // Fills the table from the installer's experiment features
  // (LookUpExperiment), the process command line and |state_file| (missing
  // or unreadable: skipped).
  static void Load(const base::FilePath& state_file);
  // The same with the given sources.
  static void Load(const base::FilePath& state_file,
                   const base::CommandLine& command_line,
                   ExperimentLookup lookup);

  // The installer's experiment feature of that name in the current group.
  static bool LookUpExperiment(base::StringPiece feature_name, bool* enabled,
                               bool* overridable);

  static bool IsMetricsReportingEnabled();
  static bool IsAlternativeCrashLoggingEnabled();

  // Puts the built-in defaults back.
  static void ResetForTesting();
};

}  // namespace crash_reporter

#endif  // DESKTOP_WINDOWS_CRASH_REPORTER_CRASH_REPORTER_FEATURES_H_
