#include "base/files/file_path.h"

#include <sstream>
#include <string>
#include <vector>

#include "gtest/gtest.h"

namespace base {
namespace {

using StringType = FilePath::StringType;
using Components = std::vector<StringType>;

struct UnaryCase {
  const char16_t* input;
  const char16_t* expected;
};

TEST(FilePathTest, ConstructorsCutAtTheFirstNul) {
  const char16_t text[] = {u'a', u'\0', u'b'};
  EXPECT_EQ(u"a", FilePath(StringPiece16(text, 3)).value());
  EXPECT_EQ(u"a", FilePath::FromUTF16(StringPiece16(text, 3)).value());
  EXPECT_EQ(uR"(x\a)", FilePath(u"x").Append(StringPiece16(text, 3)).value());
  // A NUL brought in through an extension ends the path there too.
  EXPECT_EQ(u"f.",
            FilePath(u"f").AddExtension(StringPiece16(text + 1, 2)).value());
}

TEST(FilePathTest, StripTrailingSeparators) {
  const UnaryCase cases[] = {
      {uR"(a\b\\)", uR"(a\b)"}, {uR"(a/b/)", uR"(a/b)"},
      {uR"(\\)", uR"(\\)"},     {uR"(\\\)", uR"(\)"},
      {uR"(\\\\)", uR"(\)"},    {uR"(\)", uR"(\)"},
      {uR"(C:\)", uR"(C:\)"},   {uR"(C:\\)", uR"(C:\\)"},
      {uR"(C:\\\)", uR"(C:\)"}, {uR"(C:\a\)", uR"(C:\a)"},
      {u"C:", u"C:"},           {u"", u""},
      {uR"(//)", uR"(//)"},     {uR"(\/\)", uR"(\)"},
  };
  for (const UnaryCase& c : cases) {
    EXPECT_EQ(c.expected, FilePath(c.input).StripTrailingSeparators().value())
        << FilePath(c.input);
  }
}

TEST(FilePathTest, DirName) {
  const UnaryCase cases[] = {
      {u"", u"."},
      {u"a", u"."},
      {u".", u"."},
      {u"..", u"."},
      {uR"(a\b)", u"a"},
      {uR"(a\b\)", u"a"},
      {uR"(a\b\\\)", u"a"},
      {uR"(a/b/c)", u"a/b"},
      {uR"(\a)", uR"(\)"},
      {uR"(\)", uR"(\)"},
      {uR"(\\)", uR"(\\)"},
      {uR"(\\server)", uR"(\\)"},
      {uR"(\\server\share)", uR"(\\server)"},
      {uR"(\\server\share\)", uR"(\\server)"},
      {u"C:", u"C:"},
      {u"C:a", u"C:"},
      {uR"(C:\)", uR"(C:\)"},
      {uR"(C:\a)", uR"(C:\)"},
      {uR"(C:\a\b)", uR"(C:\a)"},
      {uR"(C:\\a)", uR"(C:\\)"},
      {uR"(C:a\b)", u"C:a"},
      // Only ASCII letters make a drive.
      {u"\u00e9:a", u"."},
      {u"1:\\a", u"1:"},
  };
  for (const UnaryCase& c : cases)
    EXPECT_EQ(c.expected, FilePath(c.input).DirName().value())
        << FilePath(c.input);
}

TEST(FilePathTest, BaseName) {
  const UnaryCase cases[] = {
      {u"", u""},           {u"a", u"a"},
      {uR"(C:\a\b)", u"b"}, {uR"(a\b\)", u"b"},
      {uR"(a/b//)", u"b"},  {u"C:", u""},
      {u"C:a", u"a"},       {uR"(C:\)", uR"(\)"},
      {uR"(\\)", uR"(\\)"}, {uR"(\\server\share)", u"share"},
      {uR"(\a)", u"a"},     {u"..", u".."},
  };
  for (const UnaryCase& c : cases)
    EXPECT_EQ(c.expected, FilePath(c.input).BaseName().value())
        << FilePath(c.input);
}

TEST(FilePathTest, ExtensionAndRemoveExtension) {
  struct {
    const char16_t* input;
    const char16_t* extension;
    const char16_t* removed;
  } cases[] = {
      {u"a.txt", u".txt", u"a"},
      {u"a", u"", u"a"},
      {u"a.", u".", u"a"},
      {u"a.tar.gz", u".tar.gz", u"a"},
      {u"a.tar.GZ", u".tar.GZ", u"a"},
      {u"a.tar.Z", u".tar.Z", u"a"},
      {u"a.tar.bz2", u".tar.bz2", u"a"},
      {u"a.tar.bz", u".tar.bz", u"a"},
      {u"a.1234.gz", u".1234.gz", u"a"},
      {u"a.12345.gz", u".gz", u"a.12345"},
      {u"a..gz", u".gz", u"a."},
      {u"a.tar.zip", u".zip", u"a.tar"},
      {u"a.user.js", u".user.js", u"a"},
      {u"a.user.JS", u".user.JS", u"a"},
      {u"a.x.user.js", u".user.js", u"a.x"},
      {u".gz", u".gz", u""},
      {u".bashrc", u".bashrc", u""},
      {u"x.", u".", u"x"},
      {uR"(dir.tar\a.gz)", u".gz", uR"(dir.tar\a)"},
      {uR"(C:\d.e\f)", u"", uR"(C:\d.e\f)"},
      {uR"(C:\d\f.exe\)", u".exe", uR"(C:\d\f)"},
      {u".", u"", u"."},
      {u"..", u"", u".."},
      {uR"(C:\a\..)", u"", uR"(C:\a\..)"},
  };
  for (const auto& c : cases) {
    FilePath path(c.input);
    EXPECT_EQ(c.extension, path.Extension()) << FilePath(c.input);
    EXPECT_EQ(c.removed, path.RemoveExtension().value()) << FilePath(c.input);
  }
}

TEST(FilePathTest, InsertAddAndReplaceExtension) {
  EXPECT_EQ(u"a_1.tar.gz",
            FilePath(u"a.tar.gz").InsertBeforeExtension(u"_1").value());
  EXPECT_EQ(uR"(d\f (2).exe)",
            FilePath(uR"(d\f.exe)").InsertBeforeExtensionASCII(" (2)").value());
  EXPECT_EQ(u"a.tar.gz",
            FilePath(u"a.tar.gz").InsertBeforeExtension(u"").value());
  EXPECT_EQ(u"", FilePath(u"..").InsertBeforeExtension(u"_1").value());
  EXPECT_EQ(u"", FilePath(u"").InsertBeforeExtension(u"_1").value());

  struct {
    const char16_t* input;
    const char16_t* extension;
    const char16_t* added;
    const char16_t* replaced;
  } cases[] = {
      {u"a", u"txt", u"a.txt", u"a.txt"},
      {u"a", u".txt", u"a.txt", u"a.txt"},
      {u"a.", u"txt", u"a.txt", u"a.txt"},
      {u"a.", u".txt", u"a..txt", u"a.txt"},
      {u"a.tar.gz", u"zip", u"a.tar.gz.zip", u"a.zip"},
      {u"a.txt", u"", u"a.txt", u"a"},
      {u"a.txt", u".", u"a.txt", u"a"},
      {uR"(C:\a\..)", u"txt", u"", u""},
      {u".", u"txt", u"", u""},
      {u"", u"txt", u"", u""},
  };
  for (const auto& c : cases) {
    FilePath path(c.input);
    EXPECT_EQ(c.added, path.AddExtension(c.extension).value())
        << FilePath(c.input);
    EXPECT_EQ(c.replaced, path.ReplaceExtension(c.extension).value())
        << FilePath(c.input);
  }
}

TEST(FilePathTest, Append) {
  struct {
    const char16_t* base;
    const char16_t* component;
    const char16_t* expected;
  } cases[] = {
      {u"C:", u"a", u"C:a"},
      {uR"(C:\)", u"a", uR"(C:\a)"},
      {uR"(a\\)", u"b", uR"(a\b)"},
      {u"", u"b", u"b"},
      {uR"(\\)", u"x", uR"(\\x)"},
      {u".", u"x", u"x"},
      {u".", u"", u""},
      {uR"(a\)", u"", u"a"},
      {u"a", uR"(b\c)", uR"(a\b\c)"},
      {u"a/", u"b", uR"(a\b)"},
      // Not checked to be relative.
      {u"a", uR"(C:\b)", uR"(a\C:\b)"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.expected, FilePath(c.base).Append(c.component).value())
        << FilePath(c.base) << " + " << FilePath(c.component);
    EXPECT_EQ(c.expected,
              FilePath(c.base).AppendPath(FilePath(c.component)).value());
  }
  EXPECT_EQ(uR"(C:\x\y.txt)",
            FilePath(uR"(C:\x)").AppendASCII("y.txt").value());
  // Appending a view of the path itself.
  FilePath self(u"ab");
  EXPECT_EQ(uR"(ab\ab)", self.Append(self.value()).value());
}

TEST(FilePathTest, IsAbsolute) {
  struct {
    const char16_t* input;
    bool absolute;
  } cases[] = {
      {uR"(C:\)", true}, {uR"(C:\a)", true},  {u"C:/a", true},
      {u"C:", false},    {u"C:a", false},     {uR"(\a)", false},
      {uR"(\\)", true},  {uR"(\\s\x)", true}, {u"//s", true},
      {u"", false},      {u"a", false},       {u"\u00c4:\\a", false},
  };
  for (const auto& c : cases)
    EXPECT_EQ(c.absolute, FilePath(c.input).IsAbsolute()) << FilePath(c.input);
}

TEST(FilePathTest, GetComponents) {
  struct {
    const char16_t* input;
    Components expected;
  } cases[] = {
      {uR"(C:\a\b)", {u"C:", uR"(\)", u"a", u"b"}},
      {uR"(a\b)", {u"a", u"b"}},
      {uR"(\\server\share)", {uR"(\\)", u"server", u"share"}},
      {uR"(\\x)", {uR"(\\)", u"x"}},
      {u".", {}},
      {u"", {}},
      {u"C:", {u"C:"}},
      {u"C:a", {u"C:", u"a"}},
      {uR"(\a\)", {uR"(\)", u"a"}},
      {uR"(a\..\b)", {u"a", u"..", u"b"}},
  };
  for (const auto& c : cases) {
    Components components = {u"stale"};
    FilePath(c.input).GetComponents(&components);
    EXPECT_EQ(c.expected, components) << FilePath(c.input);
  }
  FilePath(u"a").GetComponents(nullptr);
}

TEST(FilePathTest, AppendRelativePath) {
  struct {
    const char16_t* parent;
    const char16_t* child;
    bool result;
    const char16_t* appended;
  } cases[] = {
      {uR"(C:\a)", uR"(c:\a\b\c)", true, uR"(b\c)"},
      {uR"(c:\a)", uR"(C:\a\b)", true, u"b"},
      {uR"(C:\a)", uR"(C:\a)", false, u""},
      {uR"(C:\a)", uR"(C:\ab)", false, u""},
      // Only the drive letter folds.
      {uR"(C:\A)", uR"(C:\a\b)", false, u""},
      {uR"(C:\a)", uR"(D:\a\b)", false, u""},
      {uR"(\\s\share)", uR"(\\s\share\x)", true, u"x"},
      {u"a", uR"(a\b)", true, u"b"},
      {u"", uR"(a\b)", false, u""},
      {uR"(C:\a\b)", uR"(C:\a)", false, u""},
  };
  for (const auto& c : cases) {
    FilePath out;
    EXPECT_EQ(c.result,
              FilePath(c.parent).AppendRelativePath(FilePath(c.child), &out))
        << FilePath(c.parent) << " over " << FilePath(c.child);
    EXPECT_EQ(c.appended, out.value());
    EXPECT_EQ(c.result, FilePath(c.parent).AppendRelativePath(FilePath(c.child),
                                                              nullptr));
  }
  // The output is extended, not replaced.
  FilePath out(uR"(D:\copy)");
  EXPECT_TRUE(
      FilePath(uR"(C:\a)").AppendRelativePath(FilePath(uR"(C:\a\b\c)"), &out));
  EXPECT_EQ(uR"(D:\copy\b\c)", out.value());
}

TEST(FilePathTest, ReferencesParent) {
  struct {
    const char16_t* input;
    bool references;
  } cases[] = {
      {u"..", true},         {uR"(a\..\b)", true},   {u"a/../b", true},
      {uR"(a\.. \b)", true}, {uR"(a\ ..\b)", true},  {uR"(a\...\b)", true},
      {uR"(a\..)", true},    {u"..\t", true},        {uR"(a\..b\c)", false},
      {uR"(a\b..c)", false}, {uR"(a\. .\b)", false}, {u".", false},
      {uR"(C:\a\b)", false}, {u"", false},
  };
  for (const auto& c : cases)
    EXPECT_EQ(c.references, FilePath(c.input).ReferencesParent())
        << FilePath(c.input);
}

TEST(FilePathTest, EqualityFoldsOnlyTheDriveLetter) {
  EXPECT_EQ(FilePath(uR"(c:\dir)"), FilePath(uR"(C:\dir)"));
  EXPECT_NE(FilePath(uR"(C:\Dir)"), FilePath(uR"(C:\dir)"));
  EXPECT_NE(FilePath(u"/a"), FilePath(uR"(\a)"));
  EXPECT_NE(FilePath(uR"(c:\x)"), FilePath(uR"(C:\x\)"));
  EXPECT_EQ(FilePath(u"c:"), FilePath(u"C:"));
  EXPECT_NE(FilePath(u"abc"), FilePath(u"ABC"));
  EXPECT_EQ(FilePath(), FilePath(u""));
  FilePath self(u"x");
  const FilePath& alias = self;
  self = alias;
  EXPECT_EQ(u"x", self.value());
}

TEST(FilePathTest, CompareIgnoreCase) {
  struct {
    const char16_t* a;
    const char16_t* b;
    int expected;
  } cases[] = {
      {u"abc", u"ABD", -1}, {u"ABC", u"abc", 0},
      {u"ab", u"abc", -1},  {u"abc", u"ab", 1},
      {u"", u"a", -1},      {u"", u"", 0},
      {u"b", u"A", 1},      {uR"(C:\X)", uR"(c:\x)", 0},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.expected, FilePath::CompareIgnoreCase(c.a, c.b))
        << FilePath(c.a) << " vs " << FilePath(c.b);
  }
}

TEST(FilePathTest, AsciiAndUtf8Forms) {
  EXPECT_EQ("C:\\a.txt", FilePath(uR"(C:\a.txt)").MaybeAsASCII());
  EXPECT_EQ("", FilePath(u"C:\\\u00e9").MaybeAsASCII());
  EXPECT_EQ("C:\\\xc3\xa9", FilePath(u"C:\\\u00e9").AsUTF8());
  std::ostringstream out;
  out << FilePath(u"\u00e9");
  EXPECT_EQ("\xc3\xa9", out.str());
}

TEST(FilePathTest, NormalizePathSeparators) {
  EXPECT_EQ(uR"(a\b\\c)",
            FilePath(uR"(a/b\/c)").NormalizePathSeparators().value());
  EXPECT_EQ(u"a/b//c",
            FilePath(uR"(a/b\/c)").NormalizePathSeparatorsTo(u'/').value());
}

// Every text over a small alphabet that holds all the special units: the
// operations must end, keep their basic promises and never grow a path
// where they should shrink it.
TEST(FilePathTest, ExhaustiveShortTextsKeepInvariants) {
  const char16_t alphabet[] = {u'a', u'.', u'\\', u'/', u':', u'C', u' '};
  const size_t kAlphabet = sizeof(alphabet) / sizeof(alphabet[0]);
  std::vector<size_t> digits;
  for (size_t length = 0; length <= 5; ++length) {
    digits.assign(length, 0);
    while (true) {
      StringType text;
      for (size_t d : digits) text.push_back(alphabet[d]);
      FilePath path(text);
      FilePath dir = path.DirName();
      EXPECT_LE(dir.value().size(), std::max<size_t>(text.size(), 1))
          << FilePath(text);
      // Walking up reaches a fixed point, one component at a time.
      size_t steps = 0;
      for (FilePath up = path; up != up.DirName(); up = up.DirName()) {
        ASSERT_LE(++steps, text.size() + 1) << FilePath(text);
      }
      FilePath base = path.BaseName();
      EXPECT_LE(base.value().size(), text.size()) << FilePath(text);
      Components components;
      path.GetComponents(&components);
      EXPECT_LE(components.size(), text.size() + 1) << FilePath(text);
      if (!path.empty()) {
        EXPECT_FALSE(path.StripTrailingSeparators().empty());
      }
      path.ReferencesParent();
      path.RemoveExtension();
      path.ReplaceExtension(u"x");

      size_t i = 0;
      while (i < length && ++digits[i] == kAlphabet) digits[i++] = 0;
      if (i == length) break;
    }
  }
}

}  // namespace
}  // namespace base
