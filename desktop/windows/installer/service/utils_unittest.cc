#include "desktop/windows/installer/service/utils.h"

#include <objbase.h>
#include <sddl.h>

#include <string>

#include "base/base_paths_win.h"
#include "base/files/file_util.h"
#include "base/path_service.h"
#include "base/strings/string_util.h"
#include "base/strings/string_util_win.h"
#include "base/test/child_process_win.h"
#include "base/test/scoped_temp_dir.h"
#include "base/win/shortcut.h"
#include "desktop/windows/installer/common/version_info.h"
#include "desktop/windows/installer/service/access_control.h"
#include "desktop/windows/installer/service/test/log_capture.h"
#include "desktop/windows/installer/service/test/security_test_util.h"
#include "gtest/gtest.h"

namespace installer {
namespace {

TEST(BuildNamesTest, StreamNamesByChannel) {
  struct Case {
    int channel;
    std::string name;
  } cases[] = {
      {1, "Nightly"},
      {2, "Developer"},
      {3, "Beta"},
      {4, "Stable"},
      {0, VersionInfo::GetStream()},
      {5, VersionInfo::GetStream()},
  };
  for (const Case& c : cases)
    EXPECT_EQ(c.name, GetInternalStreamNameForChannel(c.channel)) << c.channel;
  EXPECT_EQ(GetInternalStreamNameForChannel(VersionInfo::GetReleaseChannel()),
            GetInternalStreamName());
}

// The names the branding document (file name base "velna", company
// "Velna") gives, written out: computed from the same branding they would
// agree with any mistake.
TEST(BuildNamesTest, BrandingNames) {
  EXPECT_EQ("velna.exe", GetBrowserExecutableName());
}

// Every process is an administrator here; tokens whose administrator group
// only denies stand for a standard user.
TEST(ElevationTest, AdministratorAndElevationFollowTheToken) {
  struct Case {
    const char* what;
    bool standard_user;
  } cases[] = {{"administrator", false}, {"standard user", true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    base::win::ScopedHandle token;
    if (c.standard_user) {
      token = test::MakeRestrictedToken({WinBuiltinAdministratorsSid}, false);
      ASSERT_TRUE(token.IsValid());
    }
    internal::ScopedAccessTokenForTesting scoped_token(token.Get());
    EXPECT_EQ(!c.standard_user, IsUserAdministrator(false));
    for (bool all_users : {false, true}) {
      for (bool writable : {false, true}) {
        const bool expected = c.standard_user && (all_users || !writable);
        EXPECT_EQ(expected, RequiresElevation(all_users, writable))
            << all_users << writable;
      }
    }
  }
}

// A filtered administrator (a limited token) counts as an administrator
// only when its linked full token is considered.
TEST(ElevationTest, LinkedTokenOfALimitedAdministrator) {
  HANDLE process_token = nullptr;
  ASSERT_TRUE(
      OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &process_token));
  base::win::ScopedHandle owned(process_token);
  TOKEN_LINKED_TOKEN linked = {};
  DWORD size = 0;
  ASSERT_TRUE(GetTokenInformation(process_token, TokenLinkedToken, &linked,
                                  sizeof(linked), &size));
  base::win::ScopedHandle limited(linked.LinkedToken);
  TOKEN_ELEVATION_TYPE type = TokenElevationTypeDefault;
  ASSERT_TRUE(GetTokenInformation(limited.Get(), TokenElevationType, &type,
                                  sizeof(type), &size));
  ASSERT_EQ(TokenElevationTypeLimited, type);
  internal::ScopedAccessTokenForTesting scoped_token(limited.Get());
  EXPECT_TRUE(IsUserAdministrator(true));
}

// A token whose elevation cannot be read counts as elevated: here a
// standard user's (a limited token without Administrators, as Windows
// filters it), opened without the right to query it.
TEST(ElevationTest, AnUnreadableTokenCountsAsElevated) {
  const base::win::ScopedHandle limited(base::DuplicateLimitedToken());
  const base::win::ScopedHandle user = test::MakeRestrictedToken(
      {WinBuiltinAdministratorsSid}, false, limited.Get());
  ASSERT_TRUE(user.IsValid());
  HANDLE unreadable = nullptr;
  ASSERT_TRUE(DuplicateHandle(GetCurrentProcess(), user.Get(),
                              GetCurrentProcess(), &unreadable, TOKEN_DUPLICATE,
                              FALSE, 0));
  const base::win::ScopedHandle owned(unreadable);
  for (HANDLE token : {user.Get(), unreadable}) {
    internal::ScopedAccessTokenForTesting scoped_token(token);
    EXPECT_EQ(token == unreadable, IsProcessElevated());
  }
}

TEST(UserNameTest, NamesOfTheTokenUser) {
  std::u16string name;
  ASSERT_TRUE(GetCurrentUserName(&name));
  ASSERT_FALSE(name.empty());
  // The account of the token's user SID has the same name.
  PSID sid = nullptr;
  ASSERT_TRUE(ConvertStringSidToSidW(
      base::as_wcstr(test::CurrentUserSidString()), &sid));
  wchar_t account[256] = {};
  wchar_t domain[256] = {};
  DWORD account_size = 256;
  DWORD domain_size = 256;
  SID_NAME_USE use;
  ASSERT_TRUE(LookupAccountSidW(nullptr, sid, account, &account_size, domain,
                                &domain_size, &use));
  LocalFree(sid);
  EXPECT_EQ(base::ToLowerASCII(name),
            base::ToLowerASCII(base::as_u16cstr(account)));
  std::u16string sam_name;
  ASSERT_TRUE(GetCurrentUserNameEx(&sam_name, NameSamCompatible));
  EXPECT_TRUE(base::EndsWith16(sam_name, u"\\" + name, 1)) << sam_name;
}

TEST(KnownFolderTest, MatchesTheFolderOfTheCsidl) {
  base::FilePath known;
  ASSERT_TRUE(GetKnownFolderPath(FOLDERID_LocalAppData, CSIDL_LOCAL_APPDATA,
                                 &known, false));
  wchar_t path[MAX_PATH] = {};
  ASSERT_EQ(S_OK, SHGetFolderPathW(nullptr, CSIDL_LOCAL_APPDATA, nullptr,
                                   SHGFP_TYPE_CURRENT, path));
  EXPECT_EQ(base::FilePath(base::as_u16cstr(path)), known);
  EXPECT_TRUE(base::DirectoryExists(known));
}

class FileIdentityTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(temp_.CreateUniqueTempDir());
    target_ = temp_.GetPath().Append(u"Velna\\velna.exe");
    ASSERT_TRUE(base::FileUtil::CreateDirectory(target_.DirName()));
    ASSERT_EQ(1, base::WriteBufferToFile(target_, "x", 1));
    // The same file reached through another path.
    link_ = temp_.GetPath().Append(u"other.exe");
    ASSERT_TRUE(CreateHardLinkW(base::as_wcstr(link_.value()),
                                base::as_wcstr(target_.value()), nullptr));
    ASSERT_TRUE(GetFileInfo(target_, &target_info_));
    ASSERT_EQ(S_OK, CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
  }
  void TearDown() override {
    CoUninitialize();
    base::PathService::RemoveOverrideForTesting(base::DIR_TASKBAR_PINS);
  }

  base::FilePath MakeShortcut(const char16_t* name,
                              const base::FilePath& target) {
    const base::FilePath shortcut = pins_.Append(name);
    base::win::ShortcutProperties properties;
    properties.set_target(target);
    EXPECT_TRUE(base::win::CreateOrUpdateShortcutLink(
        shortcut, properties, base::win::SHORTCUT_CREATE_ALWAYS));
    return shortcut;
  }

  void OverridePins() {
    pins_ = temp_.GetPath().Append(u"TaskBar");
    ASSERT_TRUE(base::PathService::OverrideAndCreateIfNeeded(
        base::DIR_TASKBAR_PINS, pins_, true, true));
  }

  base::ScopedTempDir temp_;
  base::FilePath target_;
  base::FilePath link_;
  base::FilePath pins_;
  BY_HANDLE_FILE_INFORMATION target_info_ = {};
};

TEST_F(FileIdentityTest, FileInfoIdentifiesTheFile) {
  BY_HANDLE_FILE_INFORMATION info = {};
  ASSERT_TRUE(GetFileInfo(link_, &info));
  EXPECT_EQ(target_info_.dwVolumeSerialNumber, info.dwVolumeSerialNumber);
  EXPECT_EQ(target_info_.nFileIndexHigh, info.nFileIndexHigh);
  EXPECT_EQ(target_info_.nFileIndexLow, info.nFileIndexLow);
  const base::FilePath other = temp_.GetPath().Append(u"different.exe");
  ASSERT_EQ(1, base::WriteBufferToFile(other, "y", 1));
  ASSERT_TRUE(GetFileInfo(other, &info));
  EXPECT_NE(target_info_.nFileIndexLow, info.nFileIndexLow);
  EXPECT_FALSE(GetFileInfo(temp_.GetPath().Append(u"missing"), &info));
}

TEST_F(FileIdentityTest, TaskbarPinIsFoundByPathOrByIdentity) {
  OverridePins();
  // A file that is no shortcut is skipped with an error.
  const base::FilePath broken = pins_.Append(u"broken.lnk");
  ASSERT_EQ(4, base::WriteBufferToFile(broken, "junk", 4));
  MakeShortcut(u"unrelated.lnk", temp_.GetPath().Append(u"unrelated.exe"));
  const base::FilePath by_link = MakeShortcut(u"velna.lnk", link_);

  test::ScopedLogCapture log;
  // The pin points to the other path: found only through the identity.
  EXPECT_EQ(base::FilePath(), FindTaskbarPinShortcut(target_, nullptr));
  EXPECT_EQ(by_link, FindTaskbarPinShortcut(target_, &target_info_));
  EXPECT_TRUE(log.Has(logging::LOG_ERROR,
                      "Couldn't resolve shortcut at " + broken.AsUTF8()));
  // A path that differs only in case is the same target.
  const base::FilePath upper(base::ToUpperASCII(link_.value()));
  EXPECT_EQ(by_link, FindTaskbarPinShortcut(upper, nullptr));
}

TEST_F(FileIdentityTest, MissingPinsFolderFindsNothing) {
  pins_ = temp_.GetPath().Append(u"NoTaskBar");
  ASSERT_TRUE(base::PathService::OverrideAndCreateIfNeeded(
      base::DIR_TASKBAR_PINS, pins_, true, false));
  test::ScopedLogCapture log;
  EXPECT_EQ(base::FilePath(), FindTaskbarPinShortcut(target_, &target_info_));
  EXPECT_TRUE(
      log.Has(logging::LOG_ERROR, "Couldn't find path to taskbar pins."));
}

TEST_F(FileIdentityTest, ShortcutPointsTo) {
  OverridePins();
  const base::FilePath shortcut = MakeShortcut(u"s.lnk", link_);
  EXPECT_TRUE(ShortcutPointsTo(shortcut, link_, nullptr));
  EXPECT_FALSE(ShortcutPointsTo(shortcut, target_, nullptr));
  EXPECT_TRUE(ShortcutPointsTo(shortcut, target_, &target_info_));
  EXPECT_FALSE(ShortcutPointsTo(base::FilePath(), target_, &target_info_));
  EXPECT_FALSE(
      ShortcutPointsTo(pins_.Append(u"missing.lnk"), target_, &target_info_));
}

}  // namespace
}  // namespace installer
