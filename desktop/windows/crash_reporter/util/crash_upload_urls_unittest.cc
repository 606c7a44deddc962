#include "desktop/windows/crash_reporter/util/crash_upload_urls.h"

#include <stdint.h>

#include <limits>
#include <memory>

#include "base/strings/utf_string_conversions.h"
#include "base/values.h"
#include "desktop/windows/installer/common/branding_config.h"
#include "gtest/gtest.h"

namespace crash_reporter {
namespace {

TEST(CrashUploadUrlsTest, PercentEncodeKeepsOnlyUnreservedCharacters) {
  const struct {
    const char* input;
    const char* expected;
  } kCases[] = {
      {"", ""},
      {"AZaz09-._~", "AZaz09-._~"},
      // UTF-8 of "a+b&c=d #é%".
      {"a+b&c=d #\xC3\xA9%", "a%2Bb%26c%3Dd%20%23%C3%A9%25"},
      {"x@y.example", "x%40y.example"},
      {"?/\r\n\x7f", "%3F%2F%0D%0A%7F"},
  };
  for (const auto& c : kCases)
    EXPECT_EQ(c.expected, PercentEncodeQueryValue(c.input)) << c.input;
}

TEST(CrashUploadUrlsTest, AppendEmailStartsOrExtendsTheQuery) {
  const struct {
    const char16_t* url;
    const char16_t* email;
    const char16_t* expected;
  } kCases[] = {
      {u"https://h/submit", u"", u"https://h/submit"},
      {u"https://h/submit", u"a+b&c=d #\u00e9%",
       u"https://h/submit?email=a%2Bb%26c%3Dd%20%23%C3%A9%25"},
      {u"https://h/submit?p=1", u"x@y", u"https://h/submit?p=1&email=x%40y"},
      {u"https://h/submit?", u"x", u"https://h/submit?&email=x"},
  };
  for (const auto& c : kCases)
    EXPECT_EQ(c.expected, AppendEmailToUrl(c.url, c.email));
}

TEST(CrashUploadUrlsTest, AppendEmailHasNoLengthLimit) {
  const std::u16string email(5000, u'e');
  EXPECT_EQ(u"https://h/s?email=" + email,
            AppendEmailToUrl(u"https://h/s", email));
}

TEST(CrashUploadUrlsTest, LocationIdLiesBetweenIdMarkerAndAmpersand) {
  const struct {
    const char16_t* location;
    bool found;
    const char16_t* id;
  } kCases[] = {
      {u"https://h/crash?id=abc&t=1", true, u"abc"},
      {u"?id=abc&", true, u"abc"},
      {u"?id=&t=1", true, u""},
      {u"?id=a&b?id=c&", true, u"a"},
      {u"https://h/crash?id=abc", false, u""},
      {u"https://h/crash&?id=abc", false, u""},
      {u"https://h/crash?ID=abc&t=1", false, u""},
      {u"https://h/crash?t=1&id=abc&u=2", false, u""},
      {u"", false, u""},
  };
  for (const auto& c : kCases) {
    std::u16string id = u"untouched";
    EXPECT_EQ(c.found, ParseDuplicateCheckLocation(c.location, &id))
        << base::UTF16ToUTF8(c.location);
    EXPECT_EQ(c.found ? std::u16string(c.id) : u"untouched", id);
  }
}

TEST(CrashUploadUrlsTest, EmailVariableIsNamedAfterTheProduct) {
  EXPECT_EQ(u"VELNA_CRASH_EMAIL", GetCrashEmailVariableName());
  // Only ASCII letters change case.
  installer::BrandingConfig::OverrideForTesting(
      "product_name", std::make_unique<base::StringValue>("Ab-c1\xC3\xA9"));
  EXPECT_EQ(u"AB-C1\u00e9_CRASH_EMAIL", GetCrashEmailVariableName());
}

TEST(CrashUploadUrlsTest, NumberTextsKeepEveryBit) {
  constexpr uint32_t kMax32 = std::numeric_limits<uint32_t>::max();
  const struct {
    uint64_t value;
    const char16_t* text;
  } kCases[] = {
      {0, u"0"},
      {10, u"10"},
      {kMax32, u"4294967295"},
      {uint64_t{kMax32} + 1, u"4294967296"},
      {std::numeric_limits<uint64_t>::max(), u"18446744073709551615"},
  };
  for (const auto& c : kCases) {
    EXPECT_EQ(c.text, Uint64ToWString(c.value));
    if (c.value <= kMax32) {
      EXPECT_EQ(c.text, UintToWString(static_cast<uint32_t>(c.value)));
    }
  }
}

}  // namespace
}  // namespace crash_reporter
