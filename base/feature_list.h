// Named on/off features with built-in defaults that the command line, a
// stored list or a scoped override may change.
//
// The installer registers its feature table at start-up (AddFeature), applies
// the overrides of its readers (ReadOverrides), asks IsEnabled wherever its
// behaviour depends on a feature, and hands the overrides on to the processes
// it starts (AppendToCommandLine). Names compare bytewise, case-sensitively;
// names from the command line arrive lower-cased.
//
// The process-wide list is created on first use from any thread and lives
// until the process ends; the list itself has no lock: register and read
// overrides before other threads ask.

#ifndef BASE_FEATURE_LIST_H_
#define BASE_FEATURE_LIST_H_

#include <string>
#include <vector>

#include "base/strings/string_piece.h"

namespace base {

class CommandLine;

// The switch that carries a feature: "with-feature:" + name, with the value
// "on", "off" or nothing (on).
extern const char kFeatureSwitchPrefix[];
std::string MakeFeatureSwitchName(StringPiece name);

struct FeatureEntry {
  std::string name;
  bool enabled = false;
  // Only meaningful for a default entry: whether overrides may change it.
  bool overridable = false;
};

// A source of override entries, such as the command line or a stored list.
class FeatureReader {
 public:
  virtual ~FeatureReader() = default;
  // Appends the entries this reader finds, in its own order.
  virtual void Read(std::vector<FeatureEntry>* overrides) const = 0;
};

class FeatureList {
 public:
  FeatureList();
  FeatureList(const FeatureList&) = delete;
  FeatureList& operator=(const FeatureList&) = delete;
  ~FeatureList();

  // The process-wide list.
  static FeatureList* GetInstance();

  // Registers a default. A name registered twice keeps both entries; the
  // first one is consulted.
  void AddFeature(StringPiece name, bool enabled, bool overridable);

  // Appends the reader's entries; entries read later take precedence.
  void ReadOverrides(const FeatureReader& reader);

  // In order: the newest scoped override of |name| decides; else a name
  // without a default is disabled; else the newest override decides when the
  // default is overridable; else the default holds.
  bool IsEnabled(StringPiece name) const;

  // Appends "with-feature:<name>" = "on" or "off" for every override entry,
  // then every scoped override, in order, so that a child process sees the
  // same overrides.
  void AppendToCommandLine(CommandLine* command_line) const;

 private:
  friend class ScopedFeatureOverride;

  std::vector<FeatureEntry> defaults_;
  std::vector<FeatureEntry> overrides_;
  // Owned by their ScopedFeatureOverride objects; oldest first.
  std::vector<const FeatureEntry*> scoped_overrides_;
};

// Forces a feature on or off in |list| for the object's lifetime, whatever
// the defaults and the other overrides say. Overrides must end in the reverse
// order of their creation (nest them as scopes).
class ScopedFeatureOverride {
 public:
  ScopedFeatureOverride(FeatureList* list, StringPiece name, bool enabled);
  ScopedFeatureOverride(const ScopedFeatureOverride&) = delete;
  ScopedFeatureOverride& operator=(const ScopedFeatureOverride&) = delete;
  ~ScopedFeatureOverride();

 private:
  FeatureList* const list_;
  const FeatureEntry entry_;
};

// Whether |name| is enabled in the process-wide list.
bool IsFeatureEnabled(StringPiece name);

}  // namespace base

#endif  // BASE_FEATURE_LIST_H_
