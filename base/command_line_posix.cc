#include "base/command_line.h"

#include <fstream>
#include <iterator>

#include "base/strings/utf_string_conversions.h"

namespace base {

// static
CommandLine::StringType CommandLine::GetProcessCommandLineText() {
  std::ifstream in("/proc/self/cmdline", std::ios::binary);
  const std::string raw((std::istreambuf_iterator<char>(in)),
                        std::istreambuf_iterator<char>());
  StringType text;
  size_t start = 0;
  while (start < raw.size()) {
    size_t end = raw.find('\0', start);
    if (end == std::string::npos) end = raw.size();
    if (!text.empty()) text.push_back(u' ');
    text += QuoteForCommandLine(UTF8ToUTF16(raw.substr(start, end - start)),
                                false);
    start = end + 1;
  }
  return text;
}

// static
CommandLine::StringVector CommandLine::SplitWithSystemRules(
    StringPiece16 text) {
  return SplitCommandLine(text);
}

}  // namespace base
