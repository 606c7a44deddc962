#include "desktop/windows/crash_reporter/module_list.h"

namespace crash_reporter {

namespace {

bool ParseHex(base::StringPiece16 text, uint64_t* value) {
  if (text.size() >= 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X'))
    text = text.substr(2);
  if (text.empty() || text.size() > 16) return false;
  uint64_t result = 0;
  for (char16_t c : text) {
    int digit;
    if (c >= '0' && c <= '9')
      digit = c - '0';
    else if (c >= 'a' && c <= 'f')
      digit = c - 'a' + 10;
    else if (c >= 'A' && c <= 'F')
      digit = c - 'A' + 10;
    else
      return false;
    result = result << 4 | static_cast<uint64_t>(digit);
  }
  *value = result;
  return true;
}

// The text from |*position| to |delimiter|, moving |*position| past it;
// false when the delimiter is missing or the piece is empty.
bool TakePiece(base::StringPiece16 text, base::StringPiece16 delimiter,
               size_t* position, base::StringPiece16* piece) {
  const size_t end = text.find(delimiter, *position);
  if (end == base::StringPiece16::npos || end == *position) return false;
  *piece = text.substr(*position, end - *position);
  *position = end + delimiter.size();
  return true;
}

}  // namespace

std::vector<ModuleListRecord> ParseModuleList(base::StringPiece16 text) {
  std::vector<ModuleListRecord> records;
  size_t position = 0;
  while (position < text.size()) {
    base::StringPiece16 name, base, size, path;
    ModuleListRecord record;
    if (!TakePiece(text, u":", &position, &name) ||
        !TakePiece(text, u":", &position, &base) ||
        !TakePiece(text, u":", &position, &size) ||
        !TakePiece(text, u"::", &position, &path) ||
        !ParseHex(base, &record.base) || !ParseHex(size, &record.size)) {
      break;
    }
    record.name.assign(name.data(), name.size());
    record.path.assign(path.data(), path.size());
    records.push_back(std::move(record));
  }
  return records;
}

}  // namespace crash_reporter
