#include "desktop/windows/installer/service/folder_security_win.h"

#include <windows.h>

#include <string>

#include "base/files/file_attributes_win.h"
#include "base/files/file_util.h"
#include "base/test/scoped_temp_dir.h"
#include "desktop/windows/installer/service/test/recorded_folder_security_win.h"
#include "gtest/gtest.h"

namespace installer {
namespace {

constexpr char16_t kTrustedInstaller[] =
    u"S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464";

TEST(FolderSecurityTest, WhoMayChangeAFolder) {
  const std::u16string installer = kTrustedInstaller;
  // The second answer counts this user with the trusted accounts, as a
  // program started for the desktop's user does.
  const std::u16string user = u"S-1-5-21-1-2-3-1001";
  const struct {
    const char* name;
    std::u16string descriptor;
    bool others_may_change;
    bool others_than_user = others_may_change;
  } cases[] = {
      {"the protected list", kProtectedFolderSecurity, false},
      // Program Files itself: the installer service owns it; the creator of
      // a file has full control over it, but only administrators create.
      {"Program Files",
       u"O:" + installer + u"D:PAI(A;;FA;;;" + installer + u")(A;CIIO;GA;;;" +
           installer +
           u")(A;;0x1301bf;;;SY)(A;OICIIO;GA;;;SY)(A;;0x1301bf;;;BA)"
           u"(A;OICIIO;GA;;;BA)(A;;0x1200a9;;;BU)(A;OICIIO;GXGR;;;BU)"
           u"(A;OICIIO;GA;;;CO)",
       false},
      // A folder below a drive root inherits "Authenticated Users: Modify".
      {"below a drive root",
       u"O:BAD:AI(A;OICIID;FA;;;BA)(A;OICIID;FA;;;SY)(A;OICIID;0x1200a9;;;BU)"
       u"(A;ID;0x1301bf;;;AU)(A;OICIIOID;SDGXGWGR;;;AU)",
       true},
      {"only creating subfolders", u"O:BAD:(A;;FA;;;BA)(A;;0x4;;;BU)", true},
      {"owned by a user", u"O:S-1-5-21-1-2-3-1001D:P(A;;FA;;;BA)", true, false},
      {"owned by another user", u"O:S-1-5-21-1-2-3-1002D:P(A;;FA;;;BA)", true},
      {"a user may change its access list",
       u"O:BAD:(A;;FA;;;BA)(A;;0x40000;;;S-1-5-21-1-2-3-1001)", true, false},
      {"everyone reads and runs", u"O:SYD:P(A;OICI;FA;;;SY)(A;OICI;FRFX;;;WD)",
       false},
      {"a user is refused", u"O:BAD:P(A;;FA;;;BA)(D;;FA;;;S-1-5-21-1-2-3-1001)",
       false},
      {"an unreadable descriptor", u"not a descriptor", true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(c.others_may_change, LetsOthersChange(c.descriptor));
    EXPECT_EQ(c.others_than_user, LetsOthersThanUserChange(c.descriptor, user));
  }
}

// Who may move an install folder away through a folder above it: each
// existing level up to the root is looked at, through the lists recorded
// for it, the nearest that lets another account do so named.
TEST(FolderSecurityTest, WhoMayMoveAFolderAway) {
  base::ScopedTempDir temp;
  ASSERT_TRUE(temp.CreateUniqueTempDir());
  const base::FilePath record = temp.GetPath().Append(u"record");
  const base::FilePath top = temp.GetPath().Append(u"top");
  const base::FilePath middle = top.Append(u"middle");
  // Not made: it will be made protected.
  const base::FilePath folder = middle.Append(u"missing\\install");
  ASSERT_TRUE(base::FileUtil::CreateDirectory(middle));
  const std::u16string user = u"S-1-5-21-1-2-3-1001";
  // Whatever the system makes up for the levels above the test's folder,
  // a drive root as Windows sets it up: users may create folders in it,
  // and what they create is theirs.
  const std::u16string drive_root =
      u"O:S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464"
      u"D:PAI(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)(A;OICI;0x1200a9;;;BU)"
      u"(A;CI;LC;;;AU)(A;OICIIO;SDGXGWGR;;;AU)";
  const std::u16string guarded = kProtectedFolderSecurity;
  const struct {
    const char* name;
    std::u16string top;
    std::u16string middle;
    base::FilePath movable;
  } cases[] = {
      {"protected levels", guarded, guarded, {}},
      {"a drive root's list above", drive_root, guarded, {}},
      // Made by an administrator below such a root: it inherits delete.
      {"below a drive root", guarded,
       u"O:BAD:AI(A;OICIID;FA;;;BA)(A;OICIID;FA;;;SY)(A;ID;0x1301bf;;;AU)",
       middle},
      {"a user owns it", guarded, u"O:" + user + u"D:P(A;OICI;FA;;;BA)",
       middle},
      {"a user may delete what it holds", guarded,
       u"O:BAD:P(A;OICI;FA;;;BA)(A;;0x40;;;" + user + u")", middle},
      {"a user may change its list", guarded,
       u"O:BAD:P(A;OICI;FA;;;BA)(A;;WD;;;" + user + u")", middle},
      {"only what it holds may be deleted by users",
       guarded,
       u"O:BAD:P(A;OICI;FA;;;BA)(A;OICIIO;SD;;;" + user + u")",
       {}},
      {"the list above may not be read", u"not a descriptor", guarded, top},
  };
  test::RecordedFolderSecurity security(record);
  internal::SetFolderSecurityForTesting(&security);
  // The levels above the test's folder are the system's.
  for (base::FilePath level = temp.GetPath(); level.DirName() != level;
       level = level.DirName()) {
    ASSERT_TRUE(security.Write(level, guarded));
  }
  base::FilePath root = temp.GetPath();
  while (root.DirName() != root) root = root.DirName();
  ASSERT_TRUE(security.Write(root, drive_root));
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_TRUE(security.Write(top, c.top));
    ASSERT_TRUE(security.Write(middle, c.middle));
    EXPECT_EQ(c.movable, FindParentOthersMayMove(folder));
    // Up to a folder that is not judged.
    EXPECT_EQ(c.movable == top ? base::FilePath() : c.movable,
              FindParentOthersMayMove(folder, top));
  }
  internal::SetFolderSecurityForTesting(nullptr);
}

// The test system makes the lists up, but reads and creation take their
// real course; a folder that is a reparse point is not read.
TEST(FolderSecurityTest, TheRealListsAreReachedOnlyWithoutLinks) {
  base::ScopedTempDir temp;
  ASSERT_TRUE(temp.CreateUniqueTempDir());
  FolderSecurity* security = internal::GetRealFolderSecurity();
  const base::FilePath folder = temp.GetPath().Append(u"made");
  EXPECT_TRUE(security->Create(folder, kProtectedFolderSecurity));
  EXPECT_TRUE(base::DirectoryExists(folder));
  EXPECT_FALSE(security->Create(folder, kProtectedFolderSecurity));
  EXPECT_FALSE(security->Read(folder).empty());

  base::internal::SetWalkAttributesHookForTesting(
      [](const base::FilePath& path, uint32_t attributes) -> uint32_t {
        return path.BaseName().value() == u"made"
                   ? attributes | FILE_ATTRIBUTE_REPARSE_POINT
                   : attributes;
      });
  EXPECT_TRUE(security->Read(folder).empty());
  base::internal::SetWalkAttributesHookForTesting(nullptr);
}

}  // namespace
}  // namespace installer
