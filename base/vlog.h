// The verbose-level table built from the "v" and "vmodule" switches.
//
// "v=N" makes the minimum log level -N, which lets verbose levels up to N
// through everywhere. "vmodule" is a comma-separated list of pattern=level
// pairs: a pattern without a slash is matched against a source file's module
// name (its base name without the extension and a trailing "-inl"), one with
// "\" or "/" against the whole file path, either slash matching either. "*"
// matches any run of characters and "?" any single one; the first matching
// pattern gives the level.

#ifndef BASE_VLOG_H_
#define BASE_VLOG_H_

#include <string>
#include <vector>

#include "base/strings/string_piece.h"

namespace logging {

class VlogInfo {
 public:
  // |min_log_level| is the process's minimum log level; a numeric
  // |v_switch| sets it, and levels of unmatched files are read from it.
  VlogInfo(const std::string& v_switch, const std::string& vmodule_switch,
           int* min_log_level);
  VlogInfo(const VlogInfo&) = delete;
  VlogInfo& operator=(const VlogInfo&) = delete;

  // The level for a source file given by its full compile-time path.
  int GetVlogLevel(base::StringPiece file) const;

 private:
  enum MatchTarget { MATCH_MODULE = 0, MATCH_FILE = 1 };
  struct VmodulePattern {
    std::string pattern;
    int vlog_level;
    MatchTarget match_target;
  };

  std::vector<VmodulePattern> vmodule_levels_;
  int* min_log_level_;
};

// True when |text| matches |pattern| ("*", "?", and "\" or "/" matching
// either slash).
bool MatchVlogPattern(base::StringPiece text, base::StringPiece pattern);

}  // namespace logging

#endif  // BASE_VLOG_H_
