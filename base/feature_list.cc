#include "base/feature_list.h"

#include <algorithm>

#include "base/command_line.h"
#include "base/logging.h"

namespace base {

const char kFeatureSwitchPrefix[] = "with-feature:";

std::string MakeFeatureSwitchName(StringPiece name) {
  return kFeatureSwitchPrefix + name.as_string();
}

FeatureList::FeatureList() = default;
FeatureList::~FeatureList() = default;

// static
FeatureList* FeatureList::GetInstance() {
  // A function-local static is built once even when threads race to the
  // first call; the losers wait for it. Never destroyed: features may be
  // asked about until the very end of the process.
  static FeatureList* const instance = new FeatureList();
  return instance;
}

void FeatureList::AddFeature(StringPiece name, bool enabled, bool overridable) {
  defaults_.push_back({name.as_string(), enabled, overridable});
}

void FeatureList::ReadOverrides(const FeatureReader& reader) {
  reader.Read(&overrides_);
}

bool FeatureList::IsEnabled(StringPiece name) const {
  for (auto it = scoped_overrides_.rbegin(); it != scoped_overrides_.rend();
       ++it) {
    if ((*it)->name == name) return (*it)->enabled;
  }
  const auto default_entry =
      std::find_if(defaults_.begin(), defaults_.end(),
                   [name](const FeatureEntry& e) { return e.name == name; });
  if (default_entry == defaults_.end()) return false;
  if (default_entry->overridable) {
    for (auto it = overrides_.rbegin(); it != overrides_.rend(); ++it) {
      if (it->name == name) return it->enabled;
    }
  }
  return default_entry->enabled;
}

void FeatureList::AppendToCommandLine(CommandLine* command_line) const {
  auto append = [command_line](const FeatureEntry& entry) {
    command_line->AppendSwitchNative(MakeFeatureSwitchName(entry.name),
                                     entry.enabled ? u"on" : u"off");
  };
  for (const FeatureEntry& entry : overrides_) append(entry);
  for (const FeatureEntry* entry : scoped_overrides_) append(*entry);
}

ScopedFeatureOverride::ScopedFeatureOverride(FeatureList* list,
                                             StringPiece name, bool enabled)
    : list_(list), entry_{name.as_string(), enabled, false} {
  list_->scoped_overrides_.push_back(&entry_);
}

ScopedFeatureOverride::~ScopedFeatureOverride() {
  CHECK(!list_->scoped_overrides_.empty() &&
        list_->scoped_overrides_.back() == &entry_)
      << "scoped feature overrides must end in reverse order";
  list_->scoped_overrides_.pop_back();
}

bool IsFeatureEnabled(StringPiece name) {
  return FeatureList::GetInstance()->IsEnabled(name);
}

}  // namespace base
