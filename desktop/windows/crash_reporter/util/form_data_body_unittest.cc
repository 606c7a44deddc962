#include "desktop/windows/crash_reporter/util/form_data_body.h"

#include "base/strings/utf_string_conversions.h"
#include "gtest/gtest.h"

namespace crash_reporter {
namespace {

TEST(FormDataBodyTest, FieldNamesMustFitBetweenQuotes) {
  const struct {
    const char16_t* name;
    bool valid;
  } kCases[] = {
      {u"", false},          {u"email", true},       {u"a b", true},
      {u"a\"b", false},      {u"\x1f", false},       {u" ", true},
      {u"\x7f", true},       {u"\x80", false},       {u"\u00e9", false},
      {u"tab\there", false}, {u"line\nfeed", false},
  };
  for (const auto& c : kCases)
    EXPECT_EQ(c.valid, IsValidFormFieldName(c.name))
        << base::UTF16ToUTF8(c.name);
}

uint64_t g_draws[3];
int g_draw_count;

uint64_t NextDraw() { return g_draws[g_draw_count++]; }

TEST(FormDataBodyTest, BoundaryIsDrawnAgainWhileItOccursInAPart) {
  g_draws[0] = 0x0123456789ABCDEF;
  g_draws[1] = 0xFEDCBA9876543210;
  g_draws[2] = 0x1111111111111111;
  g_draw_count = 0;
  const std::string first = std::string(27, '-') + "0123456789ABCDEF";
  const std::string second = std::string(27, '-') + "FEDCBA9876543210";
  const std::string value = "before " + first + " after";
  const std::string content = "xx" + second;
  EXPECT_EQ(std::string(27, '-') + "1111111111111111",
            ChooseFormDataBoundary({"name", value, content}, &NextDraw));
  EXPECT_EQ(3, g_draw_count);

  g_draw_count = 0;
  EXPECT_EQ(first, ChooseFormDataBoundary({"no boundary here"}, &NextDraw));
  EXPECT_EQ(1, g_draw_count);
}

TEST(FormDataBodyTest, BoundaryKeepsLeadingZeros) {
  g_draws[0] = 0xA;
  g_draw_count = 0;
  const std::string boundary = ChooseFormDataBoundary({}, &NextDraw);
  EXPECT_EQ(43u, boundary.size());
  EXPECT_EQ(std::string(27, '-') + "000000000000000A", boundary);
}

TEST(FormDataBodyTest, BodyHasFieldsThenFilesThenTheClosingBoundary) {
  const std::string zip_bytes("PK\0\x01", 4);
  const std::string body =
      BuildFormDataBody("B", {{"a", "1"}, {"b", "two\r\nlines"}},
                        {{"file", "C:\\t\\log.zip", zip_bytes}});
  EXPECT_EQ(
      "--B\r\n"
      "Content-Disposition: form-data; name=\"a\"\r\n\r\n"
      "1\r\n"
      "--B\r\n"
      "Content-Disposition: form-data; name=\"b\"\r\n\r\n"
      "two\r\nlines\r\n"
      "--B\r\n"
      "Content-Disposition: form-data; name=\"file\"; "
      "filename=\"C:\\t\\log.zip\"\r\n"
      "Content-Type: application/octet-stream\r\n\r\n" +
          zip_bytes + "\r\n--B--\r\n",
      body);
  EXPECT_EQ("--B--\r\n", BuildFormDataBody("B", {}, {}));
}

TEST(FormDataBodyTest, AnEmptyFileGivesAnEmptyPart) {
  EXPECT_EQ(
      "--B\r\nContent-Disposition: form-data; name=\"f\"; filename=\"p\"\r\n"
      "Content-Type: application/octet-stream\r\n\r\n\r\n--B--\r\n",
      BuildFormDataBody("B", {}, {{"f", "p", ""}}));
}

}  // namespace
}  // namespace crash_reporter
