#include "base/trace_event/trace_config.h"

#include <algorithm>
#include <utility>

#include "base/strings/string_tokenizer.h"
#include "base/strings/utf_string_conversion_utils.h"

namespace base {
namespace trace_event {

namespace {

constexpr int kMaxMatchDepth = 16;
constexpr char kDisabledByDefaultPattern[] = "disabled-by-default-*";
constexpr char kDisabledByDefaultPrefix[] = "disabled-by-default-";
// Stands for a malformed sequence; equal to no code point.
constexpr int32_t kMalformed = -1;

// Reads the code point at |*pos| of [begin, end) and moves past it.
int32_t NextCodePoint(const char* begin, size_t end, size_t* pos) {
  unsigned char lead = static_cast<unsigned char>(begin[(*pos)++]);
  if (lead < 0x80) return lead;
  int32_t code_point = ReadUTF8CodePoint(begin, pos, end, lead);
  return code_point < 0 ? kMalformed : code_point;
}

bool IsWildcard(char c) { return c == '*' || c == '?'; }

struct Matcher {
  const char* text;
  size_t text_end;
  const char* pattern;
  size_t pattern_end;

  size_t SkipWildcards(size_t p) const {
    while (p < pattern_end && IsWildcard(pattern[p])) ++p;
    return p;
  }

  bool Match(size_t s, size_t p, int depth) const {
    if (depth > kMaxMatchDepth) return false;
    // Equal characters from the front, up to a wildcard or a difference.
    while (s < text_end && p < pattern_end) {
      size_t literal = p;
      if (pattern[p] == '\\' && p + 1 < pattern_end)
        literal = p + 1;
      else if (IsWildcard(pattern[p]))
        break;
      size_t next_p = literal;
      int32_t pc = NextCodePoint(pattern, pattern_end, &next_p);
      size_t next_s = s;
      int32_t sc = NextCodePoint(text, text_end, &next_s);
      if (pc == kMalformed || pc != sc) break;
      p = next_p;
      s = next_s;
    }
    if (s == text_end) return SkipWildcards(p) == pattern_end;
    if (p == pattern_end) return false;
    if (pattern[p] == '?') {
      if (Match(s, p + 1, depth + 1)) return true;
      size_t next_s = s;
      NextCodePoint(text, text_end, &next_s);
      return Match(next_s, p + 1, depth + 1);
    }
    if (pattern[p] != '*') return false;
    p = SkipWildcards(p);
    for (; s < text_end; ++s) {
      if (Match(s, p, depth + 1)) return true;
    }
    return SkipWildcards(p) == pattern_end;
  }
};

bool MatchesAny(StringPiece text, const std::vector<std::string>& patterns) {
  return std::any_of(patterns.begin(), patterns.end(),
                     [text](const std::string& pattern) {
                       return MatchPattern(text, pattern);
                     });
}

bool IsDisabledByDefault(StringPiece category) {
  return MatchPattern(category, kDisabledByDefaultPattern);
}

// Why |pattern| may not be used, or null.
const char* CheckPattern(StringPiece pattern) {
  if (pattern.empty()) return "empty pattern";
  if (pattern.size() > TraceConfig::kMaxPatternLength)
    return "pattern longer than 64 bytes";
  if (std::count(pattern.begin(), pattern.end(), '*') >
      TraceConfig::kMaxWildcardsPerPattern)
    return "pattern with more than 4 \"*\"";
  return nullptr;
}

}  // namespace

bool MatchPattern(StringPiece text, StringPiece pattern) {
  Matcher matcher{text.data(), text.size(), pattern.data(), pattern.size()};
  return matcher.Match(0, 0, 0);
}

TraceConfig::EventFilterConfig::EventFilterConfig(
    const std::string& predicate_name)
    : predicate_name_(predicate_name) {}

TraceConfig::EventFilterConfig::EventFilterConfig(
    const EventFilterConfig& other) {
  *this = other;
}

TraceConfig::EventFilterConfig& TraceConfig::EventFilterConfig::operator=(
    const EventFilterConfig& other) {
  if (this == &other) return *this;
  predicate_name_ = other.predicate_name_;
  included_ = other.included_;
  excluded_ = other.excluded_;
  args_ = other.args_ ? other.args_->CreateDeepCopy() : nullptr;
  return *this;
}

TraceConfig::EventFilterConfig::~EventFilterConfig() = default;

void TraceConfig::EventFilterConfig::SetArgs(
    std::unique_ptr<DictionaryValue> args) {
  args_ = std::move(args);
}

bool TraceConfig::EventFilterConfig::IsCategoryGroupEnabled(
    StringPiece group) const {
  StringTokenizer categories(group, ",");
  while (categories.GetNext()) {
    if (MatchesAny(categories.token(), excluded_)) return false;
    if (MatchesAny(categories.token(), included_)) return true;
  }
  return false;
}

TraceConfig::TraceConfig() = default;
TraceConfig::TraceConfig(const TraceConfig& other) = default;
TraceConfig& TraceConfig::operator=(const TraceConfig& other) = default;
TraceConfig::~TraceConfig() = default;

// static
bool TraceConfig::ParseCategoryFilter(StringPiece filter, TraceConfig* config,
                                      std::string* error) {
  TraceConfig parsed;
  size_t start = 0;
  while (true) {
    size_t end = filter.find(',', start);
    if (end == StringPiece::npos) end = filter.size();
    StringPiece token = filter.substr(start, end - start);
    bool exclude = !token.empty() && token[0] == '-';
    if (exclude) token = token.substr(1);
    if (const char* reason = CheckPattern(token)) {
      *error = std::string(reason) + " in \"" + std::string(filter) + "\"";
      return false;
    }
    std::string pattern(token);
    if (exclude)
      parsed.excluded_.push_back(pattern);
    else if (token.starts_with(kDisabledByDefaultPrefix))
      parsed.disabled_.push_back(pattern);
    else
      parsed.included_.push_back(pattern);
    if (end == filter.size()) break;
    start = end + 1;
  }
  *config = parsed;
  return true;
}

void TraceConfig::Clear() { *this = TraceConfig(); }

bool TraceConfig::IsCategoryEnabled(StringPiece category) const {
  if (MatchesAny(category, disabled_)) return true;
  if (IsDisabledByDefault(category)) return false;
  return MatchesAny(category, included_);
}

bool TraceConfig::IsCategoryGroupEnabled(StringPiece group) const {
  bool has_enabled_by_default = false;
  StringTokenizer categories(group, ",");
  while (categories.GetNext()) {
    if (IsCategoryEnabled(categories.token())) return true;
    if (!IsDisabledByDefault(categories.token())) has_enabled_by_default = true;
  }

  bool excluded = false;
  StringTokenizer excluded_categories(group, ",");
  while (excluded_categories.GetNext()) {
    const StringPiece category = excluded_categories.token();
    for (const std::string& pattern : excluded_) {
      if (MatchPattern(category, pattern)) {
        excluded = true;
        break;
      }
      if (!IsDisabledByDefault(category)) excluded = false;
    }
    if (!excluded) break;
  }
  return !excluded && has_enabled_by_default && included_.empty();
}

}  // namespace trace_event
}  // namespace base
