// The "Content-Range" header of a partial (206) response, as the downloader
// checks it before it appends the body to what it already has.

#ifndef DESKTOP_WINDOWS_INSTALLER_WININET_CONTENT_RANGE_H_
#define DESKTOP_WINDOWS_INSTALLER_WININET_CONTENT_RANGE_H_

#include <stdint.h>

#include "base/strings/string_piece.h"

namespace installer {

struct ContentRange {
  uint64_t first = 0;  // the offset of the body's first byte
  uint64_t last = 0;   // the offset of its last byte
  // The whole entity's length, 0 when the server sent "*".
  uint64_t total = 0;
};

// Reads "bytes <first>-<last>/<total or *>" (the unit's case ignored,
// blanks allowed around the parts). False for anything else, for last
// below first and for a total not above last.
bool ParseContentRange(base::StringPiece16 text, ContentRange* range);

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_WININET_CONTENT_RANGE_H_
