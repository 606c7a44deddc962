#include "desktop/windows/installer/core/uninstall_commands.h"

#include <string>

#include "gtest/gtest.h"

namespace installer {
namespace {

TEST(UninstallCommandsTest, ReinstallCommandSplits) {
  const struct {
    const char16_t* command;
    const char16_t* program;
    const char16_t* arguments;
  } cases[] = {
      {u"\"C:\\Program Files\\ie\\setup.exe\" /reinstall",
       u"C:\\Program Files\\ie\\setup.exe", u"/reinstall"},
      {u"\"C:\\a b\\x.exe\"", u"C:\\a b\\x.exe", u""},
      {u"\"C:\\a b\\x.exe\" ", u"C:\\a b\\x.exe", u""},
      // No closing quote, no space: the whole text is the program.
      {u"\"C:\\a b\\x.exe", u"C:\\a b\\x.exe", u""},
      {u"C:\\x.exe", u"C:\\x.exe", u""},
      // Unquoted: everything after the first space, first letter included.
      {u"C:\\x.exe /a /b", u"C:\\x.exe", u"/a /b"},
      {u"", u"", u""},
  };
  for (const auto& c : cases) {
    std::u16string program = u"stale";
    std::u16string arguments = u"stale";
    SplitReinstallCommand(c.command, &program, &arguments);
    EXPECT_EQ(c.program, program);
    EXPECT_EQ(c.arguments, arguments);
  }
}

TEST(UninstallCommandsTest, SurveyUrlIsOneQuotedArgument) {
  std::u16string command;
  ASSERT_TRUE(BuildSurveyCommand(u"C:\\Program Files\\IE\\iexplore.exe", true,
                                 u"https://s/?version=1&uuid=&a=b", &command));
  EXPECT_EQ(
      u"\"C:\\Program Files\\IE\\iexplore.exe\" -private "
      u"\"https://s/?version=1&uuid=&a=b\"",
      command);
  ASSERT_TRUE(BuildSurveyCommand(u"p.exe", false, u"u", &command));
  EXPECT_EQ(u"\"p.exe\" \"u\"", command);
  for (const char16_t* url :
       {u"", u"https://s/?a=\" C:\\evil.exe", u"https://s/?a=\nb",
        u"https://s/?a=\tb", u"https://s/?a=\x7f"}) {
    command = u"kept";
    EXPECT_FALSE(BuildSurveyCommand(u"p.exe", false, url, &command));
    EXPECT_EQ(u"kept", command);
  }
}

}  // namespace
}  // namespace installer
