#include "base/command_line.h"

#include <string>
#include <vector>

#include "gtest/gtest.h"

namespace base {
namespace {

using StringVector = CommandLine::StringVector;

CommandLine Parse(const std::u16string& text) {
  CommandLine cl(CommandLine::NO_PROGRAM);
  cl.ParseFromString(text);
  return cl;
}

TEST(CommandLineTest, SwitchNamesAreLoweredAndPrefixesStripped) {
  CommandLine cl = Parse(u"a.exe --Silent");
  EXPECT_TRUE(cl.HasSwitch("silent"));
  EXPECT_FALSE(cl.HasSwitch("Silent"));
  EXPECT_EQ(u"a.exe --silent", cl.GetCommandLineString());

  for (const char16_t* text : {u"a.exe \"/installfolder=C:\\A B\"",
                               u"a.exe \"-installfolder=C:\\A B\"",
                               u"a.exe \"--INSTALLFOLDER=C:\\A B\""}) {
    CommandLine c = Parse(text);
    EXPECT_EQ(u"C:\\A B", c.GetSwitchValueNative("installfolder"));
    EXPECT_EQ(u"C:\\A B", c.GetSwitchValuePath("installfolder").value());
  }
}

TEST(CommandLineTest, SwitchesAfterPlainArgumentsUntilDoubleDash) {
  CommandLine cl = Parse(u"a.exe x --backend");
  EXPECT_TRUE(cl.HasSwitch("backend"));
  EXPECT_EQ((StringVector{u"x"}), cl.GetArgs());

  CommandLine ended = Parse(u"a.exe -- --backend /uninstall");
  EXPECT_FALSE(ended.HasSwitch("backend"));
  EXPECT_FALSE(ended.HasSwitch("uninstall"));
  EXPECT_EQ((StringVector{u"--", u"--backend", u"/uninstall"}),
            ended.GetArgs());
  // The rendering keeps them plain too.
  EXPECT_EQ(u"a.exe -- --backend /uninstall", ended.GetCommandLineString());
}

TEST(CommandLineTest, ValuesKeepEverythingAfterTheFirstEquals) {
  CommandLine cl = Parse(u"a.exe --url=http://x/?a=b&c=d -x= - /");
  EXPECT_EQ(u"http://x/?a=b&c=d", cl.GetSwitchValueNative("url"));
  EXPECT_TRUE(cl.HasSwitch("x"));
  EXPECT_EQ(u"", cl.GetSwitchValueNative("x"));
  // A bare prefix is not a switch.
  EXPECT_EQ((StringVector{u"-", u"/"}), cl.GetArgs());
}

TEST(CommandLineTest, ArgumentsAreTrimmedAndEmptyOnesSkipped) {
  CommandLine cl(CommandLine::NO_PROGRAM);
  cl.InitFromArgv({u" prog.exe ", u"\u3000", u"  --A=1 ", u"", u" plain "});
  EXPECT_EQ(u"prog.exe", cl.GetProgram().value());
  EXPECT_EQ(u"1", cl.GetSwitchValueNative("a"));
  EXPECT_EQ((StringVector{u"plain"}), cl.GetArgs());
}

TEST(CommandLineTest, AppendingTwiceKeepsTwoEntriesButOneValue) {
  CommandLine cl(FilePath(u"prog.exe"));
  cl.AppendSwitchASCII("Stream", "beta");
  cl.AppendArg("file");
  cl.AppendSwitchASCII("stream", "stable");
  EXPECT_EQ(u"stable", cl.GetSwitchValueNative("stream"));
  EXPECT_EQ(u"prog.exe --stream=beta --stream=stable file",
            cl.GetCommandLineString());
  // Switches go before plain arguments whatever the order of appending.
  EXPECT_EQ((StringVector{u"file"}), cl.GetArgs());
}

TEST(CommandLineTest, AsciiAndPrefixedNames) {
  CommandLine cl(CommandLine::NO_PROGRAM);
  cl.AppendSwitchNative("lang", u"fran\u00E7ais");
  cl.AppendSwitchNative("/Path", u"x");
  EXPECT_EQ("", cl.GetSwitchValueASCII("lang"));
  EXPECT_EQ(u"fran\u00E7ais", cl.GetSwitchValueNative("lang"));
  EXPECT_EQ("x", cl.GetSwitchValueASCII("path"));
  EXPECT_EQ(u"--lang=fran\u00E7ais /path=x", cl.GetArgumentsString());
}

// Characters whose low byte is an ASCII letter must not make a look-alike
// count as a real switch, on an elevated process's command line least of
// all.
TEST(CommandLineTest, NonAsciiSwitchNamesNeverMatchAsciiOnes) {
  struct Case {
    std::u16string argument;
    const char* ascii_look_alike;
    std::string stored_name;  // UTF-8
  } cases[] = {
      {u"--\u0173ilent", "silent", "\xC5\xB3ilent"},
      {u"--\u0153ILENT", "silent", "\xC5\x93ilent"},
      {u"-b\u0161ckend=1", "backend",
       "b\xC5\xA1"
       "ckend"},
      {u"/\u0175ninstall", "uninstall", "\xC5\xB5ninstall"},
      {u"--silent\u0100", "silent", "silent\xC4\x80"},
  };
  for (const Case& c : cases) {
    CommandLine cl(CommandLine::NO_PROGRAM);
    cl.InitFromArgv({u"a.exe", c.argument});
    EXPECT_FALSE(cl.HasSwitch(c.ascii_look_alike)) << c.stored_name;
    ASSERT_EQ(1u, cl.GetSwitches().size());
    EXPECT_EQ(c.stored_name, cl.GetSwitches().begin()->first);
    // The name is rendered with its own characters, A-Z lowered.
    CommandLine reparsed = Parse(cl.GetCommandLineString());
    EXPECT_EQ(cl.GetSwitches(), reparsed.GetSwitches());
  }
  CommandLine cl(CommandLine::NO_PROGRAM);
  cl.InitFromArgv({u"a.exe", u"--\u0173ilent"});
  EXPECT_EQ(u"a.exe --\u0173ilent", cl.GetCommandLineString());
}

// "-=" is a switch of no name. Rendered as a bare "-" it would come back as
// a plain argument, and as a bare "--" it would turn every later switch of
// a child's command line into a plain argument.
TEST(CommandLineTest, SwitchWithoutANameKeepsItsSeparator) {
  CommandLine cl = Parse(u"a.exe -= --= /=x --backend");
  EXPECT_EQ(u"x", cl.GetSwitchValueNative(""));
  EXPECT_EQ(u"a.exe -= --= /=x --backend", cl.GetCommandLineString());
  CommandLine reparsed = Parse(cl.GetCommandLineString());
  EXPECT_TRUE(reparsed.HasSwitch("backend"));
  EXPECT_EQ(cl.GetSwitches(), reparsed.GetSwitches());
  EXPECT_EQ(StringVector(), reparsed.GetArgs());

  CommandLine appended(FilePath(u"a.exe"));
  appended.AppendSwitch("");
  appended.AppendSwitch("--");
  appended.AppendSwitch("backend");
  EXPECT_EQ(u"a.exe --= --= --backend", appended.GetCommandLineString());
  EXPECT_TRUE(Parse(appended.GetCommandLineString()).HasSwitch("backend"));
}

// A name ending in white space (only possible before an "=") must not be
// trimmed into another switch, a real one perhaps, in a child.
TEST(CommandLineTest, SwitchNameEndingInWhiteSpaceKeepsIt) {
  CommandLine cl(CommandLine::NO_PROGRAM);
  cl.InitFromArgv({u"a.exe", u"--silent\u3000=", u"/x\f="});
  ASSERT_EQ(2u, cl.GetSwitches().size());
  EXPECT_FALSE(cl.HasSwitch("silent"));
  CommandLine reparsed = Parse(cl.GetCommandLineString());
  EXPECT_FALSE(reparsed.HasSwitch("silent"));
  EXPECT_EQ(cl.GetSwitches(), reparsed.GetSwitches());
  EXPECT_EQ(StringVector(), reparsed.GetArgs());
}

TEST(CommandLineTest, QuoteForCommandLine) {
  struct Case {
    std::u16string in, out;
  } cases[] = {
      {u"plain", u"plain"},
      {u"", u"\"\""},
      {u"C:\\Folder\\", u"\"C:\\Folder\\\\\""},
      {u"C:\\A B\\", u"\"C:\\A B\\\\\""},
      {u"a\"b", u"\"a\\\"b\""},
      {u"a\\\"b", u"\"a\\\\\\\"b\""},
      {u"a\\b", u"\"a\\b\""},
      {u"tab\there", u"\"tab\there\""},
      {u"new\nline", u"\"new\nline\""},
      {u"ideographic\u3000space", u"\"ideographic\u3000space\""},
      {u"100%", u"100%"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(c.out, CommandLine::QuoteForCommandLine(c.in, false));
  EXPECT_EQ(u"\"100%\"", CommandLine::QuoteForCommandLine(u"100%", true));
}

// Rendering and splitting again must give back exactly the same arguments:
// otherwise a value could smuggle extra switches into a child process.
TEST(CommandLineTest, RenderingRoundTripsThroughTheSplitter) {
  const std::vector<std::u16string> values = {
      u"C:\\Program Files\\Velna\\",
      u"tab\tvalue",
      u"line\nbreak --backend",
      u"quote\" --elevated",
      u"\\\\server\\share\\",
      u"back\\\\\"slash",
      u"trailing\\",
      u"\"",
      u"%1",
      u"a\"\"b c",
  };
  CommandLine cl(FilePath(u"C:\\Program Files\\Velna\\installer.exe"));
  for (size_t i = 0; i < values.size(); ++i)
    cl.AppendSwitchNative("v" + std::to_string(i), values[i]);
  cl.AppendArgNative(u"plain arg");
  cl.AppendArgNative(u"x\ty");
  for (bool quote_percent : {false, true}) {
    const std::u16string rendered = cl.GetCommandLineString(quote_percent);
    CommandLine reparsed = Parse(rendered);
    EXPECT_EQ(cl.GetProgram(), reparsed.GetProgram());
    EXPECT_EQ(cl.GetSwitches(), reparsed.GetSwitches()) << rendered.size();
    EXPECT_EQ(cl.GetArgs(), reparsed.GetArgs());
  }
}

TEST(CommandLineTest, SwitchNameWithBlanksCannotSplit) {
  CommandLine cl(CommandLine::NO_PROGRAM);
  cl.InitFromArgv({u"a.exe", u"--x --backend=1"});
  ASSERT_EQ(1u, cl.GetSwitches().size());
  CommandLine reparsed = Parse(cl.GetCommandLineString());
  EXPECT_FALSE(reparsed.HasSwitch("backend"));
  EXPECT_EQ(cl.GetSwitches(), reparsed.GetSwitches());
}

TEST(CommandLineTest, SplitterFollowsSystemRules) {
  struct Case {
    std::u16string text;
    StringVector argv;
  } cases[] = {
      {u"a.exe b c", {u"a.exe", u"b", u"c"}},
      {u"\"C:\\a b\\x.exe\" y", {u"C:\\a b\\x.exe", u"y"}},
      {u"\"C:\\a\"x y", {u"C:\\a", u"x", u"y"}},
      {u"p \"a b\" c", {u"p", u"a b", u"c"}},
      {u"p a\\\\b", {u"p", u"a\\\\b"}},
      {u"p a\\\"b", {u"p", u"a\"b"}},
      {u"p a\\\\\"b c\"", {u"p", u"a\\b c"}},
      {u"p a\\\\\\\"b", {u"p", u"a\\\"b"}},
      {u"p \"\"", {u"p", u""}},
      {u"p \"\" x", {u"p", u"", u"x"}},
      {u"p\t\tx  ", {u"p", u"x"}},
      {u"p \"a\"\"b\"", {u"p", u"a\"b"}},
      {u"p \"a\"\"\"b\"", {u"p", u"a\"b"}},
      {u"p a\"b c\"d", {u"p", u"ab cd"}},
      {u"p \"unterminated arg", {u"p", u"unterminated arg"}},
      {u"p x\ny", {u"p", u"x\ny"}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.argv, CommandLine::SplitCommandLine(c.text))
        << testing::PrintToString(c.text);
  }
}

TEST(CommandLineTest, CopyAndAppendArguments) {
  CommandLine source = Parse(u"src.exe --a=1 --b --c=3 arg1 arg2");
  const char* const names[] = {"a", "c", "missing"};
  CommandLine copy(CommandLine::NO_PROGRAM);
  copy.CopySwitchesFrom(source, names, 3);
  // An empty program is quoted too, so the rendering splits back the same.
  EXPECT_EQ(u"\"\" --a=1 --c=3", copy.GetCommandLineString());

  CommandLine all(FilePath(u"other.exe"));
  all.AppendArguments(source, true);
  EXPECT_EQ(u"src.exe", all.GetProgram().value());
  EXPECT_EQ(source.GetSwitches(), all.GetSwitches());
  EXPECT_EQ((StringVector{u"arg1", u"arg2"}), all.GetArgs());

  CommandLine assigned = all;
  assigned.AppendSwitch("d");
  EXPECT_FALSE(all.HasSwitch("d"));
  EXPECT_TRUE(assigned.HasSwitch("b"));
}

TEST(CommandLineTest, EmptyTextLeavesAnEmptyProgram) {
  CommandLine cl = Parse(u"   ");
  EXPECT_TRUE(cl.GetProgram().empty());
  EXPECT_TRUE(cl.GetArgs().empty());
}

}  // namespace
}  // namespace base
