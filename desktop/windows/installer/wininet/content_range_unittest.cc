#include "desktop/windows/installer/wininet/content_range.h"

#include "gtest/gtest.h"

namespace installer {
namespace {

TEST(ContentRangeTest, ReadsWellFormedRanges) {
  const struct {
    const char16_t* text;
    uint64_t first, last, total;
  } cases[] = {
      {u"bytes 0-99/100", 0, 99, 100},
      {u"bytes 1048576-20971519/20971520", 1048576, 20971519, 20971520},
      {u"BYTES 5-5/6", 5, 5, 6},
      {u"  bytes  7 - 9 / 10 ", 7, 9, 10},
      {u"bytes 10-19/*", 10, 19, 0},
      {u"bytes 0-4294967296/4294967297", 0, 4294967296ull, 4294967297ull},
  };
  for (const auto& test : cases) {
    ContentRange range;
    ASSERT_TRUE(ParseContentRange(test.text, &range));
    EXPECT_EQ(test.first, range.first);
    EXPECT_EQ(test.last, range.last);
    EXPECT_EQ(test.total, range.total);
  }
}

TEST(ContentRangeTest, RefusesEverythingElse) {
  for (const char16_t* text : {
           u"",
           u"bytes",
           u"bytes ",
           u"bytes */100",
           u"items 0-9/10",
           u"bytes0-9/10",
           u"bytes 9-0/10",
           u"bytes 0-9/9",
           u"bytes 0-9/5",
           u"bytes -1-9/10",
           u"bytes +0-9/10",
           u"bytes 0-9",
           u"bytes 0/9-10",
           u"bytes 0-9/10x",
           u"bytes a-9/10",
           u"bytes 0-9/",
           u"bytes 18446744073709551616-18446744073709551617/*",
           u"bytes 0-9/10\u00e9",
       }) {
    ContentRange range;
    range.first = 77;
    EXPECT_FALSE(ParseContentRange(text, &range));
    EXPECT_EQ(77u, range.first);  // untouched on failure
  }
}

}  // namespace
}  // namespace installer
