#include "desktop/windows/installer/service/name_utils.h"

#include <string>

#include "base/strings/utf_string_conversions.h"
#include "gtest/gtest.h"

namespace installer {
namespace {

TEST(IsValidFileNameTest, PathsTypedByTheUser) {
  const std::u16string long_path = u"C:\\" + std::u16string(256, u'a');
  ASSERT_EQ(259u, long_path.size());
  struct Case {
    std::u16string path;
    bool for_folder;
    bool valid;
  } cases[] = {
      {u"C:", true, true},
      {u"z:", true, true},
      {u"1:\\Velna", true, false},
      {std::u16string(u"\0:\\Velna", 8), true, false},
      {u"C:\\Program Files\\Velna", true, true},
      {u"C:/Program Files/Velna/", true, true},
      {u"C:\\a\\\\b", true, true},
      {u"relative\\folder", true, true},
      {u"", true, false},
      {u"C:\\NUL.txt", false, false},
      {u"C:\\x\\com1", true, false},
      {u"C:\\x\\Lpt3.log\\y", true, false},
      {u"C:\\x\\COM5", true, true},
      {u"C:\\x\\console", true, true},
      {u"C:\\x\\nul\x01", true, false},
      {u"C:\\x\\dot.", true, false},
      {u"C:\\x\\space \\y", true, false},
      {u"C:\\x\\ lead", true, false},
      {u"C:\\x\\..\\y", true, false},
      {u"C:\\x\\a:b", true, false},
      {u"C:\\x\\what?", true, false},
      {u"C:\\x\\a|b", true, false},
      {u"C:\\x\\a<b>", true, false},
      {u"C:\\x\\a\"b", true, false},
      {u"C:\\x\\a*", true, false},
      {u"C:\\x\\tab\t", true, false},
      {std::u16string(u"C:\\x\\nul\0byte", 13), true, false},
      {u"\\\\server", true, false},
      {u"\\\\server\\share", true, false},
      {u"\\\\server\\share\\", true, true},
      {u"//server/share/Velna", true, true},
      {u"\\\\server\\share\\bad?", true, false},
      {u"\\\\server\\sh?re\\Velna", true, false},
      {u"\\\\?\\C:\\Velna", true, false},
      {u"\\\\.\\PhysicalDrive0\\x", true, false},
      {std::u16string(u"\\\\server\\sh\0re\\Velna", 20), true, false},
      {long_path, false, true},
      {long_path, true, false},
      {long_path + u"a", false, false},
      {u"C:\\" + std::u16string(244, u'a'), true, true},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.valid, IsValidFileName(c.path, c.for_folder))
        << base::UTF16ToUTF8(c.path) << (c.for_folder ? " (folder)" : "");
  }
}

// The log says which rule a refused path breaks.
TEST(IsValidFileNameTest, TheProblemIsNamed) {
  const struct {
    std::u16string path;
    const char* problem;
  } cases[] = {
      {u"C:\\Program Files\\Velna", ""},
      {u"\\\\server\\share\\Velna", ""},
      {u"", "the path is empty"},
      {u"C:\\" + std::u16string(266, u'a'),
       "the path is longer than 247 characters"},
      {u"\\\\?\\C:\\Velna", "it starts with two backslashes"},
      {u"\\\\.\\C:\\Velna", "it starts with two backslashes"},
      {u"C:\\Velna.", "a name ends with a space or a dot"},
      {u"C:\\Velna \\x", "a name ends with a space or a dot"},
      {u"C:\\ Velna", "a name starts with a space"},
      {u"C:\\a<b", "a name holds the character <"},
      {u"C:\\a|b", "a name holds the character |"},
      {u"C:\\Quote Test\" --silent", "a name holds the character \""},
      {u"C:\\a\tb", "a name holds a control character"},
      {u"C:\\x\\aux.txt", "a name is a reserved device name"},
  };
  for (const auto& c : cases) {
    const std::string problem = FindFileNameProblem(c.path, true);
    EXPECT_EQ(0u, problem.find(c.problem)) << base::UTF16ToUTF8(c.path);
    EXPECT_EQ(problem.empty(), IsValidFileName(c.path, true));
  }
}

TEST(MakeKernelObjectNameTest, SeparatorsAndScope) {
  EXPECT_EQ(u"Global\\C:/Velna/Installer",
            MakeKernelObjectName(u"Installer", u"C:\\Velna", true));
  EXPECT_EQ(u"Local\\C:/Program Files/Velna/PackageReady",
            MakeKernelObjectName(u"PackageReady", u"C:\\Program Files\\Velna",
                                 false));
  EXPECT_EQ(u"Local\\a/b/c/d", MakeKernelObjectName(u"c\\d", u"a/b", false));
}

}  // namespace
}  // namespace installer
