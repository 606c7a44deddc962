// Reads a category filter as the "trace-categories" switch would, and
// matches the accepted patterns against a category group taken from the
// rest of the input. Nothing may crash, and no accepted filter may make the
// matcher run away.
//
// Input: one length byte, the filter, then the category group.

#include <stddef.h>
#include <stdint.h>

#include <string>

#include "base/trace_event/trace_config.h"

namespace {

// Longer than any category name the program uses.
constexpr size_t kMaxGroupLength = 128;

bool IsPlainLiteral(const std::string& pattern) {
  for (char c : pattern) {
    if (static_cast<unsigned char>(c) >= 0x80 || c == '*' || c == '?' ||
        c == '\\') {
      return false;
    }
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const size_t filter_length = data[0] < size - 1 ? data[0] : size - 1;
  const std::string filter(reinterpret_cast<const char*>(data + 1),
                           filter_length);
  std::string group(reinterpret_cast<const char*>(data + 1 + filter_length),
                    size - 1 - filter_length);
  if (group.size() > kMaxGroupLength) group.resize(kMaxGroupLength);

  base::trace_event::TraceConfig config;
  std::string error;
  if (!base::trace_event::TraceConfig::ParseCategoryFilter(filter, &config,
                                                           &error)) {
    if (error.empty()) __builtin_trap();
    return 0;
  }
  config.IsCategoryGroupEnabled(group);
  for (const auto* list :
       {&config.included_categories(), &config.disabled_categories(),
        &config.excluded_categories()}) {
    for (const std::string& pattern : *list) {
      base::trace_event::MatchPattern(group, pattern);
      // A plain ASCII pattern without wildcards or escapes matches its
      // own text.
      if (IsPlainLiteral(pattern) &&
          !base::trace_event::MatchPattern(pattern, pattern)) {
        __builtin_trap();
      }
    }
  }
  return 0;
}
