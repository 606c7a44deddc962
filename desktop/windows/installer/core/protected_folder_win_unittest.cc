#include "desktop/windows/installer/core/protected_folder_win.h"

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "base/files/file_attributes_win.h"
#include "base/files/file_util.h"
#include "base/strings/string_number_conversions.h"
#include "base/strings/string_util_win.h"
#include "base/test/child_process_win.h"
#include "base/test/scoped_temp_dir.h"
#include "base/win/scoped_handle.h"
#include "desktop/windows/installer/core/folder_permission_win.h"
#include "desktop/windows/installer/core/protected_package_win.h"
#include "desktop/windows/installer/service/folder_security_win.h"
#include "desktop/windows/installer/service/test/machine_state_snapshot.h"
#include "desktop/windows/installer/service/test/recorded_folder_security_win.h"
#include "desktop/windows/installer/test/installation_test_util.h"
#include "gtest/gtest.h"

namespace installer {
namespace {

// A user's folder (the package) and a protected root of the test's own,
// with the access lists the installer gives folders recorded.
class ProtectedFolderTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir_.CreateUniqueTempDir());
    source_ = dir().Append(u"package");
    root_ = dir().Append(u"protected");
    record_ = dir().Append(u"security.txt");
    ASSERT_TRUE(base::FileUtil::CreateDirectory(root_));
    security_ = std::make_unique<test::RecordedFolderSecurity>(record_);
    internal::SetFolderSecurityForTesting(security_.get());
    internal::SetProtectedFolderRootForTesting(root_);
    for (const char16_t* name :
         {u"installer.exe", u"files_list", u"a\\b\\deep.dll",
          u"\u00e5rsak \u4e2d.pak", u"empty\\"}) {
      const base::FilePath path = source_.Append(name);
      if (path.value().back() == u'\\') {
        ASSERT_TRUE(base::FileUtil::CreateDirectory(path));
      } else {
        ASSERT_TRUE(test::WriteTextFile(path, path.BaseName().AsUTF8()));
      }
    }
  }
  void TearDown() override {
    internal::SetFolderSecurityForTesting(nullptr);
    internal::SetProtectedFolderRootForTesting(base::FilePath());
    internal::SetEngineSignedForTesting(-1);
    base::internal::SetWalkAttributesHookForTesting(nullptr);
  }

  const base::FilePath& dir() const { return dir_.GetPath(); }

  base::ScopedTempDir dir_;
  base::FilePath source_;
  base::FilePath root_;
  base::FilePath record_;
  std::unique_ptr<test::RecordedFolderSecurity> security_;
};

TEST_F(ProtectedFolderTest, NewFoldersAreProtectedAndKnownAsSuch) {
  const base::FilePath first = CreateProtectedFolder();
  const base::FilePath second = CreateProtectedFolder();
  ASSERT_FALSE(first.empty());
  EXPECT_NE(first, second);
  EXPECT_EQ(root_, first.DirName());
  EXPECT_EQ(std::vector<std::u16string>{kProtectedFolderSecurity},
            test::RecordedFolderSecurity::History(record_, first));
  EXPECT_TRUE(IsInProtectedFolder(first));
  EXPECT_TRUE(IsInProtectedFolder(first.Append(u"sub\\deeper")));
  // Another name, another place, or a list that others may change.
  const base::FilePath other = root_.Append(u"Velna Installer 0123");
  ASSERT_TRUE(security_->Create(other, kProtectedFolderSecurity));
  EXPECT_FALSE(IsInProtectedFolder(other));
  EXPECT_FALSE(IsInProtectedFolder(source_));
  EXPECT_FALSE(IsInProtectedFolder(root_));
  ASSERT_TRUE(
      security_->Write(second, u"O:BAD:P(A;OICI;FA;;;BA)(A;OICI;FA;;;BU)"));
  EXPECT_FALSE(IsInProtectedFolder(second));
}

TEST_F(ProtectedFolderTest, APackageIsCopiedAsItIsAndTheCopyGoes) {
  // Enough files in enough folders for every copying thread to have some,
  // some larger than one read.
  for (int i = 0; i < 240; ++i) {
    const base::FilePath path = source_.Append(
        u"bulk\\" + base::IntToString16(i % 6) + u"\\" +
        base::IntToString16(i % 4) + u"\\file" + base::IntToString16(i));
    const size_t size = i % 40 == 0 ? 700 * 1024 + i : 3 * i;
    ASSERT_TRUE(test::WriteTextFile(path, std::string(size, 'a' + i % 26)));
  }
  std::unique_ptr<ProtectedPackage> package = ProtectedPackage::Copy(source_);
  ASSERT_TRUE(package);
  const base::FilePath copy = package->folder();
  EXPECT_EQ(test::TakeFileTreeSnapshot(source_),
            test::TakeFileTreeSnapshot(copy));
  EXPECT_EQ(copy.Append(u"installer.exe"), package->installer());
  package.reset();
  EXPECT_FALSE(base::PathExists(copy));
}

// A package that holds a link, or a file a writer still holds, is not
// copied at all; nothing of it stays.
TEST_F(ProtectedFolderTest, APackageWithALinkIsRefused) {
  const base::FilePath secret = dir().Append(u"secret.txt");
  ASSERT_TRUE(test::WriteTextFile(secret, "secret"));
  const struct {
    const char* name;
    void (*plant)(const base::FilePath& source, const base::FilePath& secret);
  } cases[] = {
      {"a second name of another file",
       [](const base::FilePath& source, const base::FilePath& secret) {
         ASSERT_TRUE(CreateHardLinkW(
             base::as_wcstr(source.Append(u"a\\link.dll").value()),
             base::as_wcstr(secret.value()), nullptr));
       }},
      {"a reparse point",
       [](const base::FilePath& source, const base::FilePath& secret) {
         base::internal::SetWalkAttributesHookForTesting(
             [](const base::FilePath& path, uint32_t attributes) -> uint32_t {
               return path.BaseName().value() == u"b"
                          ? attributes | FILE_ATTRIBUTE_REPARSE_POINT
                          : attributes;
             });
       }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    c.plant(source_, secret);
    EXPECT_FALSE(ProtectedPackage::Copy(source_));
    base::internal::SetWalkAttributesHookForTesting(nullptr);
    base::DeleteFileOrDirectory(source_.Append(u"a\\link.dll"), false);
    EXPECT_TRUE(test::TakeFileTreeSnapshot(root_).empty());
  }
  {
    SCOPED_TRACE("a file a writer holds");
    base::win::ScopedHandle writer(
        CreateFileW(base::as_wcstr(source_.Append(u"a\\b\\deep.dll").value()),
                    GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(writer.IsValid());
    EXPECT_FALSE(ProtectedPackage::Copy(source_));
    EXPECT_TRUE(test::TakeFileTreeSnapshot(root_).empty());
  }
  // An unchanged package is copied again.
  EXPECT_TRUE(ProtectedPackage::Copy(source_));
}

TEST_F(ProtectedFolderTest, AFileIsMovedThroughOneHandleOrNotAtAll) {
  const base::FilePath target_folder = CreateProtectedFolder();
  const base::FilePath source = source_.Append(u"files_list");
  const base::FilePath target = target_folder.Append(u"k.bat");
  {
    // Still open for writing elsewhere: refused, nothing changes.
    base::win::ScopedHandle writer(
        CreateFileW(base::as_wcstr(source.value()), GENERIC_WRITE,
                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(writer.IsValid());
    EXPECT_FALSE(MoveFileWithoutLinks(source, target));
    EXPECT_TRUE(base::PathExists(source));
    EXPECT_FALSE(base::PathExists(target));
  }
  const base::FilePath linked = source_.Append(u"linked.bat");
  ASSERT_TRUE(CreateHardLinkW(base::as_wcstr(linked.value()),
                              base::as_wcstr(source.value()), nullptr));
  EXPECT_FALSE(MoveFileWithoutLinks(linked, target));
  EXPECT_FALSE(base::PathExists(target));
  ASSERT_TRUE(base::DeleteFileOrDirectory(linked, false));

  EXPECT_TRUE(MoveFileWithoutLinks(source, target));
  EXPECT_FALSE(base::PathExists(source));
  EXPECT_EQ("files_list", test::ReadFileContents(target));
}

// The package's installer starts when this engine is unsigned (a
// development build) and, from a signed engine, only when its signer
// passes the check; the test host is unsigned.
TEST_F(ProtectedFolderTest, TheInstallerOfASignedEngineMustBeSigned) {
  std::unique_ptr<ProtectedPackage> package = ProtectedPackage::Copy(source_);
  ASSERT_TRUE(package);
  ASSERT_TRUE(base::CopyOneFile(base::FilePath(base::GetTestExecutableFolder() +
                                               u"installer_test_host.exe"),
                                package->installer()));
  internal::SetEngineSignedForTesting(0);
  EXPECT_TRUE(package->MayStartInstaller());
  internal::SetEngineSignedForTesting(1);
  EXPECT_FALSE(package->MayStartInstaller());
  // The test executable is unsigned.
  internal::SetEngineSignedForTesting(-1);
  EXPECT_FALSE(IsEngineSigned());
}

}  // namespace
}  // namespace installer
