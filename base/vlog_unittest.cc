#include "base/vlog.h"

#include "gtest/gtest.h"

namespace logging {
namespace {

TEST(VlogTest, MatchVlogPattern) {
  struct {
    const char* pattern;
    const char* text;
    bool matches;
  } cases[] = {
      {"installer", "installer", true},
      {"installer", "installer2", false},
      {"installer", "installe", false},
      {"inst*", "installer", true},
      {"*ller", "installer", true},
      {"*ll*r", "installer", true},
      {"*a*b", "xaxb", true},
      {"*a*b", "xaxbc", false},
      {"i?stal?er", "installer", true},
      {"?", "", false},
      {"a?c", "ac", false},
      {"", "", true},
      {"", "a", false},
      // A trailing star matches the text before it, even nothing more.
      {"a*", "a", true},
      {"*", "", true},
      {"**", "abc", true},
      // A leading star followed by more never matches an empty text.
      {"*x", "", false},
      {"*/ui/*", R"(src\ui\dialog.cc)", true},
      {R"(*\ui\*)", "src/ui/dialog.cc", true},
      {"*/ui/*", "src/uix/dialog.cc", false},
      {"a/b", R"(a\b)", true},
      {"a?b", R"(a\b)", true},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.matches, MatchVlogPattern(c.text, c.pattern))
        << c.pattern << " vs " << c.text;
  }
}

TEST(VlogTest, ModuleNamesAndFullPaths) {
  int min_log_level = 0;
  VlogInfo info("", "installer=2,*/ui/*=1", &min_log_level);
  struct {
    const char* file;
    int level;
  } cases[] = {
      {R"(C:\src\installer.cc)", 2},
      {"desktop/windows/installer-inl.h", 2},
      {"installer", 2},
      {"installer.test.cc", 0},
      {"src/installer_win.cc", 0},
      {R"(desktop\windows\ui\window.cc)", 1},
      {"desktop/windows/ui/window.cc", 1},
      {"ui.cc", 0},
  };
  for (const auto& c : cases)
    EXPECT_EQ(c.level, info.GetVlogLevel(c.file)) << c.file;
}

TEST(VlogTest, FirstMatchingPatternWins) {
  int min_log_level = 0;
  VlogInfo info("", "inst*=1,installer=3", &min_log_level);
  EXPECT_EQ(1, info.GetVlogLevel("installer.cc"));
}

TEST(VlogTest, GlobalLevelFromTheVSwitch) {
  struct {
    const char* v;
    int min_after;
  } cases[] = {
      {"2", -2}, {"0", 0}, {"abc", 1}, {"", 1}, {" 3", 1}, {"4x", 1},
  };
  for (const auto& c : cases) {
    int min_log_level = 1;
    VlogInfo info(c.v, "", &min_log_level);
    EXPECT_EQ(c.min_after, min_log_level) << c.v;
    // An unmatched file takes minus the minimum level, unclamped.
    EXPECT_EQ(-c.min_after, info.GetVlogLevel("x.cc")) << c.v;
  }
}

TEST(VlogTest, LevelsKeepWhatTheParserRead) {
  int min_log_level = 0;
  VlogInfo info("", "a=3x,b=,c=-1, d = 2 ", &min_log_level);
  EXPECT_EQ(3, info.GetVlogLevel("a.cc"));
  EXPECT_EQ(0, info.GetVlogLevel("b.cc"));
  EXPECT_EQ(-1, info.GetVlogLevel("c.cc"));
  // Key and value are not trimmed: the pattern is "d " and the value " 2".
  EXPECT_EQ(0, info.GetVlogLevel("d.cc"));
  EXPECT_EQ(2, info.GetVlogLevel("d .cc"));
}

TEST(VlogTest, TableFollowsLaterMinimumLevelChanges) {
  int min_log_level = 0;
  VlogInfo info("", "a=3", &min_log_level);
  min_log_level = -5;
  EXPECT_EQ(5, info.GetVlogLevel("other.cc"));
  EXPECT_EQ(3, info.GetVlogLevel("a.cc"));
}

}  // namespace
}  // namespace logging
