#include "desktop/windows/installer/switch_values.h"

#include "gtest/gtest.h"

namespace installer {
namespace {

TEST(SwitchValuesTest, BooleanValues) {
  struct {
    const char16_t* text;
    bool value;
  } cases[] = {
      {u"", false},
      {u"0", false},
      {u"1", true},
      {u"2", true},
      {u"yes", true},
      {u"YeS", true},
      {u"TRUE", true},
      {u"true", true},
      {u"no", false},
      {u"false", false},
      {u"x", false},
      {u"yes!", false},
      {u"-1", true},
      {u"+0", false},
      {u"-0", false},
      {u"00", false},
      {u"007", true},
      {u"1x", true},
      {u"x1", false},
      {u"+", false},
      // Far beyond 32 bits: still a non-zero number.
      {u"99999999999999999999", true},
      {u"00000000000000000000", false},
      // Wide digits are not decimal digits.
      {u"\uFF11", false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.value, ParseBoolSwitchValue(c.text)) << std::string(
        c.text, c.text + std::char_traits<char16_t>::length(c.text));
  }
}

TEST(SwitchValuesTest, WrittenValuesReadBack) {
  EXPECT_EQ(u"1", FormatBoolSwitchValue(true));
  EXPECT_EQ(u"0", FormatBoolSwitchValue(false));
  EXPECT_TRUE(ParseBoolSwitchValue(FormatBoolSwitchValue(true)));
  EXPECT_FALSE(ParseBoolSwitchValue(FormatBoolSwitchValue(false)));
}

}  // namespace
}  // namespace installer
