#include "desktop/windows/installer/service/folder_security_win.h"

#include <windows.h>

#include <string>

#include "base/files/file_attributes_win.h"
#include "base/files/file_util.h"
#include "base/test/scoped_temp_dir.h"
#include "gtest/gtest.h"

namespace installer {
namespace {

constexpr char16_t kTrustedInstaller[] =
    u"S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464";

TEST(FolderSecurityTest, WhoMayChangeAFolder) {
  const std::u16string installer = kTrustedInstaller;
  const struct {
    const char* name;
    std::u16string descriptor;
    bool others_may_change;
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
      {"owned by a user", u"O:S-1-5-21-1-2-3-1001D:P(A;;FA;;;BA)", true},
      {"a user may change its access list",
       u"O:BAD:(A;;FA;;;BA)(A;;0x40000;;;S-1-5-21-1-2-3-1001)", true},
      {"everyone reads and runs", u"O:SYD:P(A;OICI;FA;;;SY)(A;OICI;FRFX;;;WD)",
       false},
      {"a user is refused", u"O:BAD:P(A;;FA;;;BA)(D;;FA;;;S-1-5-21-1-2-3-1001)",
       false},
      {"an unreadable descriptor", u"not a descriptor", true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(c.others_may_change, LetsOthersChange(c.descriptor));
  }
}

// The test system makes the lists up, but reads, writes and creation take
// their real course; a folder that is a reparse point is neither read nor
// changed.
TEST(FolderSecurityTest, TheRealListsAreReachedOnlyWithoutLinks) {
  base::ScopedTempDir temp;
  ASSERT_TRUE(temp.CreateUniqueTempDir());
  FolderSecurity* security = internal::GetRealFolderSecurity();
  const base::FilePath folder = temp.GetPath().Append(u"made");
  EXPECT_TRUE(security->Create(folder, kProtectedFolderSecurity));
  EXPECT_TRUE(base::DirectoryExists(folder));
  EXPECT_FALSE(security->Create(folder, kProtectedFolderSecurity));
  EXPECT_FALSE(security->Read(folder).empty());
  EXPECT_TRUE(security->Write(folder, kProtectedFolderSecurity));
  EXPECT_FALSE(security->Write(folder, u"not a descriptor"));

  base::internal::SetWalkAttributesHookForTesting(
      [](const base::FilePath& path, uint32_t attributes) -> uint32_t {
        return path.BaseName().value() == u"made"
                   ? attributes | FILE_ATTRIBUTE_REPARSE_POINT
                   : attributes;
      });
  EXPECT_TRUE(security->Read(folder).empty());
  EXPECT_FALSE(security->Write(folder, kProtectedFolderSecurity));
  base::internal::SetWalkAttributesHookForTesting(nullptr);
}

}  // namespace
}  // namespace installer
