#include "desktop/windows/installer/core/installer_log_text.h"

namespace installer {

namespace {

// The severity in a line's prefix: "[pid:tid:time:ERROR:file(line)] ".
constexpr char kErrorSeverity[] = "ERROR:";

// The line of |text| that holds |position|, without its line end.
base::StringPiece LineAt(base::StringPiece text, size_t position) {
  const size_t start = text.rfind('\n', position);
  const size_t begin = start == base::StringPiece::npos ? 0 : start + 1;
  size_t end = text.find('\n', position);
  if (end == base::StringPiece::npos) end = text.size();
  if (end > begin && text[end - 1] == '\r') --end;
  return text.substr(begin, end - begin);
}

// Whether |line| was logged at ERROR severity; |*message_start| is then
// where its text begins.
bool IsErrorLine(base::StringPiece line, size_t* message_start) {
  if (line.empty() || line[0] != '[') return false;
  const size_t close = line.find("] ");
  if (close == base::StringPiece::npos) return false;
  const base::StringPiece prefix = line.substr(0, close);
  // The prefix starts with '[', so a match never starts at 0.
  const size_t at = prefix.rfind(kErrorSeverity);
  if (at == base::StringPiece::npos ||
      (prefix[at - 1] != ':' && prefix[at - 1] != '[')) {
    return false;
  }
  *message_start = close + 2;
  return true;
}

}  // namespace

std::string FindLastErrorMessage(base::StringPiece log) {
  // Only the severity field counts, never "ERROR:" inside a message.
  for (size_t end = log.size(); end > 0;) {
    const size_t newline = log.rfind('\n', end - 1);
    const size_t begin = newline == base::StringPiece::npos ? 0 : newline + 1;
    const base::StringPiece line = LineAt(log, begin);
    size_t message_start = 0;
    if (IsErrorLine(line, &message_start))
      return line.substr(message_start).as_string();
    if (newline == base::StringPiece::npos) break;
    end = newline;
  }
  return std::string();
}

}  // namespace installer
