#include "base/strings/string_piece.h"

#include "gtest/gtest.h"

namespace base {
namespace {

TEST(StringPieceTest, NullAndEmptyAreEqualEmptyViews) {
  const char* null_text = nullptr;
  StringPiece from_null(null_text);
  StringPiece from_empty("");
  EXPECT_EQ(0u, from_null.size());
  EXPECT_TRUE(from_null == from_empty);
  EXPECT_EQ("", from_null.as_string());
  StringPiece16 from_null16(static_cast<const char16_t*>(nullptr));
  EXPECT_EQ(u"", from_null16.as_string());
}

TEST(StringPieceTest, EqualityComparesBytesNotAddresses) {
  std::string a = "abc", b = "abc";
  EXPECT_TRUE(StringPiece(a) == StringPiece(b));
  EXPECT_FALSE(StringPiece(a) == StringPiece("abcd"));
  EXPECT_FALSE(StringPiece("ab") == StringPiece("abc"));
  // Embedded NULs count when the length is explicit.
  EXPECT_FALSE(StringPiece("a\0b", 3) == StringPiece("a\0c", 3));
  EXPECT_EQ(3u, StringPiece("a\0b", 3).size());
}

TEST(StringPieceTest, SetSearches) {
  struct Case {
    const char* text;
    const char* set;
    size_t first_not_of, last_of, last_not_of, first_of;
  };
  const size_t npos = StringPiece::npos;
  const Case cases[] = {
      {"   ", " \t\n\v\f\r", npos, 2, npos, 0},
      {"", " \t", npos, npos, npos, npos},
      {"abc", "", 0, npos, 2, npos},
      {"aab", "a", 2, 1, 2, 0},          // single-byte set
      {"xyzab", "ab", 0, 4, 2, 3},       // table set
      {"ab\xff", "\xff", 0, 2, 1, 2},    // high bytes index the table safely
      {"ab\xff", "\xfe\xff", 0, 2, 1, 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    StringPiece piece(c.text);
    EXPECT_EQ(c.first_not_of, piece.find_first_not_of(c.set));
    EXPECT_EQ(c.last_of, piece.find_last_of(c.set));
    EXPECT_EQ(c.last_not_of, piece.find_last_not_of(c.set));
    EXPECT_EQ(c.first_of, piece.find_first_of(c.set));
  }
}

TEST(StringPieceTest, WideSetSearches) {
  StringPiece16 text(u"\u3000 x\u2028");
  EXPECT_EQ(2u, text.find_first_not_of(u"\u3000 \u2028"));
  EXPECT_EQ(2u, text.find_last_not_of(u"\u3000 \u2028"));
  EXPECT_EQ(3u, text.find_last_of(u"\u2028"));
  EXPECT_EQ(StringPiece16::npos, StringPiece16().find_first_not_of(u" "));
}

TEST(StringPieceTest, SubstrClamps) {
  StringPiece piece("abc");
  EXPECT_TRUE(piece.substr(10, 5).empty());
  EXPECT_EQ(piece.data() + 3, piece.substr(10, 5).data());
  EXPECT_EQ("bc", piece.substr(1, StringPiece::npos).as_string());
  EXPECT_EQ("b", piece.substr(1, 1).as_string());
  EXPECT_EQ("abc", piece.substr(0).as_string());
}

}  // namespace
}  // namespace base
