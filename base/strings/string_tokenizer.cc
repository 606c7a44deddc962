#include "base/strings/string_tokenizer.h"

namespace base {

StringTokenizer::StringTokenizer(StringPiece text, StringPiece delimiters)
    : text_(text), delimiters_(delimiters) {}

bool StringTokenizer::GetNext() {
  while (position_ < text_.size()) {
    const size_t start = position_;
    size_t end = text_.find_first_of(delimiters_, start);
    if (end == StringPiece::npos) end = text_.size();
    position_ = end + 1;
    if (end > start) {
      token_ = text_.substr(start, end - start);
      return true;
    }
  }
  return false;
}

}  // namespace base
