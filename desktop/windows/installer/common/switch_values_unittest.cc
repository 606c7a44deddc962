#include "desktop/windows/installer/common/switch_values.h"

#include "gtest/gtest.h"

namespace installer {
namespace {

// Every value has a reading; the values that are not plain spellings are
// the ones a caller warns about.
TEST(SwitchValuesTest, BooleanValues) {
  struct {
    const char16_t* text;
    bool value;
    bool plain;
  } cases[] = {
      {u"", false, true},
      {u"0", false, true},
      {u"1", true, true},
      {u"2", true, true},
      {u"yes", true, true},
      {u"YeS", true, true},
      {u"TRUE", true, true},
      {u"no", false, true},
      {u"false", false, true},
      {u"-1", true, true},
      {u"-0", false, true},
      {u"007", true, true},
      // Far beyond 32 bits: still a non-zero number.
      {u"99999999999999999999", true, true},
      {u"00000000000000000000", false, true},
      // No digits at the start: 0.
      {u"off", false, false},
      {u"on", false, false},
      {u"maybe", false, false},
      {u"x1", false, false},
      {u"yes!", false, false},
      {u"+", false, false},
      {u" 2", false, false},
      // The number that starts the text.
      {u"2x", true, false},
      {u"0x1", false, false},
      {u"-3 ", true, false},
      // Wide digits are not decimal digits.
      {u"\uFF11", false, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(
        c.text, c.text + std::char_traits<char16_t>::length(c.text)));
    EXPECT_EQ(c.value, ParseBoolSwitchValue(c.text));
    EXPECT_EQ(c.plain, IsPlainBoolSwitchValue(c.text));
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
