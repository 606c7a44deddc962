#include "base/strings/stringprintf.h"

#include <stdarg.h>
#include <stdint.h>

#include <string>

#include "gtest/gtest.h"

namespace base {
namespace {

int CallVsnprintf(char* buffer, size_t size, const char* format, ...) {
  va_list arguments;
  va_start(arguments, format);
  const int result = base::vsnprintf(buffer, size, format, arguments);
  va_end(arguments);
  return result;
}

int CallVswprintf(char16_t* buffer, size_t size, const char16_t* format, ...) {
  va_list arguments;
  va_start(arguments, format);
  const int result = base::vswprintf(buffer, size, format, arguments);
  va_end(arguments);
  return result;
}

// Formats twice through one argument list: the list must only be read
// through copies.
void AppendTwice(std::string* dst, const char* format, ...) {
  va_list arguments;
  va_start(arguments, format);
  StringAppendV(dst, format, arguments);
  StringAppendV(dst, format, arguments);
  va_end(arguments);
}

void AppendTwiceWide(std::u16string* dst, const char16_t* format, ...) {
  va_list arguments;
  va_start(arguments, format);
  StringAppendVWide(dst, format, arguments);
  StringAppendVWide(dst, format, arguments);
  va_end(arguments);
}

TEST(StringPrintfTest, NarrowBasics) {
  EXPECT_EQ("52.0.2743.116", StringPrintf("%d.%d.%d.%d", 52, 0, 2743, 116));
  EXPECT_EQ("100%", StringPrintf("%d%%", 100));
  EXPECT_EQ("", StringPrintf("%s", ""));
  EXPECT_EQ("-00042|0x1f|  ab|1.50",
            StringPrintf("%06d|%#x|%4s|%.2f", -42, 31, "ab", 1.5));
  EXPECT_EQ("18446744073709551615 -9223372036854775808",
            StringPrintf("%llu %lld", 18446744073709551615ull,
                         static_cast<long long>(INT64_MIN)));
  EXPECT_EQ("7 x", StringPrintf("%zu %c", static_cast<size_t>(7), 'x'));
}

TEST(StringPrintfTest, AppendAndReplace) {
  std::string text = "abc";
  StringAppendF(&text, "%s", "def");
  EXPECT_EQ("abcdef", text);
  text = "abc";
  EXPECT_EQ("def", SStringPrintf(&text, "%s", "def"));
  EXPECT_EQ("def", text);
  text = "x";
  AppendTwice(&text, "%d-%s;", 5, "five");
  EXPECT_EQ("x5-five;5-five;", text);
}

// 1023 characters fit the first buffer with their NUL; from 1024 on the text
// needs the exactly sized second buffer. Each length must come out whole.
TEST(StringPrintfTest, GrowthBoundary) {
  for (size_t length : {size_t{1}, size_t{1022}, size_t{1023}, size_t{1024},
                        size_t{1025}, size_t{5000}}) {
    const std::string body(length, 'n');
    EXPECT_EQ(body, StringPrintf("%s", body.c_str())) << length;
    std::string appended = "<";
    StringAppendF(&appended, "%s>", body.c_str());
    EXPECT_EQ("<" + body + ">", appended) << length;
    std::string twice;
    AppendTwice(&twice, "%s", body.c_str());
    EXPECT_EQ(body + body, twice) << length;

    const std::u16string wide_body(length, u'w');
    EXPECT_EQ(wide_body, StringPrintfWide(u"%ls", wide_body.c_str())) << length;
    std::u16string wide_twice;
    AppendTwiceWide(&wide_twice, u"%ls", wide_body.c_str());
    EXPECT_EQ(wide_body + wide_body, wide_twice) << length;
  }
}

// The longest text allowed needs exactly the largest buffer; one more
// character leaves the destination untouched.
TEST(StringPrintfTest, SizeLimit) {
  const int longest = static_cast<int>(kMaxFormattedSize - 1);
  EXPECT_EQ(kMaxFormattedSize - 1, StringPrintf("%*s", longest, "").size());
  EXPECT_EQ("", StringPrintf("%*s", longest + 1, ""));
  std::string text = "abc";
  StringAppendF(&text, "%*s", longest + 1, "");
  EXPECT_EQ("abc", text);
  EXPECT_EQ(u"", StringPrintfWide(u"%*ls", longest + 1, u""));
  std::u16string wide = u"abc";
  AppendTwiceWide(&wide, u"%*ls", longest + 1, u"");
  EXPECT_EQ(u"abc", wide);
}

TEST(StringPrintfTest, BoundedFormattersReportFullLength) {
  char buffer[4];
  EXPECT_EQ(6, CallVsnprintf(buffer, sizeof(buffer), "%s", "abcdef"));
  EXPECT_STREQ("abc", buffer);
  EXPECT_EQ(2, CallVsnprintf(buffer, sizeof(buffer), "%d", 42));
  EXPECT_STREQ("42", buffer);

  char16_t wide[4];
  EXPECT_EQ(6, CallVswprintf(wide, 4, u"%ls", u"abcdef"));
  EXPECT_EQ(std::u16string(u"abc"), std::u16string(wide));
  EXPECT_EQ(3, CallVswprintf(wide, 4, u"%d", 123));
  EXPECT_EQ(std::u16string(u"123"), std::u16string(wide));
}

TEST(StringPrintfTest, WideFormats) {
  EXPECT_EQ(u"Local\\Velna/Installer/UI_lock",
            StringPrintfWide(u"Local\\%ls/Installer/UI_lock", u"Velna"));
  EXPECT_EQ(u"velna_installer_20240102030405.exe",
            StringPrintfWide(u"velna_installer_%02d%02d%02d%02d%02d%02d.exe",
                             2024, 1, 2, 3, 4, 5));
  // Text outside the basic plane, in the format and in an argument, and
  // characters given as UTF-16 units.
  EXPECT_EQ(
      u"\U0001F600=\u00E9\U0001F600|\u20AC",
      StringPrintfWide(u"\U0001F600=%ls|%lc", u"\u00E9\U0001F600", u'\u20AC'));
  EXPECT_EQ(u"[  ab|ab   |abc|-7|ff|0.5|%]",
            StringPrintfWide(u"[%4ls|%-5ls|%.3ls|%i|%x|%g|%%]", u"ab", u"ab",
                             u"abcdef", -7, 255u, 0.5));
  EXPECT_EQ(u"   42|4.250|x",
            StringPrintfWide(u"%*d|%.*f|%lc", 5, 42, 3, 4.25, u'x'));
  EXPECT_EQ(
      u"12345678901 18446744073709551615",
      StringPrintfWide(u"%lld %llu", 12345678901ll, 18446744073709551615ull));
}

}  // namespace
}  // namespace base
