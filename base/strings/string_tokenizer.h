// StringTokenizer: the tokens of a text between delimiter characters, in
// order and without allocating. Empty tokens are skipped (",a,,b," gives "a"
// and "b") and nothing is trimmed. The tokens are views into the text, which
// must outlive them.
//
// A value for one loop; one thread.

#ifndef BASE_STRINGS_STRING_TOKENIZER_H_
#define BASE_STRINGS_STRING_TOKENIZER_H_

#include <stddef.h>

#include "base/strings/string_piece.h"

namespace base {

class StringTokenizer {
 public:
  // Every character of |delimiters| delimits on its own.
  StringTokenizer(StringPiece text, StringPiece delimiters);

  // Moves to the next token; false when none is left.
  bool GetNext();
  // The token GetNext() moved to.
  StringPiece token() const { return token_; }

 private:
  const StringPiece text_;
  const StringPiece delimiters_;
  size_t position_ = 0;
  StringPiece token_;
};

}  // namespace base

#endif  // BASE_STRINGS_STRING_TOKENIZER_H_
