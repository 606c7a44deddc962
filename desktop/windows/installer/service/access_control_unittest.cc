#include "desktop/windows/installer/service/access_control.h"

#include <aclapi.h>
#include <sddl.h>

#include <memory>
#include <string>

#include "base/files/file_attributes_win.h"
#include "base/files/file_util.h"
#include "base/strings/string_util_win.h"
#include "base/strings/utf_string_conversions.h"
#include "base/test/scoped_temp_dir.h"
#include "base/win/registry.h"
#include "desktop/windows/installer/service/test/scoped_test_registry_key.h"
#include "desktop/windows/installer/service/test/security_test_util.h"
#include "gtest/gtest.h"

namespace installer {
namespace {

// A SID of some other machine's user: never a member of our token.
constexpr char16_t kStrangerSid[] = u"S-1-5-21-1-2-3-4242";

std::u16string OwnerSidString(const std::u16string& object_name,
                              SE_OBJECT_TYPE type) {
  PSID owner = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (GetNamedSecurityInfoW(base::as_wcstr(object_name), type,
                            OWNER_SECURITY_INFORMATION, &owner, nullptr,
                            nullptr, nullptr, &descriptor) != ERROR_SUCCESS) {
    return std::u16string();
  }
  LPWSTR text = nullptr;
  std::u16string result;
  if (ConvertSidToStringSidW(owner, &text)) {
    result = base::as_u16cstr(text);
    LocalFree(text);
  }
  LocalFree(descriptor);
  return result;
}

class AccessControlTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(key_.created());
    object_name_ = RegistryObjectName(HKEY_CURRENT_USER, key_.path());
    user_ = test::CurrentUserSidString();
    ASSERT_FALSE(user_.empty());
  }

  test::ScopedTestRegistryKey key_;
  std::u16string object_name_;
  std::u16string user_;
};

TEST(RegistryObjectNameTest, PrefixByRoot) {
  struct Case {
    HKEY root;
    const char16_t* path;
    const char16_t* expected;
  } cases[] = {
      {HKEY_CLASSES_ROOT, u".html", u"CLASSES_ROOT\\.html"},
      {HKEY_LOCAL_MACHINE, u"Software\\A", u"MACHINE\\Software\\A"},
      {HKEY_CURRENT_USER, u"Software\\A", u"CURRENT_USER\\Software\\A"},
      {HKEY_USERS, u".DEFAULT\\A", u"USERS\\.DEFAULT\\A"},
      {HKEY_CURRENT_CONFIG, u"Software\\A", u"Software\\A"},
      {HKEY_CURRENT_USER, u"", u"CURRENT_USER"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(c.expected, RegistryObjectName(c.root, c.path));
}

TEST_F(AccessControlTest, AccessCheckFollowsTheList) {
  ASSERT_TRUE(test::SetDaclFromSddl(
      object_name_, SE_REGISTRY_KEY,
      u"D:(D;;DC;;;" + user_ + u")(A;;KA;;;" + user_ + u")"));
  EXPECT_TRUE(
      CanCurrentUserAccess(object_name_, SE_REGISTRY_KEY, KEY_QUERY_VALUE));
  EXPECT_FALSE(
      CanCurrentUserAccess(object_name_, SE_REGISTRY_KEY, KEY_SET_VALUE));
  EXPECT_FALSE(CanCurrentUserAccess(object_name_, SE_REGISTRY_KEY,
                                    KEY_QUERY_VALUE | KEY_SET_VALUE));
  // Kinds without a mapping, and objects that do not exist.
  EXPECT_FALSE(CanCurrentUserAccess(object_name_, SE_SERVICE, KEY_QUERY_VALUE));
  EXPECT_FALSE(CanCurrentUserAccess(object_name_ + u"\\missing",
                                    SE_REGISTRY_KEY, KEY_QUERY_VALUE));
}

TEST_F(AccessControlTest, AccessCheckUsesTheTokenInPlace) {
  ASSERT_TRUE(
      test::SetDaclFromSddl(object_name_, SE_REGISTRY_KEY, u"D:(A;;KA;;;BA)"));
  EXPECT_TRUE(
      CanCurrentUserAccess(object_name_, SE_REGISTRY_KEY, KEY_QUERY_VALUE));
  base::win::ScopedHandle token =
      test::MakeRestrictedToken({WinBuiltinAdministratorsSid}, false);
  ASSERT_TRUE(token.IsValid());
  internal::ScopedAccessTokenForTesting scoped_token(token.Get());
  EXPECT_FALSE(
      CanCurrentUserAccess(object_name_, SE_REGISTRY_KEY, KEY_QUERY_VALUE));
}

// The rights are taken out of entries that deny them to the user, an
// inheritable grant is added, and the saved record puts the old list back.
TEST_F(AccessControlTest, GrantEditsDenialsAndRestoreUndoesIt) {
  ASSERT_TRUE(test::SetDaclFromSddl(
      object_name_, SE_REGISTRY_KEY,
      u"D:(D;;DCLC;;;" + user_ + u")(D;;DC;;;" + std::u16string(kStrangerSid) +
          u")(A;;KR;;;" + user_ + u")(A;;KA;;;BA)"));
  const std::u16string original =
      test::GetDaclSddl(object_name_, SE_REGISTRY_KEY);
  std::unique_ptr<SavedSecurity> saved;
  ASSERT_TRUE(GrantCurrentUserAccess(object_name_, SE_REGISTRY_KEY,
                                     KEY_QUERY_VALUE | KEY_SET_VALUE,
                                     kKeepPreviousAccess, &saved));
  ASSERT_TRUE(saved);
  EXPECT_EQ(object_name_, saved->object_name());
  EXPECT_EQ(SE_REGISTRY_KEY, saved->object_type());
  const std::u16string widened =
      test::GetDaclSddl(object_name_, SE_REGISTRY_KEY);
  // The user's denial keeps only KEY_CREATE_SUB_KEY; the stranger's stays.
  EXPECT_NE(std::u16string::npos, widened.find(u"(D;;LC;;;" + user_ + u")"))
      << base::UTF16ToUTF8(widened);
  EXPECT_NE(std::u16string::npos,
            widened.find(u"(D;;DC;;;" + std::u16string(kStrangerSid) + u")"))
      << base::UTF16ToUTF8(widened);
  EXPECT_NE(std::u16string::npos,
            widened.find(u"(A;OICI;CCDC;;;" + user_ + u")"))
      << base::UTF16ToUTF8(widened);
  EXPECT_TRUE(
      CanCurrentUserAccess(object_name_, SE_REGISTRY_KEY, KEY_SET_VALUE));

  EXPECT_TRUE(RestoreSavedSecurity(&saved));
  EXPECT_FALSE(saved);
  EXPECT_EQ(original, test::GetDaclSddl(object_name_, SE_REGISTRY_KEY));
  EXPECT_FALSE(RestoreSavedSecurity(&saved));
}

TEST_F(AccessControlTest, GrantWithoutRecordKeepsNothing) {
  ASSERT_TRUE(test::SetDaclFromSddl(object_name_, SE_REGISTRY_KEY,
                                    u"D:(D;;DC;;;" + user_ + u")(A;;KA;;;BA)"));
  // A record held before is dropped, not restored.
  std::unique_ptr<SavedSecurity> saved;
  ASSERT_TRUE(GrantCurrentUserAccess(object_name_, SE_REGISTRY_KEY,
                                     KEY_SET_VALUE, kKeepPreviousAccess,
                                     &saved));
  ASSERT_TRUE(saved);
  const std::u16string widened =
      test::GetDaclSddl(object_name_, SE_REGISTRY_KEY);
  ASSERT_TRUE(GrantCurrentUserAccess(object_name_, SE_REGISTRY_KEY,
                                     KEY_CREATE_SUB_KEY, kKeepGrant, &saved));
  EXPECT_FALSE(saved);
  const std::u16string granted =
      test::GetDaclSddl(object_name_, SE_REGISTRY_KEY);
  EXPECT_NE(widened, granted);
  EXPECT_TRUE(
      CanCurrentUserAccess(object_name_, SE_REGISTRY_KEY, KEY_SET_VALUE));
  EXPECT_TRUE(
      CanCurrentUserAccess(object_name_, SE_REGISTRY_KEY, KEY_CREATE_SUB_KEY));
}

TEST_F(AccessControlTest, GrantFailsForAMissingObject) {
  std::unique_ptr<SavedSecurity> saved;
  EXPECT_FALSE(GrantCurrentUserAccess(object_name_ + u"\\missing",
                                      SE_REGISTRY_KEY, KEY_SET_VALUE,
                                      kKeepPreviousAccess, &saved));
  EXPECT_FALSE(saved);
}

TEST_F(AccessControlTest, GrantAndRestoreOnAFile) {
  base::ScopedTempDir temp;
  ASSERT_TRUE(temp.CreateUniqueTempDir());
  const base::FilePath file = temp.GetPath().Append(u"file.txt");
  ASSERT_EQ(1, base::WriteBufferToFile(file, "x", 1));
  ASSERT_TRUE(test::SetDaclFromSddl(
      file.value(), SE_FILE_OBJECT,
      u"D:(D;;FW;;;" + user_ + u")(A;;FA;;;" + user_ + u")"));
  ASSERT_FALSE(CanCurrentUserAccess(file.value(), SE_FILE_OBJECT, 0x130116));
  std::unique_ptr<SavedSecurity> saved;
  ASSERT_TRUE(GrantCurrentUserAccess(file.value(), SE_FILE_OBJECT, 0x130116,
                                     kKeepPreviousAccess, &saved));
  EXPECT_TRUE(CanCurrentUserAccess(file.value(), SE_FILE_OBJECT, 0x130116));
  // Wine keeps no file access list of its own (it derives one from the
  // file's mode), so the restored list is checked on registry keys above.
  EXPECT_TRUE(RestoreSavedSecurity(&saved));
}

// Makes the entries named "link" look like junctions.
uint32_t LinkLooksLikeJunction(const base::FilePath& path,
                               uint32_t attributes) {
  if (attributes != INVALID_FILE_ATTRIBUTES &&
      path.BaseName().value() == u"link") {
    return attributes | FILE_ATTRIBUTE_REPARSE_POINT;
  }
  return attributes;
}

// A junction planted where an elevated installer grants access would hand
// the user whatever it points to: no grant and no new owner for a link or
// anything reached through one.
TEST_F(AccessControlTest, NoGrantOrOwnershipThroughALink) {
  base::ScopedTempDir temp;
  ASSERT_TRUE(temp.CreateUniqueTempDir());
  const base::FilePath link = temp.GetPath().Append(u"link");
  ASSERT_TRUE(base::FileUtil::CreateDirectory(link));
  const base::FilePath inner = link.Append(u"inner.txt");
  const base::FilePath plain = temp.GetPath().Append(u"plain.txt");
  ASSERT_EQ(1, base::WriteBufferToFile(inner, "x", 1));
  ASSERT_EQ(1, base::WriteBufferToFile(plain, "x", 1));
  const struct {
    base::FilePath path;
    bool granted;
  } cases[] = {{link, false}, {inner, false}, {plain, true}};
  base::internal::SetWalkAttributesHookForTesting(&LinkLooksLikeJunction);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path.AsUTF8());
    const std::u16string name = c.path.value();
    ASSERT_TRUE(test::SetDaclFromSddl(
        name, SE_FILE_OBJECT,
        u"D:(D;;FW;;;" + user_ + u")(A;;FA;;;" + user_ + u")"));
    const std::u16string before = test::GetDaclSddl(name, SE_FILE_OBJECT);
    std::unique_ptr<SavedSecurity> saved;
    EXPECT_EQ(c.granted, GrantCurrentUserAccess(name, SE_FILE_OBJECT, 0x130116,
                                                kKeepPreviousAccess, &saved));
    EXPECT_EQ(c.granted, saved != nullptr);
    if (c.granted) continue;
    EXPECT_EQ(before, test::GetDaclSddl(name, SE_FILE_OBJECT));
    EXPECT_FALSE(TakeOwnership(name, SE_FILE_OBJECT));
  }
  base::internal::SetWalkAttributesHookForTesting(nullptr);
}

TEST_F(AccessControlTest, TakeOwnershipGivesTheKeyToAdministrators) {
  const std::u16string administrators = u"S-1-5-32-544";
  // Owned by the user first, as a key made without elevation would be.
  PSID user = nullptr;
  ASSERT_TRUE(ConvertStringSidToSidW(base::as_wcstr(user_), &user));
  std::u16string name = object_name_;
  ASSERT_EQ(static_cast<DWORD>(ERROR_SUCCESS),
            SetNamedSecurityInfoW(base::as_writable_wcstr(name),
                                  SE_REGISTRY_KEY, OWNER_SECURITY_INFORMATION,
                                  user, nullptr, nullptr, nullptr));
  LocalFree(user);
  ASSERT_EQ(user_, OwnerSidString(object_name_, SE_REGISTRY_KEY));
  EXPECT_TRUE(TakeOwnership(object_name_, SE_REGISTRY_KEY));
  EXPECT_EQ(administrators, OwnerSidString(object_name_, SE_REGISTRY_KEY));
  EXPECT_FALSE(TakeOwnership(object_name_ + u"\\missing", SE_REGISTRY_KEY));
}

TEST(SetTokenPrivilegeTest, ReportsWhatWasAssigned) {
  HANDLE process_token = nullptr;
  ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(),
                               TOKEN_DUPLICATE | TOKEN_QUERY, &process_token));
  base::win::ScopedHandle owned(process_token);
  // A token with every privilege but one removed.
  HANDLE stripped = nullptr;
  ASSERT_TRUE(CreateRestrictedToken(process_token, DISABLE_MAX_PRIVILEGE, 0,
                                    nullptr, 0, nullptr, 0, nullptr,
                                    &stripped));
  auto duplicate = [](HANDLE token) {
    HANDLE copy = nullptr;
    DuplicateHandle(GetCurrentProcess(), token, GetCurrentProcess(), &copy, 0,
                    FALSE, DUPLICATE_SAME_ACCESS);
    return copy;
  };
  base::win::ScopedHandle owned_stripped(stripped);
  HANDLE adjustable = nullptr;
  ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES,
                               &adjustable));
  EXPECT_TRUE(SetTokenPrivilege(u"SeTakeOwnershipPrivilege", false,
                                duplicate(adjustable)));
  EXPECT_FALSE(
      SetTokenPrivilege(u"SeNoSuchPrivilege", true, duplicate(adjustable)));
  EXPECT_FALSE(SetTokenPrivilege(u"SeTakeOwnershipPrivilege", true,
                                 duplicate(stripped)));
  // Taken over and closed by the call.
  EXPECT_TRUE(
      SetTokenPrivilege(u"SeTakeOwnershipPrivilege", false, adjustable));
}

}  // namespace
}  // namespace installer
