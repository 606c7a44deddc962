// Escaping of UTF-8 text as a JSON string literal.

#ifndef BASE_JSON_STRING_ESCAPE_H_
#define BASE_JSON_STRING_ESCAPE_H_

#include <string>

#include "base/strings/string_piece.h"

namespace base {

// Appends |str| to |dest| as JSON string content, between double quotes when
// |put_in_quotes| is set. The quote, the backslash and the control characters
// are escaped; so are '<' (as \u003C, so that the text can sit inside an HTML
// script block), U+2028 and U+2029 (line breaks for script parsers), and the
// Unicode noncharacters (U+FDD0..U+FDEF and every code point ending in FFFE
// or FFFF; those outside the BMP as a surrogate pair), which a strict reader
// refuses to take raw. Everything else is copied as UTF-8.
//
// Malformed UTF-8, surrogate code points and values above U+10FFFF are
// written as U+FFFD; the result is then false, otherwise true. A text longer
// than 2^31 - 1 bytes ends the process.
bool EscapeJSONString(StringPiece str, bool put_in_quotes, std::string* dest);

// The same, always between double quotes.
bool EscapeJSONString(StringPiece str, std::string* dest);

}  // namespace base

#endif  // BASE_JSON_STRING_ESCAPE_H_
