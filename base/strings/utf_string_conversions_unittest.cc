#include "base/strings/utf_string_conversions.h"

#include <string>

#include "gtest/gtest.h"

namespace base {
namespace {

TEST(UTFConversionTest, ValidSequencesRoundTrip) {
  struct Case {
    std::string utf8;
    std::u16string utf16;
  } cases[] = {
      {"", u""},
      {"plain ascii", u"plain ascii"},
      {"\xC3\xA9", u"\u00E9"},
      {"\xF0\x9F\x98\x80", std::u16string{0xD83D, 0xDE00}},
      {"\xEF\xBF\xBE", u"\uFFFE"},  // noncharacters convert like any other
      {"\xEF\xB7\x90", u"\uFDD0"},
      {"a\xE2\x82\xAC" "b", u"a\u20ACb"},
      {"\xF4\x8F\xBF\xBF", std::u16string{0xDBFF, 0xDFFF}},  // U+10FFFF
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.utf8);
    EXPECT_EQ(c.utf16, UTF8ToUTF16(c.utf8));
    EXPECT_EQ(c.utf16, UTF8ToWide(c.utf8));
    EXPECT_EQ(c.utf8, UTF16ToUTF8(c.utf16));
    EXPECT_EQ(c.utf8, WideToUTF8(c.utf16));
  }
}

TEST(UTFConversionTest, InvalidUTF8BecomesOneReplacementPerSequence) {
  const std::u16string r(1, 0xFFFD);
  struct Case {
    std::string utf8;
    std::u16string expected;
  } cases[] = {
      {"\xC0\xAF", r},                        // overlong
      {"\xE0\x80\xAF", r},                    // overlong three-byte
      {"\xED\xA0\x80", r},                    // encoded surrogate
      {"\xF4\x90\x80\x80", r},                // above U+10FFFF
      {"\xF8\x88\x80\x80\x80", r},            // five-byte form
      {"\xFC\x84\x80\x80\x80\x80", r},        // six-byte form
      {"\xE2\x82", r},                        // truncated at the end
      {"\xE2\x82\x41", r + u"A"},             // a non-continuation survives
      {"\x80\x80", r + r},                    // lone continuation bytes
      {"\xFE", r},
      {"\xFF", r},
      {"x\xF0\x9F\x98", u"x" + r},            // truncated four-byte form
      {"\xF0\x9F\x98\x80\x80", std::u16string{0xD83D, 0xDE00} + r},
      {"\xC3", r},
      {"\xC3\xA9\xC3", u"\u00E9" + r},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.utf8));
    EXPECT_EQ(c.expected, UTF8ToUTF16(c.utf8));
    std::u16string appended;
    EXPECT_FALSE(ConvertUTF8ToUTF16(c.utf8.data(),
                                    static_cast<int32_t>(c.utf8.size()),
                                    &appended));
  }
}

TEST(UTFConversionTest, LoneSurrogatesBecomeReplacement) {
  const std::string r = "\xEF\xBF\xBD";
  struct Case {
    std::u16string utf16;
    std::string expected;
  } cases[] = {
      {std::u16string{0xD800}, r},
      {std::u16string{0xD800, 0x0041}, r + "A"},
      {std::u16string{0xDC00, 0xD800}, r + r},
      {std::u16string{0x0041, 0xDBFF}, "A" + r},
      {std::u16string{0xD800, 0xD800, 0xDC00}, r + "\xF0\x90\x80\x80"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.expected, UTF16ToUTF8(c.utf16));
    std::string out;
    EXPECT_FALSE(ConvertUTF16ToUTF8(c.utf16.data(),
                                    static_cast<int32_t>(c.utf16.size()),
                                    &out));
  }
}

TEST(UTFConversionTest, ValidCharacterExcludesNoncharacters) {
  EXPECT_TRUE(IsValidCharacter(0x41));
  EXPECT_FALSE(IsValidCharacter(0xD800));
  EXPECT_FALSE(IsValidCharacter(0xDFFF));
  EXPECT_TRUE(IsValidCharacter(0xE000));
  EXPECT_TRUE(IsValidCharacter(0xFDCF));
  EXPECT_FALSE(IsValidCharacter(0xFDD0));
  EXPECT_FALSE(IsValidCharacter(0xFDEF));
  EXPECT_TRUE(IsValidCharacter(0xFDF0));
  EXPECT_FALSE(IsValidCharacter(0xFFFE));
  EXPECT_FALSE(IsValidCharacter(0xFFFF));
  EXPECT_FALSE(IsValidCharacter(0x1FFFE));
  EXPECT_FALSE(IsValidCharacter(0x10FFFF));
  EXPECT_TRUE(IsValidCharacter(0x10FFFD));
  EXPECT_FALSE(IsValidCharacter(0x110000));
  EXPECT_FALSE(IsValidCharacter(-1));
}

TEST(UTFConversionTest, AsciiTestsEveryPositionAndAlignment) {
  // A high byte or unit in any position, with any alignment, must be seen:
  // the test reads the middle of the text a machine word at a time.
  std::string narrow(40, 'a');
  std::u16string wide(40, u'a');
  for (size_t offset = 0; offset < 8; ++offset) {
    for (size_t length = 0; length + offset <= 40; ++length) {
      EXPECT_TRUE(IsStringASCII(narrow.data() + offset, length));
      EXPECT_TRUE(IsStringASCII16(wide.data() + offset, length));
      for (size_t bad = 0; bad < length; ++bad) {
        narrow[offset + bad] = '\x80';
        wide[offset + bad] = 0x80;
        EXPECT_FALSE(IsStringASCII(narrow.data() + offset, length));
        EXPECT_FALSE(IsStringASCII16(wide.data() + offset, length));
        wide[offset + bad] = 0x100;
        EXPECT_FALSE(IsStringASCII16(wide.data() + offset, length));
        narrow[offset + bad] = 'a';
        wide[offset + bad] = u'a';
      }
    }
  }
}

TEST(UTFConversionTest, LatinUnitsAreNotAscii) {
  const std::u16string latin = u"caf\u00E9";
  EXPECT_FALSE(IsWStringASCII(latin));
  EXPECT_EQ("caf\xC3\xA9", UTF16ToUTF8(latin));
  EXPECT_EQ("caf\xE9", UTF16ToASCII(latin));  // unchecked narrowing
  EXPECT_EQ(u"\u00FF", ASCIIToUTF16("\xFF"));  // unchecked widening
}

TEST(UTFConversionTest, WriteUnicodeCharacterLengths) {
  std::string out;
  EXPECT_EQ(1u, WriteUnicodeCharacter(0x7F, &out));
  EXPECT_EQ(2u, WriteUnicodeCharacter(0x80, &out));
  EXPECT_EQ(2u, WriteUnicodeCharacter(0x7FF, &out));
  EXPECT_EQ(3u, WriteUnicodeCharacter(0x800, &out));
  EXPECT_EQ(3u, WriteUnicodeCharacter(0xFFFF, &out));
  EXPECT_EQ(4u, WriteUnicodeCharacter(0x10000, &out));
  EXPECT_EQ(15u, out.size());
  std::u16string wide;
  EXPECT_EQ(1u, WriteUnicodeCharacter16(0xFFFF, &wide));
  EXPECT_EQ(2u, WriteUnicodeCharacter16(0x10000, &wide));
  EXPECT_EQ((std::u16string{0xFFFF, 0xD800, 0xDC00}), wide);
}

TEST(UTFConversionTest, EveryCodePointRoundTrips) {
  for (int32_t cp = 0; cp <= 0x10FFFF; cp += (cp < 0x10000 ? 1 : 97)) {
    if (cp >= 0xD800 && cp <= 0xDFFF) continue;
    std::string utf8;
    WriteUnicodeCharacter(cp, &utf8);
    std::u16string utf16 = UTF8ToUTF16(utf8);
    ASSERT_EQ(utf8, UTF16ToUTF8(utf16)) << cp;
    size_t position = 1;
    if (cp >= 0x80) {
      ASSERT_EQ(cp, ReadUTF8CodePoint(utf8.data(), &position, utf8.size(),
                                      static_cast<unsigned char>(utf8[0])));
      ASSERT_EQ(utf8.size(), position);
    }
  }
}

}  // namespace
}  // namespace base
