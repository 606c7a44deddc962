#include "base/features/command_line_feature_reader.h"

#include <string>
#include <vector>

#include "base/command_line.h"
#include "base/logging.h"
#include "base/strings/utf_string_conversions.h"
#include "gtest/gtest.h"

namespace base {
namespace {

std::vector<FeatureEntry> ReadFrom(const std::u16string& text) {
  CommandLine command_line(CommandLine::NO_PROGRAM);
  command_line.ParseFromString(text);
  std::vector<FeatureEntry> entries;
  CommandLineFeatureReader(command_line).Read(&entries);
  return entries;
}

TEST(CommandLineFeatureReaderTest, ValuesMapToEntries) {
  struct Case {
    const char16_t* text;
    bool expect_entry;
    bool enabled;
  };
  const Case cases[] = {
      {u"p.exe --with-feature:x=on", true, true},
      {u"p.exe --with-feature:x", true, true},
      {u"p.exe --with-feature:x=", true, true},
      {u"p.exe --with-feature:x=off", true, false},
      {u"p.exe /with-feature:x=off", true, false},
      {u"p.exe --with-feature:x=yes", false, false},
      {u"p.exe --with-feature:x=OFF", false, false},
      {u"p.exe --with-feature:x=1", false, false},
      // Non-ASCII text counts as no value, which means on.
      {u"p.exe --with-feature:x=\u00f6ff", true, true},
      {u"p.exe --feature:x=on", false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(UTF16ToUTF8(c.text));
    const std::vector<FeatureEntry> entries = ReadFrom(c.text);
    ASSERT_EQ(c.expect_entry ? 1u : 0u, entries.size());
    if (c.expect_entry) {
      EXPECT_EQ("x", entries[0].name);
      EXPECT_EQ(c.enabled, entries[0].enabled);
    }
  }
}

TEST(CommandLineFeatureReaderTest, NamesArriveLowerCasedInSwitchOrder) {
  const std::vector<FeatureEntry> entries =
      ReadFrom(u"p.exe --with-feature:Zeta=off --with-feature:Alpha=on");
  ASSERT_EQ(2u, entries.size());
  EXPECT_EQ("alpha", entries[0].name);
  EXPECT_TRUE(entries[0].enabled);
  EXPECT_EQ("zeta", entries[1].name);
  EXPECT_FALSE(entries[1].enabled);
}

std::string* g_logged = nullptr;

bool CaptureLine(logging::LogSeverity severity, const char* file, int line,
                 size_t message_start, const std::string& text) {
  if (severity == logging::LOG_WARNING)
    g_logged->append(text.substr(message_start));
  return true;
}

TEST(CommandLineFeatureReaderTest, UnhandledValueIsLoggedAndKeepsTheDefault) {
  std::string logged;
  g_logged = &logged;
  const logging::LogMessageHandlerFunction previous =
      logging::GetLogMessageHandler();
  logging::SetLogMessageHandler(&CaptureLine);

  CommandLine command_line(CommandLine::NO_PROGRAM);
  command_line.ParseFromString(u"p.exe --with-feature:x=yes");
  FeatureList list;
  list.AddFeature("x", false, true);
  list.ReadOverrides(CommandLineFeatureReader(command_line));

  logging::SetLogMessageHandler(previous);
  g_logged = nullptr;
  EXPECT_FALSE(list.IsEnabled("x"));
  EXPECT_EQ(
      "with-feature:x has unhandled value: \"yes\" did you mean \"on\" or "
      "\"off\"? Using default setting.\n",
      logged);
}

}  // namespace
}  // namespace base
