#include "base/files/system_path_win.h"

#include <iterator>
#include <string>

#include "gtest/gtest.h"

namespace base {
namespace {

// |head| followed by "\" and name characters up to |length| units.
std::u16string OfLength(const std::u16string& head, size_t length) {
  return head + u"\\" + std::u16string(length - head.size() - 1, u'n');
}

TEST(SystemPathTest, LongPathsTakeTheirLongForm) {
  const std::u16string drive_259 = OfLength(u"C:\\dir", 259);
  const std::u16string drive_260 = OfLength(u"C:\\dir", 260);
  const std::u16string share_300 = OfLength(u"\\\\server\\share\\dir", 300);
  const std::u16string tail(270, u'n');
  const std::u16string long_tail = u"\\\\?\\C:\\" + tail;
  const struct {
    std::u16string path;
    size_t limit;
    std::u16string expected;
  } cases[] = {
      // Short paths stay plain, whatever they hold; the limit counts the
      // terminator.
      {u"C:\\dir\\file", kPlainPathLimit, u"C:\\dir\\file"},
      {u"C:\\dir\\..\\file", kPlainPathLimit, u"C:\\dir\\..\\file"},
      {drive_259, kPlainPathLimit, drive_259},
      {drive_260, kPlainPathLimit, u"\\\\?\\" + drive_260},
      {u"d:\\" + tail, kPlainPathLimit, u"\\\\?\\d:\\" + tail},
      {share_300, kPlainPathLimit, u"\\\\?\\UNC\\" + share_300.substr(2)},
      // CreateDirectoryW's limit leaves room for an 8.3 name.
      {OfLength(u"C:\\dir", 247), kPlainNewFolderLimit,
       OfLength(u"C:\\dir", 247)},
      {OfLength(u"C:\\dir", 248), kPlainNewFolderLimit,
       u"\\\\?\\" + OfLength(u"C:\\dir", 248)},
      // Relative to the current folder, drive or root: no long form.
      {tail, kPlainPathLimit, tail},
      {u"dir\\" + tail, kPlainPathLimit, u"dir\\" + tail},
      {u"..\\" + tail, kPlainPathLimit, u"..\\" + tail},
      {u"C:" + tail, kPlainPathLimit, u"C:" + tail},
      {u"\\" + tail, kPlainPathLimit, u"\\" + tail},
      // The clean-up the prefix turns off is done first.
      {u"C:/" + tail, kPlainPathLimit, long_tail},
      {u"C:\\dir/../" + tail, kPlainPathLimit, long_tail},
      {u"C:\\.\\" + tail + u"\\.", kPlainPathLimit, long_tail},
      {u"C:\\a\\b\\..\\..\\" + tail, kPlainPathLimit, long_tail},
      {u"C:\\..\\..\\" + tail, kPlainPathLimit, long_tail},
      {u"C:\\\\" + tail + u"\\\\", kPlainPathLimit, long_tail},
      {u"C:\\" + tail + u"\\x\\..", kPlainPathLimit, long_tail},
      {u"\\\\server\\share\\..\\" + tail, kPlainPathLimit,
       u"\\\\?\\UNC\\server\\share\\" + tail},
      {u"\\\\server/share/x/" + tail, kPlainPathLimit,
       u"\\\\?\\UNC\\server\\share\\x\\" + tail},
      // Resolved to the root of the drive.
      {u"C:\\" + tail + u"\\..", kPlainPathLimit, u"\\\\?\\C:\\"},
      // Names the plain spelling trims.
      {u"C:\\dir.\\" + tail, kPlainPathLimit, u"C:\\dir.\\" + tail},
      {u"C:\\" + tail + u" ", kPlainPathLimit, u"C:\\" + tail + u" "},
      {u"C:\\...\\" + tail, kPlainPathLimit, u"C:\\...\\" + tail},
      // A server without a share; spellings for the system already.
      {u"\\\\" + tail, kPlainPathLimit, u"\\\\" + tail},
      {u"\\\\\\server\\share\\" + tail, kPlainPathLimit,
       u"\\\\\\server\\share\\" + tail},
      {long_tail, kPlainPathLimit, long_tail},
      {u"\\\\?\\C:\\dir\\..\\" + tail, kPlainPathLimit,
       u"\\\\?\\C:\\dir\\..\\" + tail},
      {u"\\\\?\\UNC\\server\\share\\" + tail, kPlainPathLimit,
       u"\\\\?\\UNC\\server\\share\\" + tail},
      {u"\\\\.\\pipe\\" + tail, kPlainPathLimit, u"\\\\.\\pipe\\" + tail},
  };
  for (size_t i = 0; i < std::size(cases); ++i) {
    SCOPED_TRACE(i);
    const auto& c = cases[i];
    EXPECT_EQ(c.expected, ToSystemPath(c.path, c.limit));
    EXPECT_EQ(c.expected, ToSystemPath(FilePath(c.path), c.limit));
    const SystemPathArg arg(FilePath(c.path), c.limit);
    EXPECT_EQ(c.expected,
              std::u16string(as_u16cstr(static_cast<const wchar_t*>(arg))));
  }
}

TEST(SystemPathTest, TheLongFormDoesNotDependOnLength) {
  const struct {
    std::u16string path;
    const char16_t* expected;  // Null: none.
  } cases[] = {
      {u"C:\\a", u"\\\\?\\C:\\a"},
      {u"C:\\", u"\\\\?\\C:\\"},
      {u"c:/a/./b/", u"\\\\?\\c:\\a\\b"},
      {u"C:\\a\\..", u"\\\\?\\C:\\"},
      {u"\\\\server\\share", u"\\\\?\\UNC\\server\\share"},
      {u"\\\\server\\share\\a b\\c.d", u"\\\\?\\UNC\\server\\share\\a b\\c.d"},
      {u"\\\\server\\share\\a\\..\\..", u"\\\\?\\UNC\\server\\share"},
      {u"\\\\server", nullptr},
      {u"\\\\server\\", nullptr},
      {u"1:\\a", nullptr},
      {u"C:a", nullptr},
      {u"C:", nullptr},
      {u"", nullptr},
      {u"C:\\a.", nullptr},
      {u"\\\\server\\share.\\a", nullptr},
      {u"\\\\?\\C:\\a", nullptr},
      {u"\\\\.\\C:\\a", nullptr},
  };
  for (size_t i = 0; i < std::size(cases); ++i) {
    SCOPED_TRACE(i);
    const auto& c = cases[i];
    std::u16string long_form = u"untouched";
    EXPECT_EQ(c.expected != nullptr, GetSystemLongForm(c.path, &long_form));
    EXPECT_EQ(c.expected ? c.expected : u"untouched", long_form);
    EXPECT_EQ(c.expected != nullptr, HasSystemLongForm(c.path));
  }
  EXPECT_TRUE(IsSystemLongForm(u"\\\\?\\C:\\a"));
  EXPECT_TRUE(IsSystemLongForm(u"\\\\?\\UNC\\s\\h"));
  EXPECT_FALSE(IsSystemLongForm(u"\\\\.\\C:\\a"));
  EXPECT_FALSE(IsSystemLongForm(u"C:\\a"));
}

}  // namespace
}  // namespace base
