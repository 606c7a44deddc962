#include "desktop/windows/installer/package_fetcher/archive_item_path.h"

#include <string>

#include "base/strings/utf_string_conversions.h"
#include "gtest/gtest.h"

namespace installer {
namespace {

TEST(ArchiveItemPathTest, SeparatorsBecomeBackslashes) {
  EXPECT_EQ(u"a\\b\\c", ToWindowsSeparators(u"a/b\\c"));
  EXPECT_EQ(u"", ToWindowsSeparators(u""));
}

TEST(ArchiveItemPathTest, OnlyPlainNamesBelowTheFolderPass) {
  const struct {
    std::u16string path;
    bool safe;
  } cases[] = {
      {u"file.txt", true},
      {u"a\\b\\c.dll", true},
      {u"a/b/c.dll", true},
      {u"..a\\b..c", true},
      {u"Locales\\en-US.pak", true},
      {u"COM10", true},
      {u"CONSOLE.txt", true},
      {u"nul2", true},
      {u"caf\u00e9\\\u4e2d.txt", true},
      {u"", false},
      {u"\\x", false},
      {u"/x", false},
      {u"a\\", false},
      {u"a\\\\b", false},
      {u"a//b", false},
      {u"\\\\srv\\s\\x", false},
      {u".", false},
      {u"..", false},
      {u"..\\x", false},
      {u"../x", false},
      {u"a\\..\\..\\x", false},
      {u"a\\.\\b", false},
      {u"C:\\x", false},
      {u"C:x", false},
      {u"a:", false},
      {u"a:s", false},
      {u"file.txt:stream", false},
      {u"a\rb", false},
      {u"a\tb", false},
      {std::u16string(u"a\0b", 3), false},
      {u"a\x1F", false},
      {u"what?", false},
      {u"a*", false},
      {u"a\"b", false},
      {u"a<b", false},
      {u"a>b", false},
      {u"a|b", false},
      {u"x.", false},
      {u"x ", false},
      {u" x", false},
      {u"dir.\\x", false},
      {u"CON", false},
      {u"con", false},
      {u"PRN.txt", false},
      {u"sub\\AUX.txt", false},
      {u"NUL.tar.gz", false},
      {u"COM1", false},
      {u"com9.log", false},
      {u"COM0", false},
      {u"LPT1", false},
      {u"lpt9", false},
      {u"COM\u00B9", false},
      {u"LPT\u00B3.txt", false},
      {u"CONIN$", false},
      {u"conout$.txt", false},
      {u"CON .txt", false},
      {u"a\\CON \\b", false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.safe, IsSafeArchiveItemPath(c.path))
        << base::UTF16ToUTF8(c.path);
  }
}

TEST(ArchiveItemPathTest, OutputPathsStayInTheFolder) {
  const base::FilePath folder(u"C:\\package");
  const struct {
    std::u16string name;
    const char16_t* output;  // null: refused
  } cases[] = {
      {u"a/b.dll", u"C:\\package\\a\\b.dll"},
      {u"launcher.exe", u"C:\\package\\launcher.exe"},
      {u"..\\x", nullptr},
      {u"a\\CON.txt", nullptr},
      {u"\\\\srv\\s\\x", nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(base::UTF16ToUTF8(c.name));
    base::FilePath output(u"untouched");
    EXPECT_EQ(c.output != nullptr,
              GetArchiveItemOutputPath(folder, c.name, &output));
    EXPECT_EQ(c.output ? c.output : u"untouched", output.value());
  }
}

}  // namespace
}  // namespace installer
