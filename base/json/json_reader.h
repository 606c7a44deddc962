// Reads UTF-8 JSON text into a value tree.
//
// The reader is stricter than RFC 8259 in some ways (UTF-8 only, raw
// noncharacters refused, no leading zeros, at most 99 nested containers) and
// more lenient in others (// and /* */ comments, the escapes \v and \xHH,
// raw control characters inside strings, and trailing commas on request).
// Any value may be the root. A repeated dictionary key keeps its last value;
// dots in keys stay literal. Input is untrusted: every failure is reported,
// never fatal.

#ifndef BASE_JSON_JSON_READER_H_
#define BASE_JSON_JSON_READER_H_

#include <memory>
#include <string>

#include "base/strings/string_piece.h"

namespace base {

class Value;

class JSONReader {
 public:
  // Parser options; a bit set.
  enum JsonParseOptions {
    JSON_PARSE_RFC = 0,
    // A ',' directly before '}' or ']' is accepted.
    JSON_ALLOW_TRAILING_COMMAS = 1 << 0,
    // Every string of the result owns its text, so any child may be taken
    // out of the tree and outlive it. Our trees are always built that way;
    // the bit is accepted for callers that ask for it.
    JSON_DETACHABLE_CHILDREN = 1 << 1,
  };

  enum JsonParseError {
    JSON_NO_ERROR = 0,
    JSON_INVALID_ESCAPE,
    JSON_SYNTAX_ERROR,
    JSON_UNEXPECTED_TOKEN,
    JSON_TRAILING_COMMA,
    JSON_TOO_MUCH_NESTING,
    JSON_UNEXPECTED_DATA_AFTER_ROOT,
    JSON_UNSUPPORTED_ENCODING,
    JSON_UNQUOTED_DICTIONARY_KEY,
    JSON_PARSE_ERROR_COUNT
  };

  // Containers nest at most this deep: a list or dictionary one level
  // deeper fails with JSON_TOO_MUCH_NESTING.
  static constexpr int kMaxContainerDepth = 99;

  // The messages of the error codes above.
  static const char kInvalidEscape[];
  static const char kSyntaxError[];
  static const char kUnexpectedToken[];
  static const char kTrailingComma[];
  static const char kTooMuchNesting[];
  static const char kUnexpectedDataAfterRoot[];
  static const char kUnsupportedEncoding[];
  static const char kUnquotedDictionaryKey[];

  JSONReader() = delete;

  // The root value, or null when |json| is not valid.
  static std::unique_ptr<Value> Read(StringPiece json);

  // As Read, with |options| from JsonParseOptions. On failure the error code
  // and "Line: L, column: C, <message>" are stored into the out-parameters
  // that are given (columns count bytes from 1; a byte-order mark counts);
  // on success they are left alone.
  static std::unique_ptr<Value> ReadAndReturnError(StringPiece json,
                                                   int options,
                                                   int* error_code_out,
                                                   std::string* error_msg_out);

  // The message of |error_code|; empty for JSON_NO_ERROR and unknown codes.
  static std::string ErrorCodeToString(JsonParseError error_code);
};

}  // namespace base

#endif  // BASE_JSON_JSON_READER_H_
