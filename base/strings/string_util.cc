#include "base/strings/string_util.h"

#include <algorithm>
#include <utility>

namespace base {

const char kWhitespaceASCII[] = "\x09\x0A\x0B\x0C\x0D\x20";

const char16_t kWhitespaceUTF16[] = {
    0x0009, 0x000A, 0x000B, 0x000C, 0x000D, 0x0020, 0x0085, 0x00A0, 0x1680,
    0x2000, 0x2001, 0x2002, 0x2003, 0x2004, 0x2005, 0x2006, 0x2007, 0x2008,
    0x2009, 0x200A, 0x2028, 0x2029, 0x202F, 0x205F, 0x3000, 0};

const char16_t kWhitespaceASCIIAs16[] = {0x0009, 0x000A, 0x000B, 0x000C,
                                         0x000D, 0x0020, 0};

namespace {

template <typename Str, typename Piece, typename Convert>
Str MapChars(Piece text, Convert convert) {
  Str result(text.size(), 0);
  for (size_t i = 0; i < text.size(); ++i) result[i] = convert(text[i]);
  return result;
}

template <typename CharT>
bool EqualsIgnoringCase(BasicStringPiece<CharT> a, BasicStringPiece<CharT> b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (ToLowerASCII(a[i]) != ToLowerASCII(b[i])) return false;
  }
  return true;
}

template <typename Str>
TrimPositions DoTrim(const Str& input,
                     BasicStringPiece<typename Str::value_type> trim_chars,
                     TrimPositions positions, Str* output) {
  using Piece = BasicStringPiece<typename Str::value_type>;
  const Piece in(input);
  if (in.empty()) {
    output->clear();
    return TRIM_NONE;
  }
  const size_t first = (positions & TRIM_LEADING)
                           ? in.find_first_not_of(trim_chars)
                           : 0;
  const size_t last = (positions & TRIM_TRAILING)
                          ? in.find_last_not_of(trim_chars)
                          : in.size() - 1;
  if (first == Piece::npos || last == Piece::npos || first > last) {
    output->clear();
    return positions;
  }
  int result = TRIM_NONE;
  if (first != 0) result |= TRIM_LEADING;
  if (last != in.size() - 1) result |= TRIM_TRAILING;
  *output = Str(in.substr(first, last - first + 1).view());
  return static_cast<TrimPositions>(result);
}

// Linear-time replacement: one pass when the text shrinks or keeps its
// length, a counting pass, one growth and a backward pass when it grows.
template <typename Str>
void DoReplaceSubstrings(Str* str, size_t offset,
                         BasicStringPiece<typename Str::value_type> find,
                         BasicStringPiece<typename Str::value_type> replace,
                         bool replace_all) {
  if (find.empty() || offset >= str->size()) return;
  const auto find_view = find.view();
  size_t first = str->find(find_view, offset);
  if (first == Str::npos) return;
  const size_t find_len = find.size();
  const size_t repl_len = replace.size();
  if (!replace_all) {
    str->replace(first, find_len, replace.data(), repl_len);
    return;
  }
  auto* data = str->data();
  if (repl_len <= find_len) {
    size_t write = first;
    size_t read = first;
    size_t match = first;
    while (match != Str::npos) {
      if (write != read)
        std::copy(data + read, data + match, data + write);
      write += match - read;
      std::copy(replace.begin(), replace.end(), data + write);
      write += repl_len;
      read = match + find_len;
      match = str->find(find_view, read);
    }
    std::copy(data + read, data + str->size(), data + write);
    write += str->size() - read;
    str->resize(write);
    return;
  }
  // Matches are recorded by the forward scan, so that the backward pass
  // replaces exactly the non-overlapping occurrences a forward search sees.
  std::vector<size_t> matches;
  for (size_t m = first; m != Str::npos; m = str->find(find_view, m + find_len))
    matches.push_back(m);
  const size_t old_size = str->size();
  const size_t new_size = old_size + matches.size() * (repl_len - find_len);
  str->resize(new_size);
  data = str->data();
  size_t read_end = old_size;
  size_t write_end = new_size;
  for (size_t i = matches.size(); i-- > 0;) {
    const size_t m = matches[i];
    const size_t tail = read_end - (m + find_len);
    std::copy_backward(data + m + find_len, data + read_end, data + write_end);
    write_end -= tail;
    write_end -= repl_len;
    std::copy(replace.begin(), replace.end(), data + write_end);
    read_end = m;
  }
}

template <typename Str>
Str DoJoin(const std::vector<Str>& parts,
           BasicStringPiece<typename Str::value_type> separator) {
  Str result;
  if (parts.empty()) return result;
  size_t total = parts[0].size();
  for (size_t i = 1; i < parts.size(); ++i)
    total += separator.size() + parts[i].size();
  result.reserve(total);
  result = parts[0];
  for (size_t i = 1; i < parts.size(); ++i) {
    result.append(separator.data(), separator.size());
    result += parts[i];
  }
  return result;
}

template <typename Str>
Str DoReplacePlaceholders(BasicStringPiece<typename Str::value_type> format,
                          const std::vector<Str>& subst,
                          std::vector<size_t>* offsets) {
  size_t capacity = format.size();
  for (const Str& s : subst) capacity += s.size();
  Str result;
  result.reserve(capacity);
  std::vector<std::pair<size_t, size_t>> placed;  // (number, offset)
  for (size_t i = 0; i < format.size(); ++i) {
    const auto c = format[i];
    if (c != '$') {
      result.push_back(c);
      continue;
    }
    if (i + 1 == format.size()) break;  // a trailing "$" is dropped
    if (format[i + 1] == '$') {
      while (i + 1 < format.size() && format[i + 1] == '$') {
        result.push_back('$');
        ++i;
      }
      continue;
    }
    const auto next = format[i + 1];
    ++i;
    if (next >= '1' && next <= '9') {
      const size_t index = static_cast<size_t>(next - '1');
      if (index < subst.size()) {
        placed.emplace_back(index, result.size());
        result += subst[index];
      }
    }
  }
  if (offsets) {
    std::stable_sort(placed.begin(), placed.end(),
                     [](const auto& a, const auto& b) {
                       return a.first < b.first;
                     });
    offsets->clear();
    for (const auto& p : placed) offsets->push_back(p.second);
  }
  return result;
}

}  // namespace

std::string ToLowerASCII(StringPiece text) {
  return MapChars<std::string>(text, [](char c) { return ToLowerASCII(c); });
}

std::u16string ToLowerASCII(StringPiece16 text) {
  return MapChars<std::u16string>(text,
                                  [](char16_t c) { return ToLowerASCII(c); });
}

std::string ToUpperASCII(StringPiece text) {
  return MapChars<std::string>(text, [](char c) { return ToUpperASCII(c); });
}

std::u16string ToUpperASCII(StringPiece16 text) {
  return MapChars<std::u16string>(text,
                                  [](char16_t c) { return ToUpperASCII(c); });
}

bool EqualsCaseInsensitiveASCII16(StringPiece16 text, StringPiece lower_ascii) {
  if (text.size() != lower_ascii.size()) return false;
  for (size_t i = 0; i < text.size(); ++i) {
    // A byte of 0x80 or above is never equal to a lowered unit.
    const unsigned char b = static_cast<unsigned char>(lower_ascii[i]);
    if (b >= 0x80 || ToLowerASCII(text[i]) != b) return false;
  }
  return true;
}

bool EqualsCaseInsensitiveASCII16(StringPiece16 a, StringPiece16 b) {
  return EqualsIgnoringCase(a, b);
}

bool EqualsCaseInsensitiveASCII(StringPiece a, StringPiece b) {
  return EqualsIgnoringCase(a, b);
}

bool EndsWith16(StringPiece16 text, StringPiece16 suffix, int case_flag) {
  if (case_flag != 0 && case_flag != 1) return false;
  if (suffix.size() > text.size()) return false;
  const StringPiece16 tail = text.substr(text.size() - suffix.size());
  return case_flag == 0 ? tail == suffix : EqualsIgnoringCase(tail, suffix);
}

bool EndsWith16(StringPiece16 text, StringPiece16 suffix,
                CompareCase case_flag) {
  return EndsWith16(text, suffix, static_cast<int>(case_flag));
}

bool StartsWith(StringPiece text, StringPiece prefix, CompareCase case_flag) {
  if (prefix.size() > text.size()) return false;
  const StringPiece head = text.substr(0, prefix.size());
  return case_flag == CompareCase::SENSITIVE
             ? head == prefix
             : EqualsIgnoringCase(head, prefix);
}

bool StartsWith16(StringPiece16 text, StringPiece16 prefix,
                  CompareCase case_flag) {
  if (prefix.size() > text.size()) return false;
  const StringPiece16 head = text.substr(0, prefix.size());
  return case_flag == CompareCase::SENSITIVE
             ? head == prefix
             : EqualsIgnoringCase(head, prefix);
}

bool EndsWith(StringPiece text, StringPiece suffix, CompareCase case_flag) {
  if (suffix.size() > text.size()) return false;
  const StringPiece tail = text.substr(text.size() - suffix.size());
  return case_flag == CompareCase::SENSITIVE
             ? tail == suffix
             : EqualsIgnoringCase(tail, suffix);
}

TrimPositions TrimString16(const std::u16string& input,
                           StringPiece16 trim_chars, std::u16string* output) {
  return DoTrim(input, trim_chars, TRIM_ALL, output);
}

TrimPositions TrimString(const std::string& input, StringPiece trim_chars,
                         std::string* output) {
  return DoTrim(input, trim_chars, TRIM_ALL, output);
}

std::u16string TrimWhitespace16(StringPiece16 input) {
  std::u16string result;
  DoTrim(input.as_string(), StringPiece16(kWhitespaceUTF16), TRIM_ALL, &result);
  return result;
}

std::string TrimWhitespaceASCII(StringPiece input) {
  std::string result;
  DoTrim(input.as_string(), StringPiece(kWhitespaceASCII), TRIM_ALL, &result);
  return result;
}

std::string CollapseWhitespaceASCII(StringPiece text) {
  auto is_space = [](char c) {
    return c == ' ' || (c >= 0x09 && c <= 0x0D);
  };
  std::string result;
  result.reserve(text.size());
  bool in_run = true;  // leading white space disappears
  bool run_has_space = false;
  for (char c : text) {
    if (!is_space(c)) {
      result.push_back(c);
      in_run = false;
      run_has_space = false;
      continue;
    }
    if (!in_run) {
      in_run = true;
      result.push_back(' ');
      run_has_space = true;
    }
    if ((c == '\r' || c == '\n') && run_has_space) {
      // A run that holds a line break is removed entirely.
      result.pop_back();
      run_has_space = false;
    }
  }
  if (run_has_space) result.pop_back();
  return result;
}

bool ReplaceChars(const std::string& input, StringPiece replace_chars,
                  const std::string& replace_with, std::string* output) {
  if (output != &input) *output = input;
  bool replaced = false;
  size_t pos = StringPiece(*output).find_first_of(replace_chars, 0);
  while (pos != std::string::npos) {
    output->replace(pos, 1, replace_with);
    replaced = true;
    pos = StringPiece(*output).find_first_of(replace_chars,
                                             pos + replace_with.size());
  }
  return replaced;
}

void ReplaceSubstringsAfterOffset(std::string* str, StringPiece find,
                                  StringPiece replace_with, bool replace_all) {
  DoReplaceSubstrings(str, 0, find, replace_with, replace_all);
}

void ReplaceSubstringsAfterOffset(std::string* str, size_t start_offset,
                                  StringPiece find, StringPiece replace_with) {
  DoReplaceSubstrings(str, start_offset, find, replace_with, true);
}

void ReplaceSubstringsAfterOffset(std::u16string* str, size_t start_offset,
                                  StringPiece16 find,
                                  StringPiece16 replace_with) {
  DoReplaceSubstrings(str, start_offset, find, replace_with, true);
}

std::string JoinString(const std::vector<std::string>& parts,
                       StringPiece separator) {
  return DoJoin(parts, separator);
}

std::u16string JoinString16(const std::vector<std::u16string>& parts,
                            StringPiece16 separator) {
  return DoJoin(parts, separator);
}

std::string ReplaceStringPlaceholders(StringPiece format,
                                      const std::vector<std::string>& subst,
                                      std::vector<size_t>* offsets) {
  return DoReplacePlaceholders(format, subst, offsets);
}

std::u16string ReplaceStringPlaceholders16(
    const std::u16string& format, const std::vector<std::u16string>& subst,
    std::vector<size_t>* offsets) {
  return DoReplacePlaceholders(StringPiece16(format), subst, offsets);
}

}  // namespace base
