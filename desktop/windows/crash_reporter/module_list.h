// The module list that an installer process stores in its "modules" crash
// key, for the reporter to fall back on when it cannot list the crashed
// process's modules itself.
//
// The text is a run of records, each a name, ':', the base address, ':',
// the size, ':', the path and "::"; base and size are hexadecimal with an
// optional "0x" prefix. The text comes from the crashed process: parsing
// stops at the first malformed record and keeps the records before it.

#ifndef DESKTOP_WINDOWS_CRASH_REPORTER_MODULE_LIST_H_
#define DESKTOP_WINDOWS_CRASH_REPORTER_MODULE_LIST_H_

#include <stdint.h>

#include <string>
#include <vector>

#include "base/strings/string_piece.h"

namespace crash_reporter {

struct ModuleListRecord {
  std::u16string name;
  std::u16string path;
  uint64_t base = 0;
  uint64_t size = 0;

  bool operator==(const ModuleListRecord& other) const {
    return name == other.name && path == other.path && base == other.base &&
           size == other.size;
  }
};

// A missing delimiter, an empty piece or a number that is not hexadecimal
// (or does not fit in 64 bits) ends the parsing.
std::vector<ModuleListRecord> ParseModuleList(base::StringPiece16 text);

}  // namespace crash_reporter

#endif  // DESKTOP_WINDOWS_CRASH_REPORTER_MODULE_LIST_H_
