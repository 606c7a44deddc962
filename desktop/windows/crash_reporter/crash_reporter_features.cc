#include "desktop/windows/crash_reporter/crash_reporter_features.h"

#include <memory>
#include <string>

#include "base/command_line.h"
#include "base/feature_list.h"
#include "base/files/file_path.h"
#include "base/json/json_file_value_serializer.h"
#include "base/values.h"
#include "desktop/windows/installer/common/experiment_features.h"

namespace crash_reporter {

namespace {

struct FeatureRow {
  const char* feature_name;     // or null
  const char* preference_path;  // or null
  bool enabled;
  bool overridable;
};

constexpr FeatureRow kDefaultRows[] = {
    {nullptr, kMetricsReportingPreference, true, true},
    {installer::kAlternativeCrashLoggingFeature, nullptr, false, true},
};
constexpr size_t kMetricsReportingRow = 0;
constexpr size_t kAlternativeCrashLoggingRow = 1;

FeatureRow g_rows[] = {kDefaultRows[0], kDefaultRows[1]};

// The browser's states of a feature in its state file.
constexpr int kFlagEnabled = 1;
constexpr int kFlagDisabled = 2;

void ApplyExperiments(CrashReporterFeatures::ExperimentLookup lookup) {
  for (FeatureRow& row : g_rows) {
    bool enabled = false;
    bool overridable = false;
    if (row.feature_name && lookup(row.feature_name, &enabled, &overridable)) {
      row.enabled = enabled;
      row.overridable = overridable;
    }
  }
}

void ApplyCommandLine(const base::CommandLine& command_line) {
  for (FeatureRow& row : g_rows) {
    if (!row.overridable || !row.feature_name) continue;
    const std::string value = command_line.GetSwitchValueASCII(
        base::MakeFeatureSwitchName(row.feature_name));
    if (value == "off") row.enabled = false;
    if (value == "on") row.enabled = true;
  }
}

void ApplyStateFile(const base::FilePath& state_file) {
  base::JSONFileValueDeserializer deserializer(state_file);
  std::unique_ptr<base::Value> state =
      deserializer.Deserialize(nullptr, nullptr);
  const base::DictionaryValue* dictionary = nullptr;
  if (!state || !state->GetAsDictionary(&dictionary)) return;
  for (FeatureRow& row : g_rows) {
    if (!row.overridable) continue;
    if (row.preference_path) {
      dictionary->GetBoolean(row.preference_path, &row.enabled);
    } else if (row.feature_name) {
      int flag = 0;
      if (!dictionary->GetInteger(
              std::string(kBrowserFlagsPreference) + "." + row.feature_name,
              &flag)) {
        continue;
      }
      if (flag == kFlagEnabled) row.enabled = true;
      if (flag == kFlagDisabled) row.enabled = false;
    }
  }
}

}  // namespace

// static
void CrashReporterFeatures::Load(const base::FilePath& state_file) {
  Load(state_file, *base::CommandLine::ForCurrentProcess(), &LookUpExperiment);
}

// static
bool CrashReporterFeatures::LookUpExperiment(base::StringPiece feature_name,
                                             bool* enabled, bool* overridable) {
  const installer::ExperimentFeature* feature =
      installer::ExperimentFeatures::FindByName(feature_name);
  if (!feature) return false;
  *enabled = installer::ExperimentFeatures::IsInFirstMask(*feature);
  *overridable = installer::ExperimentFeatures::IsInSecondMask(*feature);
  return true;
}

// static
void CrashReporterFeatures::Load(const base::FilePath& state_file,
                                 const base::CommandLine& command_line,
                                 ExperimentLookup lookup) {
  ApplyExperiments(lookup);
  ApplyCommandLine(command_line);
  ApplyStateFile(state_file);
}

// static
bool CrashReporterFeatures::IsMetricsReportingEnabled() {
  return g_rows[kMetricsReportingRow].enabled;
}

// static
bool CrashReporterFeatures::IsAlternativeCrashLoggingEnabled() {
  return g_rows[kAlternativeCrashLoggingRow].enabled;
}

// static
void CrashReporterFeatures::ResetForTesting() {
  g_rows[kMetricsReportingRow] = kDefaultRows[kMetricsReportingRow];
  g_rows[kAlternativeCrashLoggingRow] =
      kDefaultRows[kAlternativeCrashLoggingRow];
}

}  // namespace crash_reporter
