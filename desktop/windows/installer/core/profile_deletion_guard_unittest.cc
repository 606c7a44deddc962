#include "desktop/windows/installer/core/profile_deletion_guard.h"

#include <string>

#include "base/files/file_path.h"
#include "gtest/gtest.h"

namespace installer {
namespace {

TEST(ProfileDeletionGuardTest, OnlyAProfileBelowEveryKnownFolder) {
  ProfileDeletionFacts facts;
  facts.has_installer_prefs = true;
  facts.holds_profile_files = true;
  facts.protected_folders = {base::FilePath(u"C:\\users\\me"),
                             base::FilePath(u"C:\\users\\me\\AppData\\Roaming"),
                             base::FilePath(u"C:\\users\\me\\AppData\\Local"),
                             base::FilePath(u"C:\\Program Files\\Velna")};
  const struct {
    const char16_t* folder;
    const char* refusal;  // a part of the reason; "" when allowed
  } cases[] = {
      {u"C:\\users\\me\\AppData\\Roaming\\Velna Software\\Velna beta", ""},
      {u"D:\\profiles\\me", ""},
      {u"\\\\?\\D:\\profiles\\me", ""},
      {u"D:/profiles/./me/", ""},
      {u"C:\\users\\me\\AppData\\Roaming", "is or holds"},
      {u"c:\\USERS\\me\\appdata\\roaming\\", "is or holds"},
      {u"C:\\users\\me\\AppData", "is or holds"},
      {u"C:\\users", "is or holds"},
      {u"C:\\Program Files\\Velna", "is or holds"},
      {u"C:\\Program Files", "is or holds"},
      {u"X:\\", "below its volume root"},
      {u"X:", "not absolute"},
      // Other spellings of the protected folders.
      {u"\\\\?\\C:\\users\\me", "is or holds"},
      {u"\\\\?\\c:\\program files", "is or holds"},
      {u"//?/C:/users/me/AppData", "is or holds"},
      {u"C:\\users\\.\\me", "is or holds"},
      {u"C:/Program Files/Velna/", "is or holds"},
      {u"\\\\?\\X:\\", "below its volume root"},
      // Device and network spellings, whatever they name.
      {u"\\\\?\\UNC\\localhost\\C$\\users\\me", "device or network"},
      {u"\\\\localhost\\C$\\users\\me\\AppData\\Roaming\\Velna",
       "device or network"},
      {u"\\\\server\\share\\me", "device or network"},
      {u"\\\\server\\share", "device or network"},
      {u"\\\\.\\C:\\users\\me", "device or network"},
      {u"\\??\\C:\\users\\me", "device or network"},
      {u"\\\\?\\GLOBALROOT\\Device\\HarddiskVolume1\\users\\me",
       "device or network"},
      {u"\\\\?\\Volume{0b1c}\\users\\me", "device or network"},
      // Names the system would trim, or read as a stream.
      {u"C:\\users\\me.", "plain spelling"},
      {u"C:\\users\\me \\AppData", "plain spelling"},
      {u"C:\\users\\me::$INDEX_ALLOCATION", "plain spelling"},
      {u"me", "not absolute"},
      {u".", "not absolute"},
      {u"", "not absolute"},
      {u"C:\\users\\me\\..\\..\\x", "references a parent"},
  };
  for (const auto& c : cases) {
    const base::FilePath folder(c.folder);
    const std::string refusal = CheckProfileDeletion(folder, facts);
    if (*c.refusal == '\0') {
      EXPECT_EQ("", refusal) << folder;
    } else {
      EXPECT_NE(std::string::npos, refusal.find(c.refusal))
          << folder << ": " << refusal;
    }
  }
  const base::FilePath profile(u"D:\\profiles\\me");
  ProfileDeletionFacts without = facts;
  without.holds_profile_files = false;
  EXPECT_NE("", CheckProfileDeletion(profile, without));
  without = facts;
  without.has_installer_prefs = false;
  EXPECT_NE("", CheckProfileDeletion(profile, without));
}

TEST(ProfileDeletionGuardTest, AncestorsAndInsideIgnoreCase) {
  const base::FilePath local(u"C:\\Users\\me\\AppData\\Local");
  EXPECT_TRUE(IsStrictlyInside(
      base::FilePath(u"c:\\users\\ME\\appdata\\local\\v"), local));
  EXPECT_FALSE(IsStrictlyInside(local, local));
  EXPECT_FALSE(IsStrictlyInside(
      base::FilePath(u"C:\\Users\\me\\AppData\\Local2"), local));
  EXPECT_TRUE(IsSameOrAncestor(base::FilePath(u"C:\\Users"), local));
  EXPECT_TRUE(IsSameOrAncestor(local, local));
  EXPECT_TRUE(IsSameOrAncestor(base::FilePath(u"\\\\?\\C:\\Users"), local));
  EXPECT_TRUE(IsStrictlyInside(
      base::FilePath(u"\\\\?\\C:\\Users\\me\\AppData\\Local\\v"), local));
  EXPECT_FALSE(IsSameOrAncestor(base::FilePath(), local));
  EXPECT_FALSE(IsSameOrAncestor(local.Append(u"x"), local));
}

}  // namespace
}  // namespace installer
