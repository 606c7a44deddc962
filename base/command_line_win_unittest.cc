// The portable splitter and the rendering against the system's own
// CommandLineToArgvW.

#include <windows.h>
#include <shellapi.h>

#include <string>
#include <vector>

#include "base/command_line.h"
#include "base/strings/string_util_win.h"
#include "gtest/gtest.h"

namespace base {
namespace {

CommandLine::StringVector SystemSplit(const std::u16string& text) {
  int argc = 0;
  wchar_t** argv = ::CommandLineToArgvW(as_wcstr(text), &argc);
  CommandLine::StringVector result;
  for (int i = 0; i < argc; ++i) result.emplace_back(as_u16cstr(argv[i]));
  ::LocalFree(argv);
  return result;
}

TEST(CommandLineWinTest, PortableSplitterMatchesTheSystem) {
  const std::u16string lines[] = {
      u"a.exe b c",
      u"\"C:\\a b\\x.exe\" y",
      u"\"C:\\a\"x y",
      u"p \"a b\" c",
      u"p a\\\\b",
      u"p a\\\"b",
      u"p a\\\\\"b c\"",
      u"p a\\\\\\\"b",
      u"p \"\"",
      u"p \"\" x",
      u"p\t\tx  ",
      u"p \"a\"\"b\"",
      u"p \"a\"\"\"b\"",
      u"p \"a\"\"\"\"b\" c",
      u"p a\"b c\"d",
      u"p \"unterminated arg",
      u"p x\ny",
      u"p \\\\\\\\\" x\"",
      u"p \"\"\"\"\"\"",
      u"p --k=\"v w\" --q=\"\\\"\"",
  };
  for (const std::u16string& line : lines) {
    EXPECT_EQ(SystemSplit(line), CommandLine::SplitCommandLine(line))
        << testing::PrintToString(line);
  }
}

TEST(CommandLineWinTest, QuotedArgumentsRoundTripThroughTheSystem) {
  const std::u16string arguments[] = {
      u"",        u"plain",      u"with blank", u"tab\there",
      u"new\nline", u"cr\rhere", u"trailing\\", u"C:\\Dir Name\\",
      u"\"",      u"a\\\"b",     u"\\\\\\",     u"mixed \\\" \t \\",
      u"--x --backend", u"%PATH%", u"\u00E9\u3000\u2028",
  };
  for (bool quote_percent : {false, true}) {
    std::u16string line = u"prog.exe";
    for (const std::u16string& arg : arguments) {
      line += u' ';
      line += CommandLine::QuoteForCommandLine(arg, quote_percent);
    }
    CommandLine::StringVector expected = {u"prog.exe"};
    expected.insert(expected.end(), std::begin(arguments),
                    std::end(arguments));
    EXPECT_EQ(expected, SystemSplit(line));
  }
}

TEST(CommandLineWinTest, InitReadsTheProcessCommandLineOnce) {
  EXPECT_TRUE(CommandLine::Init());
  CommandLine* current = CommandLine::ForCurrentProcess();
  ASSERT_NE(nullptr, current);
  EXPECT_FALSE(CommandLine::Init());
  EXPECT_EQ(current, CommandLine::ForCurrentProcess());
  // Every argument the C runtime saw is a switch or a plain argument here.
  EXPECT_EQ(static_cast<size_t>(__argc - 1),
            current->argv().size() - 1);
  EXPECT_NE(std::u16string::npos,
            current->GetProgram().value().find(u"base_unittests"));
}

}  // namespace
}  // namespace base
