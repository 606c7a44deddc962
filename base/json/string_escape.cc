#include "base/json/string_escape.h"

#include <stdint.h>

#include <limits>

#include "base/logging.h"
#include "base/strings/utf_string_conversion_utils.h"

namespace base {

namespace {

// Appends "\uXXXX" with upper-case hexadecimal digits.
void AppendUnicodeEscape(uint32_t unit, std::string* dest) {
  static constexpr char kHexDigits[] = "0123456789ABCDEF";
  dest->append("\\u");
  for (int shift = 12; shift >= 0; shift -= 4)
    dest->push_back(kHexDigits[(unit >> shift) & 0xF]);
}

// True for the ASCII bytes that go out unchanged.
bool IsPlainASCII(unsigned char c) {
  return c >= 0x20 && c < 0x80 && c != '"' && c != '\\' && c != '<';
}

void AppendEscapedASCII(unsigned char c, std::string* dest) {
  switch (c) {
    case '"':
      dest->append("\\\"");
      break;
    case '\\':
      dest->append("\\\\");
      break;
    case '\b':
      dest->append("\\b");
      break;
    case '\t':
      dest->append("\\t");
      break;
    case '\n':
      dest->append("\\n");
      break;
    case '\f':
      dest->append("\\f");
      break;
    case '\r':
      dest->append("\\r");
      break;
    default:
      // '<' and the remaining control characters.
      AppendUnicodeEscape(c, dest);
      break;
  }
}

void AppendCodePoint(int32_t code_point, std::string* dest) {
  if (code_point == 0x2028 || code_point == 0x2029) {
    AppendUnicodeEscape(static_cast<uint32_t>(code_point), dest);
  } else if (!IsValidCharacter(code_point)) {
    // A noncharacter: our own reader takes it only escaped.
    if (code_point < 0x10000) {
      AppendUnicodeEscape(static_cast<uint32_t>(code_point), dest);
    } else {
      const uint32_t offset = static_cast<uint32_t>(code_point) - 0x10000;
      AppendUnicodeEscape(0xD800 + (offset >> 10), dest);
      AppendUnicodeEscape(0xDC00 + (offset & 0x3FF), dest);
    }
  } else {
    WriteUnicodeCharacter(code_point, dest);
  }
}

}  // namespace

bool EscapeJSONString(StringPiece str, bool put_in_quotes, std::string* dest) {
  CHECK_LE(str.size(),
           static_cast<size_t>(std::numeric_limits<int32_t>::max()));
  if (put_in_quotes) dest->push_back('"');
  bool did_replacement = false;
  const char* data = str.data();
  const size_t length = str.size();
  size_t position = 0;
  while (position < length) {
    // Runs of plain ASCII are copied in one piece.
    size_t run_end = position;
    while (run_end < length &&
           IsPlainASCII(static_cast<unsigned char>(data[run_end])))
      ++run_end;
    dest->append(data + position, run_end - position);
    position = run_end;
    if (position == length) break;

    const unsigned char lead = static_cast<unsigned char>(data[position++]);
    if (lead < 0x80) {
      AppendEscapedASCII(lead, dest);
      continue;
    }
    int32_t code_point = -1;
    if (lead >= 0xC0 && lead <= 0xFD)
      code_point = ReadUTF8CodePoint(data, &position, length, lead);
    if (code_point < 0) {
      code_point = kUnicodeReplacementCharacter;
      did_replacement = true;
    }
    AppendCodePoint(code_point, dest);
  }
  if (put_in_quotes) dest->push_back('"');
  return !did_replacement;
}

bool EscapeJSONString(StringPiece str, std::string* dest) {
  return EscapeJSONString(str, true, dest);
}

}  // namespace base
