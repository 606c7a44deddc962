// The recursive-descent parser behind JSONReader. Callers use JSONReader;
// this class is exposed for its tests, which look at error positions.

#ifndef BASE_JSON_JSON_PARSER_H_
#define BASE_JSON_JSON_PARSER_H_

#include <stddef.h>
#include <stdint.h>

#include <memory>
#include <string>

#include "base/json/json_reader.h"
#include "base/strings/string_piece.h"

namespace base {

class Value;

namespace internal {

// Parses one document per call to Parse; the error state describes the last
// call. Line numbers start at 1. A column is the byte index (a byte-order
// mark included) minus the index of the last line break, plus a small
// per-error adjustment, so the first byte of line 1 is column 1 and the first
// byte of a later line column 2.
class JSONParser {
 public:
  // Entering a container at this depth fails.
  static constexpr int kStackMaxDepth = JSONReader::kMaxContainerDepth + 1;

  explicit JSONParser(int options);
  JSONParser(const JSONParser&) = delete;
  JSONParser& operator=(const JSONParser&) = delete;
  ~JSONParser();

  // The root value, or null with the error state set.
  std::unique_ptr<Value> Parse(StringPiece input);

  JSONReader::JsonParseError error_code() const { return error_code_; }
  int error_line() const { return error_line_; }
  int error_column() const { return error_column_; }
  // Empty when there was no error; the bare message when the position is
  // unknown; otherwise "Line: L, column: C, <message>".
  std::string GetErrorMessage() const;

 private:
  enum Token {
    T_OBJECT_BEGIN,
    T_OBJECT_END,
    T_ARRAY_BEGIN,
    T_ARRAY_END,
    T_STRING,
    T_NUMBER,
    T_BOOL_TRUE,
    T_BOOL_FALSE,
    T_NULL,
    T_LIST_SEPARATOR,
    T_OBJECT_PAIR_SEPARATOR,
    T_END_OF_INPUT,
    T_INVALID_TOKEN,
  };

  // Skips white space and comments and names the token at the current
  // position without consuming it.
  Token GetNextToken();
  void EatWhitespaceAndComments();
  // At a '/': skips one comment, or returns false when none starts here.
  bool EatComment();

  std::unique_ptr<Value> ParseNextToken();
  std::unique_ptr<Value> ParseToken(Token token);
  std::unique_ptr<Value> ConsumeDictionary();
  std::unique_ptr<Value> ConsumeList();
  std::unique_ptr<Value> ConsumeString();
  std::unique_ptr<Value> ConsumeNumber();
  std::unique_ptr<Value> ConsumeLiteral(StringPiece literal,
                                        std::unique_ptr<Value> value);

  // At a '"': appends the decoded text to |out| and moves past the closing
  // quote.
  bool ConsumeStringRaw(std::string* out);
  // At a '\\': appends what the escape stands for.
  bool ConsumeEscape(std::string* out);
  // At the first of the four digits of a \u escape: appends the character
  // (reading a second escape for a surrogate pair).
  bool DecodeUnicodeEscape(std::string* out);
  // Reads |count| bytes at |position| as a hexadecimal number.
  bool ReadHex(size_t position, size_t count, uint32_t* value) const;

  // Records the first error at the current position.
  void ReportError(JSONReader::JsonParseError code, int column_adjust);

  const int options_;

  const char* data_ = nullptr;
  size_t length_ = 0;
  size_t index_ = 0;
  int depth_ = 0;
  int line_ = 1;
  size_t last_line_break_ = 0;

  JSONReader::JsonParseError error_code_ = JSONReader::JSON_NO_ERROR;
  int error_line_ = 0;
  int error_column_ = 0;
};

}  // namespace internal
}  // namespace base

#endif  // BASE_JSON_JSON_PARSER_H_
