#include "desktop/windows/installer/installer_help.h"

#include <string>
#include <vector>

#include "desktop/windows/installer/test/golden_help_text.h"
#include "gtest/gtest.h"

namespace installer {
namespace {

TEST(InstallerHelpTest, TextIsThePublishedOneWithTheLanguagesJoined) {
  struct {
    std::vector<std::u16string> languages;
    std::string line;
  } cases[] = {
      {{}, ""},
      {{u"en"}, "en"},
      {{u"en", u"de", u"pt-BR"}, "en, de, pt-BR"},
      // Empty lines of the language resource stay in the list.
      {{u"en", u"", u"fr"}, "en, , fr"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(test::GoldenHelpText(c.line), BuildHelpText(c.languages));
}

TEST(InstallerHelpTest, EveryBooleanRowAfterFolderTakesZeroOrOne) {
  size_t count = 0;
  const HelpRow* rows = GetHelpRows(&count);
  ASSERT_EQ(16u, count);
  EXPECT_EQ(nullptr, rows[0].placeholder);
  EXPECT_EQ(nullptr, rows[1].placeholder);
  EXPECT_STREQ("LANGUAGE", rows[2].placeholder);
  EXPECT_STREQ("FOLDER", rows[3].placeholder);
  for (size_t i = 4; i < count; ++i)
    EXPECT_STREQ("[0|1]", rows[i].placeholder) << rows[i].switch_name;
}

}  // namespace
}  // namespace installer
