#include "base/strings/string_split.h"

#include "base/strings/string_util.h"

namespace base {

namespace {

StringPiece WhitespaceFor(StringPiece) { return kWhitespaceASCII; }
StringPiece16 WhitespaceFor(StringPiece16) { return kWhitespaceUTF16; }

// StringPiece's set search uses a byte table for larger sets; StringPiece16's
// compares each unit with the members.
template <typename CharT>
std::vector<BasicStringPiece<CharT>> SplitPieces(
    BasicStringPiece<CharT> input, BasicStringPiece<CharT> separators,
    SplitWhitespace whitespace, SplitFilter filter) {
  using Piece = BasicStringPiece<CharT>;
  std::vector<Piece> parts;
  if (input.empty()) return parts;
  size_t start = 0;
  while (true) {
    const size_t end = separators.empty()
                           ? Piece::npos
                           : input.find_first_of(separators, start);
    Piece part =
        input.substr(start, end == Piece::npos ? Piece::npos : end - start);
    if (whitespace == SplitWhitespace::kTrim) {
      const Piece set = WhitespaceFor(part);
      const size_t first = part.find_first_not_of(set);
      part = first == Piece::npos
                 ? part.substr(part.size())
                 : part.substr(first, part.find_last_not_of(set) - first + 1);
    }
    if (filter == SplitFilter::kAll || !part.empty()) parts.push_back(part);
    if (end == Piece::npos) break;
    start = end + 1;
  }
  return parts;
}

template <typename StringT, typename CharT>
std::vector<StringT> ToStrings(const std::vector<BasicStringPiece<CharT>>& in) {
  std::vector<StringT> result;
  result.reserve(in.size());
  for (const auto& piece : in) result.push_back(piece.as_string());
  return result;
}

}  // namespace

std::vector<std::string> SplitString(StringPiece input, StringPiece separators,
                                     SplitWhitespace whitespace,
                                     SplitFilter filter) {
  return ToStrings<std::string>(
      SplitPieces(input, separators, whitespace, filter));
}

std::vector<std::u16string> SplitString16(StringPiece16 input,
                                          StringPiece16 separators,
                                          SplitWhitespace whitespace,
                                          SplitFilter filter) {
  return ToStrings<std::u16string>(
      SplitPieces(input, separators, whitespace, filter));
}

std::vector<StringPiece> SplitStringPiece(StringPiece input, char separator,
                                          SplitWhitespace whitespace,
                                          SplitFilter filter) {
  return SplitPieces(input, StringPiece(&separator, 1), whitespace, filter);
}

std::vector<StringPiece> SplitStringPiece(StringPiece input,
                                          StringPiece separators,
                                          SplitWhitespace whitespace,
                                          SplitFilter filter) {
  return SplitPieces(input, separators, whitespace, filter);
}

bool SplitKeyValuePairs(StringPiece input, StringPairs* pairs) {
  pairs->clear();
  const std::vector<StringPiece> parts = SplitStringPiece(
      input, ',', SplitWhitespace::kTrim, SplitFilter::kNonEmpty);
  pairs->reserve(parts.size());
  bool success = true;
  for (const StringPiece& part : parts) {
    if (!AppendKeyValuePair(part, pairs)) success = false;
  }
  return success;
}

bool AppendKeyValuePair(StringPiece pair_text, StringPairs* pairs) {
  pairs->emplace_back();
  const size_t separator = pair_text.find('=');
  if (separator == StringPiece::npos) return false;
  auto& [key, value] = pairs->back();
  key = pair_text.substr(0, separator).as_string();
  const size_t value_start = pair_text.find_first_not_of("=", separator);
  if (value_start == StringPiece::npos) return false;
  value = pair_text.substr(value_start).as_string();
  return true;
}

}  // namespace base
