#include "base/json/json_parser.h"

#include <errno.h>
#include <string.h>

#include <cmath>
#include <utility>

#include "base/strings/string_number_conversions.h"
#include "base/strings/utf_string_conversion_utils.h"
#include "base/values.h"

namespace base {
namespace internal {

namespace {

constexpr char kUTF8ByteOrderMark[] = "\xEF\xBB\xBF";

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

bool IsHighSurrogate(uint32_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }

bool IsLowSurrogate(uint32_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

// Lowers the parser's depth again on every way out of a container.
class DepthGuard {
 public:
  explicit DepthGuard(int* depth) : depth_(depth) { ++*depth_; }
  DepthGuard(const DepthGuard&) = delete;
  DepthGuard& operator=(const DepthGuard&) = delete;
  ~DepthGuard() { --*depth_; }

 private:
  int* depth_;
};

}  // namespace

JSONParser::JSONParser(int options) : options_(options) {}

JSONParser::~JSONParser() = default;

std::unique_ptr<Value> JSONParser::Parse(StringPiece input) {
  // The view never hands out a null pointer, even for empty input.
  data_ = input.view().data();
  length_ = input.size();
  index_ = 0;
  depth_ = 0;
  line_ = 1;
  last_line_break_ = 0;
  error_code_ = JSONReader::JSON_NO_ERROR;
  error_line_ = 0;
  error_column_ = 0;

  // The mark is skipped but still counts in the columns of line 1.
  if (length_ >= 3 && memcmp(data_, kUTF8ByteOrderMark, 3) == 0) index_ = 3;

  std::unique_ptr<Value> root = ParseNextToken();
  if (!root) return nullptr;
  EatWhitespaceAndComments();
  if (index_ != length_) {
    ReportError(JSONReader::JSON_UNEXPECTED_DATA_AFTER_ROOT, 1);
    return nullptr;
  }
  return root;
}

std::string JSONParser::GetErrorMessage() const {
  const std::string message = JSONReader::ErrorCodeToString(error_code_);
  if (message.empty() || (error_line_ == 0 && error_column_ == 0))
    return message;
  return "Line: " + std::to_string(error_line_) +
         ", column: " + std::to_string(error_column_) + ", " + message;
}

JSONParser::Token JSONParser::GetNextToken() {
  EatWhitespaceAndComments();
  if (index_ >= length_) return T_END_OF_INPUT;
  switch (data_[index_]) {
    case '{':
      return T_OBJECT_BEGIN;
    case '}':
      return T_OBJECT_END;
    case '[':
      return T_ARRAY_BEGIN;
    case ']':
      return T_ARRAY_END;
    case '"':
      return T_STRING;
    case '-':
    case '0':
    case '1':
    case '2':
    case '3':
    case '4':
    case '5':
    case '6':
    case '7':
    case '8':
    case '9':
      return T_NUMBER;
    case 't':
      return T_BOOL_TRUE;
    case 'f':
      return T_BOOL_FALSE;
    case 'n':
      return T_NULL;
    case ',':
      return T_LIST_SEPARATOR;
    case ':':
      return T_OBJECT_PAIR_SEPARATOR;
    default:
      return T_INVALID_TOKEN;
  }
}

void JSONParser::EatWhitespaceAndComments() {
  while (index_ < length_) {
    const char c = data_[index_];
    switch (c) {
      case '\r':
      case '\n':
        last_line_break_ = index_;
        // A CR LF pair is one line.
        if (!(c == '\n' && index_ > 0 && data_[index_ - 1] == '\r')) ++line_;
        ++index_;
        break;
      case ' ':
      case '\t':
        ++index_;
        break;
      case '/':
        if (!EatComment()) return;
        break;
      default:
        return;
    }
  }
}

bool JSONParser::EatComment() {
  if (length_ - index_ < 2) return false;
  const char kind = data_[index_ + 1];
  if (kind == '/') {
    // Up to, not over, the line break, so that the line is still counted.
    index_ += 2;
    while (index_ < length_ && data_[index_] != '\r' && data_[index_] != '\n')
      ++index_;
    return true;
  }
  if (kind == '*') {
    // The closing "*/" may not reuse the opening '*'; an unterminated
    // comment runs to the end of the input.
    const void* found = nullptr;
    size_t search = index_ + 2;
    while (search < length_ &&
           (found = memchr(data_ + search, '*', length_ - search))) {
      const size_t star = static_cast<const char*>(found) - data_;
      if (star + 1 < length_ && data_[star + 1] == '/') {
        index_ = star + 2;
        return true;
      }
      search = star + 1;
    }
    index_ = length_;
    return true;
  }
  return false;
}

std::unique_ptr<Value> JSONParser::ParseNextToken() {
  return ParseToken(GetNextToken());
}

std::unique_ptr<Value> JSONParser::ParseToken(Token token) {
  switch (token) {
    case T_OBJECT_BEGIN:
      return ConsumeDictionary();
    case T_ARRAY_BEGIN:
      return ConsumeList();
    case T_STRING:
      return ConsumeString();
    case T_NUMBER:
      return ConsumeNumber();
    case T_BOOL_TRUE:
      return ConsumeLiteral("true", std::make_unique<FundamentalValue>(true));
    case T_BOOL_FALSE:
      return ConsumeLiteral("false", std::make_unique<FundamentalValue>(false));
    case T_NULL:
      return ConsumeLiteral("null", Value::CreateNullValue());
    default:
      ReportError(JSONReader::JSON_UNEXPECTED_TOKEN, 1);
      return nullptr;
  }
}

std::unique_ptr<Value> JSONParser::ConsumeDictionary() {
  DepthGuard depth(&depth_);
  if (depth_ >= kStackMaxDepth) {
    ReportError(JSONReader::JSON_TOO_MUCH_NESTING, 1);
    return nullptr;
  }
  ++index_;  // '{'
  auto dict = std::make_unique<DictionaryValue>();
  Token token = GetNextToken();
  if (token == T_OBJECT_END) {
    ++index_;
    return dict;
  }
  while (true) {
    if (token != T_STRING) {
      ReportError(JSONReader::JSON_UNQUOTED_DICTIONARY_KEY, 1);
      return nullptr;
    }
    std::string key;
    if (!ConsumeStringRaw(&key)) return nullptr;
    if (GetNextToken() != T_OBJECT_PAIR_SEPARATOR) {
      ReportError(JSONReader::JSON_SYNTAX_ERROR, 1);
      return nullptr;
    }
    ++index_;  // ':'
    std::unique_ptr<Value> value = ParseNextToken();
    if (!value) return nullptr;
    // A repeated key replaces the earlier value: the last one wins.
    dict->SetWithoutPathExpansion(key, std::move(value));

    token = GetNextToken();
    if (token == T_OBJECT_END) {
      ++index_;
      return dict;
    }
    if (token != T_LIST_SEPARATOR) {
      ReportError(JSONReader::JSON_SYNTAX_ERROR, 0);
      return nullptr;
    }
    ++index_;  // ','
    token = GetNextToken();
    if (token == T_OBJECT_END) {
      if (!(options_ & JSONReader::JSON_ALLOW_TRAILING_COMMAS)) {
        ReportError(JSONReader::JSON_TRAILING_COMMA, 1);
        return nullptr;
      }
      ++index_;
      return dict;
    }
  }
}

std::unique_ptr<Value> JSONParser::ConsumeList() {
  DepthGuard depth(&depth_);
  if (depth_ >= kStackMaxDepth) {
    ReportError(JSONReader::JSON_TOO_MUCH_NESTING, 1);
    return nullptr;
  }
  ++index_;  // '['
  auto list = std::make_unique<ListValue>();
  Token token = GetNextToken();
  if (token == T_ARRAY_END) {
    ++index_;
    return list;
  }
  while (true) {
    std::unique_ptr<Value> value = ParseToken(token);
    if (!value) return nullptr;
    list->Append(std::move(value));

    token = GetNextToken();
    if (token == T_ARRAY_END) {
      ++index_;
      return list;
    }
    if (token != T_LIST_SEPARATOR) {
      ReportError(JSONReader::JSON_SYNTAX_ERROR, 1);
      return nullptr;
    }
    ++index_;  // ','
    token = GetNextToken();
    if (token == T_ARRAY_END) {
      if (!(options_ & JSONReader::JSON_ALLOW_TRAILING_COMMAS)) {
        ReportError(JSONReader::JSON_TRAILING_COMMA, 1);
        return nullptr;
      }
      ++index_;
      return list;
    }
  }
}

std::unique_ptr<Value> JSONParser::ConsumeString() {
  std::string text;
  if (!ConsumeStringRaw(&text)) return nullptr;
  return std::make_unique<StringValue>(std::move(text));
}

bool JSONParser::ConsumeStringRaw(std::string* out) {
  ++index_;  // '"'
  if (index_ >= length_) {
    ReportError(JSONReader::JSON_SYNTAX_ERROR, 0);
    return false;
  }
  while (true) {
    // Plain ASCII runs, control characters included, are copied at once.
    size_t run_end = index_;
    while (run_end < length_) {
      const unsigned char c = static_cast<unsigned char>(data_[run_end]);
      if (c == '"' || c == '\\' || c >= 0x80) break;
      ++run_end;
    }
    out->append(data_ + index_, run_end - index_);
    index_ = run_end;
    if (index_ >= length_) {
      // The closing quote never came.
      ReportError(JSONReader::JSON_SYNTAX_ERROR, 0);
      return false;
    }

    const unsigned char c = static_cast<unsigned char>(data_[index_]);
    if (c == '"') {
      ++index_;
      return true;
    }
    if (c == '\\') {
      if (!ConsumeEscape(out)) return false;
    } else {
      size_t next = index_ + 1;
      int32_t code_point = -1;
      if (c >= 0xC0 && c <= 0xFD)
        code_point = ReadUTF8CodePoint(data_, &next, length_, c);
      // Raw noncharacters are refused; our writer always escapes them.
      if (code_point < 0 || !IsValidCharacter(code_point)) {
        ReportError(JSONReader::JSON_UNSUPPORTED_ENCODING, 1);
        return false;
      }
      out->append(data_ + index_, next - index_);
      index_ = next;
    }
    if (index_ >= length_) {
      ReportError(JSONReader::JSON_SYNTAX_ERROR, 0);
      return false;
    }
  }
}

bool JSONParser::ConsumeEscape(std::string* out) {
  ++index_;  // '\\'
  if (index_ >= length_) {
    ReportError(JSONReader::JSON_INVALID_ESCAPE, 0);
    return false;
  }
  const char kind = data_[index_];
  switch (kind) {
    case '"':
    case '/':
    case '\\':
      out->push_back(kind);
      break;
    case 'b':
      out->push_back('\b');
      break;
    case 'f':
      out->push_back('\f');
      break;
    case 'n':
      out->push_back('\n');
      break;
    case 'r':
      out->push_back('\r');
      break;
    case 't':
      out->push_back('\t');
      break;
    case 'v':
      out->push_back('\v');
      break;
    case 'x': {
      if (length_ - index_ < 3) {
        ReportError(JSONReader::JSON_INVALID_ESCAPE, 1);
        return false;
      }
      ++index_;
      uint32_t value = 0;
      if (!ReadHex(index_, 2, &value)) {
        ReportError(JSONReader::JSON_INVALID_ESCAPE, -1);
        return false;
      }
      if (value < 0x80)
        out->push_back(static_cast<char>(value));
      else
        WriteUnicodeCharacter(static_cast<int32_t>(value), out);
      index_ += 2;
      return true;
    }
    case 'u': {
      if (length_ - index_ < 5) {
        ReportError(JSONReader::JSON_INVALID_ESCAPE, 0);
        return false;
      }
      ++index_;
      if (!DecodeUnicodeEscape(out)) {
        ReportError(JSONReader::JSON_INVALID_ESCAPE, -1);
        return false;
      }
      return true;
    }
    default:
      ReportError(JSONReader::JSON_INVALID_ESCAPE, 0);
      return false;
  }
  ++index_;
  return true;
}

bool JSONParser::DecodeUnicodeEscape(std::string* out) {
  uint32_t unit = 0;
  if (!ReadHex(index_, 4, &unit) || IsLowSurrogate(unit)) return false;
  if (!IsHighSurrogate(unit)) {
    // Noncharacters are taken here: escaped is how our writer emits them.
    WriteUnicodeCharacter(static_cast<int32_t>(unit), out);
    index_ += 4;
    return true;
  }
  const size_t second = index_ + 4;
  uint32_t low = 0;
  if (length_ - second < 6 || data_[second] != '\\' ||
      data_[second + 1] != 'u' || !ReadHex(second + 2, 4, &low) ||
      !IsLowSurrogate(low))
    return false;
  const int32_t code_point =
      static_cast<int32_t>(0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00));
  WriteUnicodeCharacter(code_point, out);
  index_ = second + 6;
  return true;
}

bool JSONParser::ReadHex(size_t position, size_t count, uint32_t* value) const {
  // The shared conversion decides, so its sign and "0x" rules apply within
  // the escape's digits as well.
  uint64_t parsed = 0;
  if (!HexStringToUInt64(StringPiece(data_ + position, count), &parsed))
    return false;
  *value = static_cast<uint32_t>(parsed);
  return true;
}

std::unique_ptr<Value> JSONParser::ConsumeNumber() {
  const size_t start = index_;
  if (data_[index_] == '-') ++index_;

  // A leading '0' stands alone; a digit after it fails as the token that
  // follows the number.
  if (index_ >= length_ || !IsDigit(data_[index_])) {
    ReportError(JSONReader::JSON_SYNTAX_ERROR, 1);
    return nullptr;
  }
  if (data_[index_] == '0') {
    ++index_;
  } else {
    while (index_ < length_ && IsDigit(data_[index_])) ++index_;
  }

  if (index_ < length_ && data_[index_] == '.') {
    ++index_;
    if (index_ >= length_ || !IsDigit(data_[index_])) {
      ReportError(JSONReader::JSON_SYNTAX_ERROR, 1);
      return nullptr;
    }
    while (index_ < length_ && IsDigit(data_[index_])) ++index_;
  }

  if (index_ < length_ && (data_[index_] == 'e' || data_[index_] == 'E')) {
    ++index_;
    if (index_ < length_ && (data_[index_] == '+' || data_[index_] == '-'))
      ++index_;
    if (index_ >= length_ || !IsDigit(data_[index_])) {
      ReportError(JSONReader::JSON_SYNTAX_ERROR, 1);
      return nullptr;
    }
    while (index_ < length_ && IsDigit(data_[index_])) ++index_;
  }

  const StringPiece text(data_ + start, index_ - start);
  const int line_at_number = line_;
  const size_t line_break_at_number = last_line_break_;
  const Token next = GetNextToken();
  if (next != T_OBJECT_END && next != T_ARRAY_END && next != T_LIST_SEPARATOR &&
      next != T_END_OF_INPUT) {
    ReportError(JSONReader::JSON_SYNTAX_ERROR, 1);
    return nullptr;
  }

  int integer = 0;
  if (StringToInt(text, &integer))
    return std::make_unique<FundamentalValue>(integer);

  const int saved_errno = errno;
  double number = 0;
  const bool converted = StringToDouble(text, &number);
  errno = saved_errno;
  // The grammar above leaves only range errors. A subnormal result is exact
  // enough to keep (our writer emits such numbers); overflow to infinity and
  // underflow to zero are refused.
  if (converted || (std::isfinite(number) && number != 0.0))
    return std::make_unique<FundamentalValue>(number);

  index_ = start;
  line_ = line_at_number;
  last_line_break_ = line_break_at_number;
  ReportError(JSONReader::JSON_SYNTAX_ERROR, 1);
  return nullptr;
}

std::unique_ptr<Value> JSONParser::ConsumeLiteral(
    StringPiece literal, std::unique_ptr<Value> value) {
  if (length_ - index_ < literal.size() ||
      memcmp(data_ + index_, literal.data(), literal.size()) != 0) {
    ReportError(JSONReader::JSON_SYNTAX_ERROR, 1);
    return nullptr;
  }
  index_ += literal.size();
  return value;
}

void JSONParser::ReportError(JSONReader::JsonParseError code,
                             int column_adjust) {
  error_code_ = code;
  error_line_ = line_;
  error_column_ = static_cast<int>(index_ - last_line_break_) + column_adjust;
}

}  // namespace internal
}  // namespace base
