#include "base/json/json_reader.h"

#include <memory>
#include <string>

#include "base/json/json_parser.h"
#include "base/json/json_writer.h"
#include "base/values.h"
#include "gtest/gtest.h"

namespace base {
namespace {

constexpr int kTrailing = JSONReader::JSON_ALLOW_TRAILING_COMMAS;

// The compact JSON of what |json| parses to, or "<error N>".
std::string Reparse(const std::string& json, int options = 0) {
  int code = -1;
  std::unique_ptr<Value> root =
      JSONReader::ReadAndReturnError(json, options, &code, nullptr);
  if (!root) return "<error " + std::to_string(code) + ">";
  std::string out;
  JSONWriter::Write(*root, &out);
  return out;
}

TEST(JSONReaderTest, AcceptedDocuments) {
  struct {
    std::string input;
    std::string expected;
  } cases[] = {
      {"null", "null"},
      {"true", "true"},
      {" \t\r\n false \n", "false"},
      {"\"text\"", "\"text\""},
      {"{}", "{}"},
      {"[]", "[]"},
      {"{ \"b\" : [ 1 , 2 ] , \"a\" : null }", "{\"a\":null,\"b\":[1,2]}"},
      {"[[[]],{}]", "[[[]],{}]"},
      // The last of a repeated key wins; dots in keys stay literal.
      {"{\"a\":1,\"a\":2}", "{\"a\":2}"},
      {"{\"a.b\":1,\"\":2}", "{\"\":2,\"a.b\":1}"},
      // Comments wherever white space may be.
      {"// head\r\n[1, /* between */ 2] // tail", "[1,2]"},
      {"/**/1", "1"},
      // The opening '*' does not close the comment.
      {"/*/ 1 */ 2", "2"},
      {"[1 /* never closed", "<error 2>"},
      // Raw control characters stay in strings.
      {"\"a\tb\x01\"", "\"a\\tb\\u0001\""},
  };
  for (const auto& c : cases)
    EXPECT_EQ(c.expected, Reparse(c.input)) << c.input;
}

TEST(JSONReaderTest, NumberTypes) {
  struct {
    const char* input;
    Value::Type type;
    double value;
  } cases[] = {
      {"5", Value::TYPE_INTEGER, 5},
      {"-0", Value::TYPE_INTEGER, 0},
      {"2147483647", Value::TYPE_INTEGER, 2147483647.0},
      {"-2147483648", Value::TYPE_INTEGER, -2147483648.0},
      {"2147483648", Value::TYPE_DOUBLE, 2147483648.0},
      {"-2147483649", Value::TYPE_DOUBLE, -2147483649.0},
      {"5.0", Value::TYPE_DOUBLE, 5},
      {"1e2", Value::TYPE_DOUBLE, 100},
      {"1E+2", Value::TYPE_DOUBLE, 100},
      {"-1.5e-2", Value::TYPE_DOUBLE, -0.015},
      {"0.000", Value::TYPE_DOUBLE, 0},
      // Subnormal numbers are kept exactly.
      {"5e-324", Value::TYPE_DOUBLE, 5e-324},
      {"2.2250738585072009e-308", Value::TYPE_DOUBLE, 2.2250738585072009e-308},
      {"1.7976931348623157e+308", Value::TYPE_DOUBLE, 1.7976931348623157e308},
  };
  for (const auto& c : cases) {
    std::unique_ptr<Value> root = JSONReader::Read(c.input);
    ASSERT_TRUE(root) << c.input;
    EXPECT_EQ(c.type, root->GetType()) << c.input;
    double value = -1;
    EXPECT_TRUE(root->GetAsDouble(&value));
    EXPECT_EQ(c.value, value) << c.input;
  }
}

TEST(JSONReaderTest, StringEscapes) {
  struct {
    std::string input;
    std::string expected;
  } cases[] = {
      {"\"\\\"\\/\\\\\\b\\f\\n\\r\\t\\v\"", "\"/\\\b\f\n\r\t\v"},
      {"\"\\x41\\xe9\"", "A\xC3\xA9"},
      {"\"\\u0041\\u00e9\\u20AC\"", "A\xC3\xA9\xE2\x82\xAC"},
      {"\"\\u0000\"", std::string(1, '\0')},
      {"\"\\ud83d\\ude00\"", "\xF0\x9F\x98\x80"},
      // Escaped noncharacters are accepted; our writer emits them so.
      {"\"\\uFFFE\\uFDD0\"", "\xEF\xBF\xBE\xEF\xB7\x90"},
      {"\"\\uD83F\\uDFFE\"", "\xF0\x9F\xBF\xBE"},
      // The digits follow the shared hexadecimal conversion, sign included.
      {"\"\\u+041\"", "A"},
      {"\"\\x+1\"", "\x01"},
  };
  for (const auto& c : cases) {
    std::unique_ptr<Value> root = JSONReader::Read(c.input);
    std::string text;
    ASSERT_TRUE(root && root->GetAsString(&text)) << c.input;
    EXPECT_EQ(c.expected, text) << c.input;
  }
}

TEST(JSONReaderTest, TrailingCommasOnlyWithTheOption) {
  const char* const kInputs[] = {"[1,]", "{\"a\":1,}", "[[],]", "{\"a\":{},}"};
  for (const char* input : kInputs) {
    EXPECT_EQ("<error 4>", Reparse(input)) << input;
    EXPECT_EQ(std::string::npos, Reparse(input, kTrailing).find("error"))
        << input;
  }
  EXPECT_EQ("[1]", Reparse("[1,]", kTrailing));
  EXPECT_EQ("<error 3>", Reparse("[1,,]", kTrailing));
  EXPECT_EQ("<error 3>", Reparse("[,]", kTrailing));
  EXPECT_EQ("<error 8>", Reparse("{,}", kTrailing));
}

struct ErrorCase {
  std::string input;
  int code;
  int line;
  int column;
};

void ExpectErrors(const ErrorCase* cases, size_t count, int options) {
  for (size_t i = 0; i < count; ++i) {
    const ErrorCase& c = cases[i];
    internal::JSONParser parser(options);
    EXPECT_FALSE(parser.Parse(c.input)) << c.input;
    EXPECT_EQ(c.code, parser.error_code()) << c.input;
    EXPECT_EQ(c.line, parser.error_line()) << c.input;
    EXPECT_EQ(c.column, parser.error_column()) << c.input;
  }
}

TEST(JSONReaderTest, StructureErrors) {
  const ErrorCase cases[] = {
      {"{\"a\":1,}", 4, 1, 8},
      {"[1,]", 4, 1, 4},
      {"{a:1}", 8, 1, 2},
      {"{1:1}", 8, 1, 2},
      {"[1 2]", 2, 1, 4},
      {"[\"a\" \"b\"]", 2, 1, 6},
      // After a number the number's own check reports first (+1); after
      // any other value the dictionary reports at the byte before.
      {"{\"a\":1 \"b\":2}", 2, 1, 8},
      {"{\"a\":true \"b\":2}", 2, 1, 10},
      {"{\"a\" 1}", 2, 1, 6},
      {"{} x", 6, 1, 4},
      {"{}{}", 6, 1, 3},
      {std::string("[]\0", 3), 6, 1, 3},
      {"", 3, 1, 1},
      {"   ", 3, 1, 4},
      {"]", 3, 1, 1},
      {"/", 3, 1, 1},
      {"{} /", 6, 1, 4},
      {"nul", 2, 1, 1},
      {"[tru]", 2, 1, 2},
      {"truex", 6, 1, 5},
      {"[1 /* open", 2, 1, 11},
  };
  ExpectErrors(cases, std::size(cases), 0);
}

TEST(JSONReaderTest, NumberErrors) {
  const ErrorCase cases[] = {
      {"01", 2, 1, 2},
      {"-", 2, 1, 2},
      {"-a", 2, 1, 2},
      {"1.", 2, 1, 3},
      {"1.e5", 2, 1, 3},
      {"1e", 2, 1, 3},
      {"1e+", 2, 1, 4},
      {"1x", 2, 1, 2},
      {"1 /", 2, 1, 3},
      {".5", 3, 1, 1},
      {"+1", 3, 1, 1},
      // Numbers outside the double range fail as syntax errors at their
      // first byte.
      {"1e999", 2, 1, 1},
      {"[0, -1e400]", 2, 1, 5},
      {"1e-400", 2, 1, 1},
      {"[\n1e999]", 2, 2, 2},
  };
  ExpectErrors(cases, std::size(cases), 0);
}

TEST(JSONReaderTest, StringErrors) {
  const ErrorCase cases[] = {
      {"\"", 2, 1, 1},
      {"\"abc", 2, 1, 4},
      {"\"\\", 1, 1, 2},
      {"\"\\q\"", 1, 1, 2},
      {"\"\\x4", 1, 1, 3},
      {"\"\\x4\"", 1, 1, 2},
      {"\"\\xZZ\"", 1, 1, 2},
      {"\"\\u12\"", 1, 1, 2},
      {"\"\\uZZZZ\"", 1, 1, 2},
      {"\"\\u 041\"", 1, 1, 2},
      {"\"\\u-041\"", 1, 1, 2},
      {"\"\\ude00\"", 1, 1, 2},
      {"\"\\ud83d\"", 1, 1, 2},
      {"\"\\ud83dxxxxxx\"", 1, 1, 2},
      {"\"\\ud83d\\u0041\"", 1, 1, 2},
      {"\"\\ud83d\\ud83d\"", 1, 1, 2},
      {"\"\\u0041", 2, 1, 7},
      // Raw bytes that are not well-formed UTF-8, and raw noncharacters.
      {"\"\xFF\"", 7, 1, 2},
      {"\"a\x80\"", 7, 1, 3},
      {"\"\xC0\xAF\"", 7, 1, 2},
      {"\"\xED\xA0\x80\"", 7, 1, 2},
      {"\"\xF4\x90\x80\x80\"", 7, 1, 2},
      {"\"\xEF\xBF\xBE\"", 7, 1, 2},
      {"\"\xEF\xB7\x90\"", 7, 1, 2},
      {"\"\xE2\x82\"", 7, 1, 2},
  };
  ExpectErrors(cases, std::size(cases), 0);
}

TEST(JSONReaderTest, LinesAndColumns) {
  const ErrorCase cases[] = {
      // CR LF counts once; the column counts from the LF.
      {"[1,\r\n2 x]", 2, 2, 4},
      {"[1,\n2 x]", 2, 2, 4},
      {"[1,\r2 x]", 2, 2, 4},
      {"\n\nx", 3, 3, 2},
      {"\n\r\n\rx", 3, 4, 2},
      // Line breaks inside comments and strings are not counted.
      {"/*\n\n*/ x", 3, 1, 8},
      {"// c\nx", 3, 2, 2},
      {"[\"a\nb\" x]", 2, 1, 8},
      // A byte-order mark is skipped but counts in line 1's columns.
      {"\xEF\xBB\xBFx", 3, 1, 4},
      {"\xEF\xBB\xBF{\"a\":1,}", 4, 1, 11},
      {"\xEF\xBB\xBF\nx", 3, 2, 2},
  };
  ExpectErrors(cases, std::size(cases), 0);
}

TEST(JSONReaderTest, ByteOrderMarkIsSkipped) {
  EXPECT_EQ("{\"a\":1}", Reparse("\xEF\xBB\xBF{\"a\":1}"));
  EXPECT_EQ("<error 3>", Reparse("\xEF\xBB"));
}

// |depth| containers, dictionaries and lists taking turns from the outside.
std::string Nested(int depth) {
  std::string open, close;
  for (int i = 0; i < depth; ++i) {
    const bool dict = i % 2 == 0;
    open += dict ? "{\"k\":" : "[";
    close.insert(0, dict ? "}" : "]");
  }
  return open + "1" + close;
}

TEST(JSONReaderTest, NestingLimit) {
  EXPECT_TRUE(JSONReader::Read(std::string(99, '[') + std::string(99, ']')));
  int code = 0;
  std::string message;
  EXPECT_FALSE(JSONReader::ReadAndReturnError(
      std::string(100, '[') + std::string(100, ']'), 0, &code, &message));
  EXPECT_EQ(JSONReader::JSON_TOO_MUCH_NESTING, code);
  EXPECT_EQ("Line: 1, column: 100, Too much nesting.", message);

  EXPECT_TRUE(JSONReader::Read(Nested(99)));
  EXPECT_FALSE(JSONReader::ReadAndReturnError(Nested(100), 0, &code, nullptr));
  EXPECT_EQ(JSONReader::JSON_TOO_MUCH_NESTING, code);
  // The depth comes down again after each closed container.
  EXPECT_TRUE(JSONReader::Read("[" + Nested(98) + "," + Nested(98) + "]"));
}

TEST(JSONReaderTest, ErrorReporting) {
  int code = 0;
  std::string message;
  EXPECT_FALSE(
      JSONReader::ReadAndReturnError("{\"a\":1,}", 0, &code, &message));
  EXPECT_EQ(JSONReader::JSON_TRAILING_COMMA, code);
  EXPECT_EQ("Line: 1, column: 8, Trailing comma not allowed.", message);

  EXPECT_FALSE(JSONReader::ReadAndReturnError("1e999", 0, &code, &message));
  EXPECT_EQ(JSONReader::JSON_SYNTAX_ERROR, code);
  EXPECT_EQ("Line: 1, column: 1, Syntax error.", message);

  // Success leaves the out-parameters alone; null ones are allowed.
  code = 42;
  message = "untouched";
  EXPECT_TRUE(JSONReader::ReadAndReturnError("[]", 0, &code, &message));
  EXPECT_EQ(42, code);
  EXPECT_EQ("untouched", message);
  EXPECT_FALSE(JSONReader::ReadAndReturnError("[", 0, nullptr, nullptr));

  const struct {
    JSONReader::JsonParseError code;
    const char* message;
  } kMessages[] = {
      {JSONReader::JSON_NO_ERROR, ""},
      {JSONReader::JSON_INVALID_ESCAPE, "Invalid escape sequence."},
      {JSONReader::JSON_SYNTAX_ERROR, "Syntax error."},
      {JSONReader::JSON_UNEXPECTED_TOKEN, "Unexpected token."},
      {JSONReader::JSON_TRAILING_COMMA, "Trailing comma not allowed."},
      {JSONReader::JSON_TOO_MUCH_NESTING, "Too much nesting."},
      {JSONReader::JSON_UNEXPECTED_DATA_AFTER_ROOT,
       "Unexpected data after root element."},
      {JSONReader::JSON_UNSUPPORTED_ENCODING,
       "Unsupported encoding. JSON must be UTF-8."},
      {JSONReader::JSON_UNQUOTED_DICTIONARY_KEY,
       "Dictionary keys must be quoted."},
      {JSONReader::JSON_PARSE_ERROR_COUNT, ""},
  };
  for (const auto& m : kMessages)
    EXPECT_EQ(m.message, JSONReader::ErrorCodeToString(m.code));
}

TEST(JSONReaderTest, DetachableChildrenGiveTheSameTree) {
  const char kJson[] = "{\"list\":[\"a\",{\"b\":\"c\"}],\"s\":\"plain\"}";
  std::unique_ptr<Value> shared = JSONReader::Read(kJson);
  std::unique_ptr<Value> detachable = JSONReader::ReadAndReturnError(
      kJson, JSONReader::JSON_DETACHABLE_CHILDREN, nullptr, nullptr);
  ASSERT_TRUE(shared && detachable);
  EXPECT_TRUE(shared->Equals(detachable.get()));

  // A child taken out of a nested dictionary outlives the tree.
  DictionaryValue* root = nullptr;
  ASSERT_TRUE(shared->GetAsDictionary(&root));
  std::unique_ptr<Value> detached;
  ASSERT_TRUE(root->Remove("list", &detached));
  ListValue* list = nullptr;
  ASSERT_TRUE(detached->GetAsList(&list));
  DictionaryValue* inner = nullptr;
  ASSERT_TRUE(list->GetDictionary(1, &inner));
  std::unique_ptr<Value> leaf;
  ASSERT_TRUE(inner->RemoveWithoutPathExpansion("b", &leaf));
  shared.reset();
  detached.reset();
  std::string text;
  EXPECT_TRUE(leaf->GetAsString(&text));
  EXPECT_EQ("c", text);
}

}  // namespace
}  // namespace base
