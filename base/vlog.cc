#include "base/vlog.h"

#include <utility>

#include "base/strings/string_number_conversions.h"
#include "base/strings/string_split.h"

namespace logging {

namespace {

bool IsSlash(char c) { return c == '\\' || c == '/'; }

// "C:\src\base\installer-inl.h" gives "installer".
base::StringPiece GetModule(base::StringPiece file) {
  base::StringPiece module = file;
  const size_t last_slash = module.find_last_of("\\/");
  if (last_slash != base::StringPiece::npos)
    module.remove_prefix(last_slash + 1);
  const size_t extension = module.rfind('.');
  module = module.substr(0, extension);
  static constexpr char kInlSuffix[] = "-inl";
  if (module.ends_with(kInlSuffix))
    module.remove_suffix(sizeof(kInlSuffix) - 1);
  return module;
}

}  // namespace

VlogInfo::VlogInfo(const std::string& v_switch,
                   const std::string& vmodule_switch, int* min_log_level)
    : min_log_level_(min_log_level) {
  int verbosity = 0;
  if (!v_switch.empty() && base::StringToInt(v_switch, &verbosity))
    *min_log_level_ = -verbosity;

  // Malformed pairs still make entries (with what could be read of them).
  base::StringPairs pairs;
  base::SplitKeyValuePairs(vmodule_switch, &pairs);
  for (const auto& pair : pairs) {
    VmodulePattern entry;
    entry.pattern = pair.first;
    entry.match_target = pair.first.find_first_of("\\/") != std::string::npos
                             ? MATCH_FILE
                             : MATCH_MODULE;
    // The parser's best value counts even when it reports failure.
    entry.vlog_level = 0;
    base::StringToInt(pair.second, &entry.vlog_level);
    vmodule_levels_.push_back(std::move(entry));
  }
}

int VlogInfo::GetVlogLevel(base::StringPiece file) const {
  if (!vmodule_levels_.empty()) {
    const base::StringPiece module = GetModule(file);
    for (const VmodulePattern& entry : vmodule_levels_) {
      const base::StringPiece target =
          entry.match_target == MATCH_FILE ? file : module;
      if (MatchVlogPattern(target, entry.pattern)) return entry.vlog_level;
    }
  }
  return -*min_log_level_;
}

bool MatchVlogPattern(base::StringPiece text, base::StringPiece pattern) {
  while (!pattern.empty() && !text.empty() && pattern[0] != '*') {
    const bool same = pattern[0] == '?' ||
                      (IsSlash(pattern[0]) && IsSlash(text[0])) ||
                      pattern[0] == text[0];
    if (!same) return false;
    pattern.remove_prefix(1);
    text.remove_prefix(1);
  }
  if (pattern.empty()) return text.empty();

  while (!pattern.empty() && pattern[0] == '*') pattern.remove_prefix(1);
  if (pattern.empty()) return true;

  // Every non-empty suffix of the text, longest first.
  for (; !text.empty(); text.remove_prefix(1)) {
    if (MatchVlogPattern(text, pattern)) return true;
  }
  return false;
}

}  // namespace logging
