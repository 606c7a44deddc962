#include "base/json/json_writer.h"

#include <limits>
#include <memory>
#include <string>
#include <utility>

#include "base/json/json_reader.h"
#include "base/values.h"
#include "gtest/gtest.h"

namespace base {
namespace {

constexpr int kPretty = JSONWriter::OPTIONS_PRETTY_PRINT;

std::string Write(const Value& value, int options = 0) {
  std::string json;
  EXPECT_TRUE(JSONWriter::WriteWithOptions(value, options, &json));
  return json;
}

// A value of the reserved binary kind, which no real class carries.
class FakeBinaryValue : public Value {
 public:
  FakeBinaryValue() : Value(TYPE_BINARY) {}
};

std::unique_ptr<DictionaryValue> MakeSample() {
  auto root = std::make_unique<DictionaryValue>();
  auto list = std::make_unique<ListValue>();
  list->AppendInteger(1);
  list->AppendDouble(2.5);
  list->AppendString("x");
  root->Set("b", std::move(list));
  root->SetBoolean("a", true);
  return root;
}

TEST(JSONWriterTest, CompactOutput) {
  EXPECT_EQ("{\"a\":true,\"b\":[1,2.5,\"x\"]}", Write(*MakeSample()));
}

TEST(JSONWriterTest, PrettyOutput) {
  EXPECT_EQ(
      "{\r\n"
      "   \"a\": true,\r\n"
      "   \"b\": [ 1, 2.5, \"x\" ]\r\n"
      "}\r\n",
      Write(*MakeSample(), kPretty));
}

TEST(JSONWriterTest, PrettyNestingAndEmptyContainers) {
  DictionaryValue root;
  root.Set("empty_dict", std::make_unique<DictionaryValue>());
  root.Set("empty_list", std::make_unique<ListValue>());
  root.SetInteger("outer.inner.leaf", 1);
  auto list = std::make_unique<ListValue>();
  auto in_list = std::make_unique<DictionaryValue>();
  in_list->SetInteger("k", 2);
  list->Append(std::move(in_list));
  root.Set("outer.list", std::move(list));
  // A dictionary inside a list is written at the list's own depth.
  EXPECT_EQ(
      "{\r\n"
      "   \"empty_dict\": {\r\n"
      "\r\n"
      "   },\r\n"
      "   \"empty_list\": [  ],\r\n"
      "   \"outer\": {\r\n"
      "      \"inner\": {\r\n"
      "         \"leaf\": 1\r\n"
      "      },\r\n"
      "      \"list\": [ {\r\n"
      "         \"k\": 2\r\n"
      "      } ]\r\n"
      "   }\r\n"
      "}\r\n",
      Write(root, kPretty));
  EXPECT_EQ(
      "{\"empty_dict\":{},\"empty_list\":[],\"outer\":{\"inner\":{\"leaf\":1},"
      "\"list\":[{\"k\":2}]}}",
      Write(root));
}

TEST(JSONWriterTest, ScalarRoots) {
  EXPECT_EQ("null", Write(Value()));
  EXPECT_EQ("false", Write(FundamentalValue(false)));
  EXPECT_EQ("-2147483648",
            Write(FundamentalValue(std::numeric_limits<int>::min())));
  EXPECT_EQ("\"s\"", Write(StringValue("s")));
  EXPECT_EQ("{\r\n\r\n}\r\n", Write(DictionaryValue(), kPretty));
  EXPECT_EQ("[  ]\r\n", Write(ListValue(), kPretty));
  EXPECT_EQ("7\r\n", Write(FundamentalValue(7), kPretty));
}

TEST(JSONWriterTest, Doubles) {
  constexpr int kNoTypes = JSONWriter::OPTIONS_OMIT_DOUBLE_TYPE_PRESERVATION;
  struct {
    double value;
    int options;
    const char* expected;
  } cases[] = {
      {3.0, 0, "3.0"},
      {3.0, kNoTypes, "3"},
      {100.0, 0, "100.0"},
      {1e21, 0, "1e+21"},
      {1e21, kNoTypes, "1e+21"},
      {0.25, 0, "0.25"},
      {0.5, 0, "0.5"},
      {-0.5, 0, "-0.5"},
      {2.5, kNoTypes, "2.5"},
      {1e-7, 0, "1e-07"},
      {-0.0, 0, "-0.0"},
      {-0.0, kNoTypes, "0"},
      {5e-324, 0, "5e-324"},
      {1.7976931348623157e308, 0, "1.7976931348623157e+308"},
      {9007199254740992.0, 0, "9007199254740992.0"},
      {-9223372036854775808.0, kNoTypes, "-9223372036854775808"},
      // 2^63 is outside the int64 range and keeps its double form.
      {9223372036854775808.0, kNoTypes, "9223372036854776000.0"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.expected, Write(FundamentalValue(c.value), c.options))
        << c.value;
  }
}

TEST(JSONWriterTest, StringsAndKeysAreEscaped) {
  DictionaryValue root;
  root.SetStringWithoutPathExpansion("<k\"", "a\nb</script>");
  EXPECT_EQ("{\"\\u003Ck\\\"\":\"a\\nb\\u003C/script>\"}", Write(root));
}

TEST(JSONWriterTest, ReplacementCharacterDoesNotFailTheWrite) {
  std::string json;
  EXPECT_TRUE(JSONWriter::Write(StringValue("\xFF"), &json));
  EXPECT_EQ("\"\xEF\xBF\xBD\"", json);
}

TEST(JSONWriterTest, OutputIsReplaced) {
  std::string json = "old text";
  EXPECT_TRUE(JSONWriter::Write(FundamentalValue(1), &json));
  EXPECT_EQ("1", json);
}

TEST(JSONWriterTest, BinaryValuesFailUnlessOmitted) {
  DictionaryValue root;
  root.Set("a", std::make_unique<FakeBinaryValue>());
  root.SetInteger("b", 1);
  auto list = std::make_unique<ListValue>();
  list->Append(std::make_unique<FakeBinaryValue>());
  list->AppendInteger(2);
  list->Append(std::make_unique<FakeBinaryValue>());
  root.Set("c", std::move(list));

  std::string json;
  EXPECT_FALSE(JSONWriter::Write(root, &json));
  // The siblings are still written.
  EXPECT_EQ("{\"a\":,\"b\":1,\"c\":[,2,]}", json);

  const int omit = JSONWriter::OPTIONS_OMIT_BINARY_VALUES;
  EXPECT_TRUE(JSONWriter::WriteWithOptions(root, omit, &json));
  EXPECT_EQ("{\"b\":1,\"c\":[2]}", json);
  EXPECT_TRUE(JSONWriter::WriteWithOptions(root, omit | kPretty, &json));
  EXPECT_EQ("{\r\n   \"b\": 1,\r\n   \"c\": [ 2 ]\r\n}\r\n", json);

  EXPECT_FALSE(JSONWriter::Write(FakeBinaryValue(), &json));
  EXPECT_EQ("", json);
  EXPECT_TRUE(JSONWriter::WriteWithOptions(FakeBinaryValue(), omit, &json));
}

// |containers| lists or dictionaries, each inside the one before, the
// innermost holding the integer 1.
std::unique_ptr<Value> Nested(int containers, bool dictionaries) {
  std::unique_ptr<Value> value = std::make_unique<FundamentalValue>(1);
  for (int i = 0; i < containers; ++i) {
    if (dictionaries) {
      auto dict = std::make_unique<DictionaryValue>();
      dict->SetWithoutPathExpansion("d", std::move(value));
      value = std::move(dict);
    } else {
      auto list = std::make_unique<ListValue>();
      list->Append(std::move(value));
      value = std::move(list);
    }
  }
  return value;
}

// The writer fails exactly where the reader would refuse its text, so that
// nothing it calls a success is unreadable.
TEST(JSONWriterTest, NestingBeyondTheReadersLimitFails) {
  const int kLimit = JSONReader::kMaxContainerDepth;
  for (bool dictionaries : {false, true}) {
    for (int containers : {kLimit - 1, kLimit, kLimit + 1, kLimit + 50}) {
      for (int options : {0, kPretty}) {
        SCOPED_TRACE(testing::Message()
                     << dictionaries << " " << containers << " " << options);
        std::unique_ptr<Value> tree = Nested(containers, dictionaries);
        std::string json;
        const bool written =
            JSONWriter::WriteWithOptions(*tree, options, &json);
        EXPECT_EQ(containers <= kLimit, written);
        if (!written) continue;
        std::unique_ptr<Value> back = JSONReader::Read(json);
        ASSERT_TRUE(back);
        EXPECT_TRUE(tree->Equals(back.get()));
      }
    }
  }
}

// One branch too deep fails the whole write, however shallow the rest.
TEST(JSONWriterTest, OneTooDeepBranchFailsTheWholeTree) {
  const int kLimit = JSONReader::kMaxContainerDepth;
  DictionaryValue root;
  root.SetInteger("keep_me", 42);
  // With the root, kLimit containers nest: still readable.
  root.Set("deep", Nested(kLimit - 1, false));
  std::string json;
  EXPECT_TRUE(JSONWriter::Write(root, &json));
  root.Set("deeper", Nested(kLimit, false));
  EXPECT_FALSE(JSONWriter::Write(root, &json));
  // A list does not deepen the indentation, but it counts as a container.
  ListValue list;
  list.Append(Nested(kLimit, true));
  EXPECT_FALSE(JSONWriter::WriteWithOptions(list, kPretty, &json));
}

// What the writer writes, the reader reads back to an equal tree, for the
// values a strict reader would otherwise refuse.
TEST(JSONWriterTest, OutputReadsBackToEqualValue) {
  DictionaryValue root;
  const double kDoubles[] = {5e-324,
                             -5e-324,
                             2.2250738585072009e-308,
                             2.2250738585072014e-308,
                             1.7976931348623157e308,
                             -0.0,
                             0.1,
                             1e21,
                             123456789012345680.0};
  auto doubles = std::make_unique<ListValue>();
  for (double d : kDoubles) doubles->AppendDouble(d);
  root.Set("doubles", std::move(doubles));
  root.SetInteger("int_min", std::numeric_limits<int>::min());
  root.SetInteger("int_max", std::numeric_limits<int>::max());
  // Noncharacters (U+FDD0, U+FFFE, U+FFFF, U+1FFFE, U+10FFFF), control
  // characters, a NUL, line separators and '<', in a value and in a key.
  const std::string kTricky =
      std::string(
          "\xEF\xB7\x90\xEF\xBF\xBE\xEF\xBF\xBF\xF0\x9F\xBF\xBE"
          "\xF4\x8F\xBF\xBF\x01\x7F\xE2\x80\xA8<") +
      std::string(1, '\0') + "/\"\\";
  root.SetStringWithoutPathExpansion(kTricky, kTricky);
  root.Set("empty", std::make_unique<DictionaryValue>());
  root.Set("nested.list", std::make_unique<ListValue>());

  for (int options : {0, kPretty}) {
    std::string json;
    ASSERT_TRUE(JSONWriter::WriteWithOptions(root, options, &json));
    int code = 0;
    std::string message;
    std::unique_ptr<Value> back =
        JSONReader::ReadAndReturnError(json, 0, &code, &message);
    ASSERT_TRUE(back) << message << "\n" << json;
    EXPECT_TRUE(root.Equals(back.get())) << json;
  }
}

}  // namespace
}  // namespace base
