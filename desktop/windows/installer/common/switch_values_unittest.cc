#include "desktop/windows/installer/common/switch_values.h"

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

// Only the spellings that mean what they say are accepted; anything else
// keeps a switch's default rather than reading as 0 or 1 by accident.
TEST(SwitchValuesTest, AcceptedSpellings) {
  struct {
    const char16_t* text;
    bool accepted;
    bool value;
  } cases[] = {
      {u"", true, false},        {u"0", true, false},
      {u"1", true, true},        {u"2", true, true},
      {u"-1", true, true},       {u"+0", true, false},
      {u"007", true, true},      {u"99999999999999999999", true, true},
      {u"yes", true, true},      {u"TRUE", true, true},
      {u"No", true, false},      {u"false", true, false},
      {u"FALSE", true, false},   {u"maybe", false, false},
      {u"banana", false, false}, {u"x", false, false},
      {u"1x", false, false},     {u"x1", false, false},
      {u"+", false, false},      {u"-", false, false},
      {u"yes!", false, false},   {u" 1", false, false},
      {u"on", false, false},     {u"\uFF11", false, false},
  };
  for (const auto& c : cases) {
    const std::string text(c.text,
                           c.text + std::char_traits<char16_t>::length(c.text));
    bool value = !c.value;
    EXPECT_EQ(c.accepted, ReadBoolSwitchValue(c.text, &value)) << text;
    // Untouched when refused.
    EXPECT_EQ(c.value, c.accepted ? value : !value) << text;
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
