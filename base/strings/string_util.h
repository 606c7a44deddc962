// Small text operations shared by the whole system: ASCII case mapping and
// comparison, suffix tests, trimming, whitespace collapsing, replacement,
// joining and numbered-placeholder substitution. Case rules are ASCII only;
// nothing here looks at the locale and nothing fails.

#ifndef BASE_STRINGS_STRING_UTIL_H_
#define BASE_STRINGS_STRING_UTIL_H_

#include <stddef.h>

#include <string>
#include <vector>

#include "base/strings/string_piece.h"

namespace base {

// The six ASCII white-space characters.
extern const char kWhitespaceASCII[];
// The Unicode white-space set (tab to carriage return, blank, U+0085, U+00A0,
// U+1680, U+2000-U+200A, U+2028, U+2029, U+202F, U+205F, U+3000).
extern const char16_t kWhitespaceUTF16[];
// The ASCII white-space set as wide text.
extern const char16_t kWhitespaceASCIIAs16[];

// Which ends TrimString16 removed anything from.
enum TrimPositions {
  TRIM_NONE = 0,
  TRIM_LEADING = 1 << 0,
  TRIM_TRAILING = 1 << 1,
  TRIM_ALL = TRIM_LEADING | TRIM_TRAILING,
};

// The case flag of EndsWith16.
enum class CompareCase {
  SENSITIVE = 0,
  INSENSITIVE_ASCII = 1,
};

inline char ToLowerASCII(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + ('a' - 'A')) : c;
}
inline char16_t ToLowerASCII(char16_t c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char16_t>(c + ('a' - 'A')) : c;
}
inline char ToUpperASCII(char c) {
  return (c >= 'a' && c <= 'z') ? static_cast<char>(c - ('a' - 'A')) : c;
}
inline char16_t ToUpperASCII(char16_t c) {
  return (c >= 'a' && c <= 'z') ? static_cast<char16_t>(c - ('a' - 'A')) : c;
}

std::string ToLowerASCII(StringPiece text);
std::u16string ToLowerASCII(StringPiece16 text);
std::string ToUpperASCII(StringPiece text);
std::u16string ToUpperASCII(StringPiece16 text);

// True when the lengths match and every unit of |text|, lowered by the ASCII
// rule, equals the byte of |lower_ascii| at the same place. |lower_ascii| is
// not lowered: it must already be lower case.
bool EqualsCaseInsensitiveASCII16(StringPiece16 text, StringPiece lower_ascii);
// Both sides lowered by the ASCII rule.
bool EqualsCaseInsensitiveASCII16(StringPiece16 a, StringPiece16 b);
bool EqualsCaseInsensitiveASCII(StringPiece a, StringPiece b);

// |case_flag| 0 compares exactly, 1 ignores ASCII case; any other value gives
// false. An empty suffix is always found.
bool EndsWith16(StringPiece16 text, StringPiece16 suffix, int case_flag);
bool EndsWith16(StringPiece16 text, StringPiece16 suffix,
                CompareCase case_flag);
bool StartsWith(StringPiece text, StringPiece prefix,
                CompareCase case_flag = CompareCase::SENSITIVE);
bool StartsWith16(StringPiece16 text, StringPiece16 prefix,
                  CompareCase case_flag = CompareCase::SENSITIVE);
bool EndsWith(StringPiece text, StringPiece suffix,
              CompareCase case_flag = CompareCase::SENSITIVE);

// Removes the characters of |trim_chars| from both ends. |output| may be
// |input|. Returns which ends lost characters (TRIM_ALL when all did).
TrimPositions TrimString16(const std::u16string& input,
                           StringPiece16 trim_chars, std::u16string* output);
TrimPositions TrimString(const std::string& input, StringPiece trim_chars,
                         std::string* output);
// Both ends, with the Unicode (wide) or ASCII (narrow) white-space set.
std::u16string TrimWhitespace16(StringPiece16 input);
std::string TrimWhitespaceASCII(StringPiece input);

// Drops leading and trailing white space, turns every other run into one
// blank, and removes entirely a run that holds CR or LF.
std::string CollapseWhitespaceASCII(StringPiece text);

// Replaces every character of |replace_chars| in |input| by |replace_with|
// into |output| (which may be |input|); the replacement itself is never
// searched. True when anything was replaced.
bool ReplaceChars(const std::string& input, StringPiece replace_chars,
                  const std::string& replace_with, std::string* output);

// Replaces the first, or every, non-overlapping occurrence of |find| in
// |*str|, searching from the beginning. Linear time: at most one growth and
// one move of each character. An empty |find| changes nothing.
void ReplaceSubstringsAfterOffset(std::string* str, StringPiece find,
                                  StringPiece replace_with, bool replace_all);
// Replaces every occurrence at or after |start_offset|.
void ReplaceSubstringsAfterOffset(std::string* str, size_t start_offset,
                                  StringPiece find, StringPiece replace_with);
void ReplaceSubstringsAfterOffset(std::u16string* str, size_t start_offset,
                                  StringPiece16 find,
                                  StringPiece16 replace_with);

std::string JoinString(const std::vector<std::string>& parts,
                       StringPiece separator);
std::u16string JoinString16(const std::vector<std::u16string>& parts,
                            StringPiece16 separator);

// "$1" to "$9" name the substitutions; "$$..." gives one "$" less; "$" and
// any other character are both dropped, as is a trailing "$". When |offsets|
// is given it receives where each substitution starts in the result, ordered
// by substitution number.
std::string ReplaceStringPlaceholders(StringPiece format,
                                      const std::vector<std::string>& subst,
                                      std::vector<size_t>* offsets = nullptr);
std::u16string ReplaceStringPlaceholders16(
    const std::u16string& format, const std::vector<std::u16string>& subst,
    std::vector<size_t>* offsets = nullptr);

}  // namespace base

#endif  // BASE_STRINGS_STRING_UTIL_H_
