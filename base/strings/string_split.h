// Splitting text at separator characters, with optional trimming of each part
// and optional dropping of empty parts, and a reader of comma-separated
// key=value lists.
//
// Every character of a separator set separates on its own; a sequence of
// several characters is never one separator. An empty input gives no parts;
// otherwise n separators give n + 1 parts before filtering, so a separator at
// the end yields a final empty part.

#ifndef BASE_STRINGS_STRING_SPLIT_H_
#define BASE_STRINGS_STRING_SPLIT_H_

#include <string>
#include <utility>
#include <vector>

#include "base/strings/string_piece.h"

namespace base {

// What happens to white space around each part: kTrim removes it from both
// ends (the ASCII set for narrow parts, the Unicode set for wide parts).
enum class SplitWhitespace { kKeep = 0, kTrim = 1 };

// Which parts are returned: all of them, or only those not empty after
// trimming.
enum class SplitFilter { kAll = 0, kNonEmpty = 1 };

std::vector<std::string> SplitString(StringPiece input, StringPiece separators,
                                     SplitWhitespace whitespace,
                                     SplitFilter filter);
std::vector<std::u16string> SplitString16(StringPiece16 input,
                                          StringPiece16 separators,
                                          SplitWhitespace whitespace,
                                          SplitFilter filter);

// The parts are views into |input| and live only as long as its text.
std::vector<StringPiece> SplitStringPiece(StringPiece input, char separator,
                                          SplitWhitespace whitespace,
                                          SplitFilter filter);
std::vector<StringPiece> SplitStringPiece(StringPiece input,
                                          StringPiece separators,
                                          SplitWhitespace whitespace,
                                          SplitFilter filter);

using StringPairs = std::vector<std::pair<std::string, std::string>>;

// Reads "key=value" pairs separated by ",": |*pairs| is emptied, the input is
// split at "," with each part trimmed and empty parts dropped, and every part
// is read by AppendKeyValuePair. Returns false when any part was malformed;
// the remaining parts are still read.
bool SplitKeyValuePairs(StringPiece input, StringPairs* pairs);

// Appends one pair for |pair_text| whatever it holds. The key is the text
// before the first "="; the value is what follows that "=" and any "="
// directly after it. Neither is trimmed. Returns false (the pair then stays
// empty, or has an empty value) when there is no "=" or nothing after it.
bool AppendKeyValuePair(StringPiece pair_text, StringPairs* pairs);

}  // namespace base

#endif  // BASE_STRINGS_STRING_SPLIT_H_
