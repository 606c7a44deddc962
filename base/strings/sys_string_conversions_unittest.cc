#include "base/strings/sys_string_conversions.h"

#include <string>

#include "gtest/gtest.h"

namespace base {
namespace {

TEST(SysStringConversionsTest, RoundTrips) {
  EXPECT_EQ(u"", SysUTF8ToWide(StringPiece()));
  EXPECT_EQ("", SysWideToUTF8(u""));
  EXPECT_EQ(u"\u00E9", SysUTF8ToWide("\xC3\xA9"));
  EXPECT_EQ("\xC3\xA9", SysWideToUTF8(u"\u00E9"));
  const std::u16string mixed = u"a\u00E9\u4E2D\U0001F600z";
  EXPECT_EQ(mixed, SysUTF8ToWide(SysWideToUTF8(mixed)));
  EXPECT_EQ("a\xE4\xB8\xAD\xF0\x9F\x98\x80",
            SysWideToUTF8(u"a\u4E2D\U0001F600"));
  // An embedded NUL is ordinary text to both.
  EXPECT_EQ(std::u16string(u"a\0b", 3), SysUTF8ToWide(StringPiece("a\0b", 3)));
}

TEST(SysStringConversionsTest, InvalidInputIsReplacedNotDropped) {
  // A stray continuation byte in the middle, and an unpaired surrogate.
  const std::u16string wide = SysUTF8ToWide("a\x80z");
  ASSERT_EQ(3u, wide.size());
  EXPECT_EQ(u'a', wide[0]);
  EXPECT_EQ(u'\uFFFD', wide[1]);
  EXPECT_EQ(u'z', wide[2]);
  EXPECT_EQ("a\xEF\xBF\xBDz", SysWideToUTF8(std::u16string(u"a\xD800z", 3)));
}

}  // namespace
}  // namespace base
