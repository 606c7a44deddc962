#include "base/strings/string_split.h"

#include <string>
#include <vector>

#include "gtest/gtest.h"

namespace base {
namespace {

using Parts = std::vector<std::string>;

TEST(StringSplitTest, NarrowFiltersAndTrimming) {
  const struct {
    const char* input;
    const char* separators;
    SplitWhitespace whitespace;
    SplitFilter filter;
    Parts parts;
  } cases[] = {
      {"a,b,,c",
       ",",
       SplitWhitespace::kKeep,
       SplitFilter::kAll,
       {"a", "b", "", "c"}},
      {"a,b,,c",
       ",",
       SplitWhitespace::kKeep,
       SplitFilter::kNonEmpty,
       {"a", "b", "c"}},
      {"a,", ",", SplitWhitespace::kKeep, SplitFilter::kAll, {"a", ""}},
      {",", ",", SplitWhitespace::kKeep, SplitFilter::kAll, {"", ""}},
      {",", ",", SplitWhitespace::kKeep, SplitFilter::kNonEmpty, {}},
      {"", ",", SplitWhitespace::kKeep, SplitFilter::kAll, {}},
      {"abc", "", SplitWhitespace::kKeep, SplitFilter::kAll, {"abc"}},
      {"abc", ",", SplitWhitespace::kKeep, SplitFilter::kAll, {"abc"}},
      {" a ; b ", ";", SplitWhitespace::kTrim, SplitFilter::kAll, {"a", "b"}},
      {" a ; b ",
       ";",
       SplitWhitespace::kKeep,
       SplitFilter::kAll,
       {" a ", " b "}},
      {"a; \t ;b",
       ";",
       SplitWhitespace::kTrim,
       SplitFilter::kAll,
       {"a", "", "b"}},
      {"a; \t ;b",
       ";",
       SplitWhitespace::kTrim,
       SplitFilter::kNonEmpty,
       {"a", "b"}},
      {"a;b,c",
       ",;",
       SplitWhitespace::kKeep,
       SplitFilter::kAll,
       {"a", "b", "c"}},
      // Several characters are a set, never one separator.
      {"a\r\nb",
       "\r\n",
       SplitWhitespace::kKeep,
       SplitFilter::kAll,
       {"a", "", "b"}},
      {"a\r\nb\n",
       "\r\n",
       SplitWhitespace::kKeep,
       SplitFilter::kNonEmpty,
       {"a", "b"}},
      // A three-member set goes through the byte table; bytes above 0x7F
      // must not be mistaken for members.
      {"x\xA0y:z",
       ":;,",
       SplitWhitespace::kTrim,
       SplitFilter::kAll,
       {"x\xA0y", "z"}},
      {" \xA0x\xA0 ",
       ",",
       SplitWhitespace::kTrim,
       SplitFilter::kAll,
       {"\xA0x\xA0"}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.parts,
              SplitString(c.input, c.separators, c.whitespace, c.filter))
        << '"' << c.input << '"';
  }
}

TEST(StringSplitTest, WideTrimsUnicodeWhitespace) {
  EXPECT_EQ((std::vector<std::u16string>{u"a", u"b", u""}),
            SplitString16(u"\u00A0a\u3000,\u2003b, \u0085", u",",
                          SplitWhitespace::kTrim, SplitFilter::kAll));
  EXPECT_EQ((std::vector<std::u16string>{u"\u00A0a", u"b"}),
            SplitString16(u"\u00A0a;b", u";", SplitWhitespace::kKeep,
                          SplitFilter::kAll));
  EXPECT_EQ((std::vector<std::u16string>{u"1", u"2", u"3"}),
            SplitString16(u"1.2\u20223", u".\u2022", SplitWhitespace::kKeep,
                          SplitFilter::kAll));
  EXPECT_TRUE(
      SplitString16(u"", u",", SplitWhitespace::kKeep, SplitFilter::kAll)
          .empty());
}

TEST(StringSplitTest, PiecesPointIntoTheInput) {
  const std::string input = "feature@1, other ,";
  const std::vector<StringPiece> parts =
      SplitStringPiece(input, ',', SplitWhitespace::kTrim, SplitFilter::kAll);
  ASSERT_EQ(3u, parts.size());
  EXPECT_EQ("feature@1", parts[0]);
  EXPECT_EQ(input.data(), parts[0].data());
  EXPECT_EQ("other", parts[1]);
  EXPECT_EQ(input.data() + 11, parts[1].data());
  EXPECT_TRUE(parts[2].empty());

  const std::vector<StringPiece> by_set = SplitStringPiece(
      "a@b,c", "@,", SplitWhitespace::kKeep, SplitFilter::kAll);
  ASSERT_EQ(3u, by_set.size());
  EXPECT_EQ("c", by_set[2]);
}

TEST(StringSplitTest, KeyValuePairs) {
  const struct {
    const char* input;
    bool valid;
    StringPairs pairs;
  } cases[] = {
      {"a=1, b==2", true, {{"a", "1"}, {"b", "2"}}},
      {"a=1,x,c=", false, {{"a", "1"}, {"", ""}, {"c", ""}}},
      {"=5", true, {{"", "5"}}},
      {"", true, {}},
      {" , ,", true, {}},
      {"k = v", true, {{"k ", " v"}}},
      {"a=b=c", true, {{"a", "b=c"}}},
      {"x==", false, {{"x", ""}}},
  };
  for (const auto& c : cases) {
    StringPairs pairs = {{"stale", "entry"}};
    EXPECT_EQ(c.valid, SplitKeyValuePairs(c.input, &pairs)) << c.input;
    EXPECT_EQ(c.pairs, pairs) << c.input;
  }
}

TEST(StringSplitTest, AppendKeyValuePairAlwaysAppends) {
  StringPairs pairs;
  EXPECT_FALSE(AppendKeyValuePair("", &pairs));
  EXPECT_FALSE(AppendKeyValuePair("novalue", &pairs));
  EXPECT_TRUE(AppendKeyValuePair("k=v", &pairs));
  EXPECT_EQ((StringPairs{{"", ""}, {"", ""}, {"k", "v"}}), pairs);
}

}  // namespace
}  // namespace base
