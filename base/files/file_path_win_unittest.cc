#include "base/files/file_path.h"
#include "gtest/gtest.h"

namespace base {
namespace {

// The system's upper-casing folds letters beyond ASCII too.
TEST(FilePathWinTest, CompareIgnoreCaseFoldsNonAsciiLetters) {
  EXPECT_EQ(0, FilePath::CompareIgnoreCase(u"C:\\\u00e9t\u00e9",
                                           u"c:\\\u00c9T\u00c9"));
  EXPECT_EQ(0, FilePath::CompareIgnoreCase(u"\u0444\u0430\u0439\u043b",
                                           u"\u0424\u0410\u0419\u041b"));
  EXPECT_EQ(-1, FilePath::CompareIgnoreCase(u"\u00e9", u"\u00ea"));
  // Units compare as unsigned 16-bit values after folding.
  EXPECT_EQ(1, FilePath::CompareIgnoreCase(u"\u00e9", u"Z"));
}

}  // namespace
}  // namespace base
