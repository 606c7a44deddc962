#include "desktop/windows/installer/service/test/scoped_registry_restore.h"

#include <windows.h>

#include <string>

#include "base/strings/string_util_win.h"
#include "base/strings/utf_string_conversions.h"
#include "base/test/child_process_win.h"
#include "base/win/registry.h"
#include "desktop/windows/installer/service/test/integration_child.h"
#include "desktop/windows/installer/service/test/registry_test_util.h"
#include "gtest/gtest.h"

namespace installer {
namespace test {
namespace {

// Runs the child that changes |path| below its guard and dies.
DWORD ChangeAndDie(const std::u16string& path) {
  std::string output;
  DWORD exit_code = 0;
  EXPECT_TRUE(base::RunChildProcess(
      u"\"" + GetIntegrationChildPath().value() + u"\" --" +
          base::UTF8ToUTF16(kChildChangeGuardedKey) + u"=\"" + path + u"\"",
      {}, &output, &exit_code));
  return exit_code;
}

// A process that dies while it guards keys leaves them changed; the next
// guard of one of them puts it back as it was before, a key that did not
// exist included. A key that no guard names stays as the dead process left
// it.
TEST(ScopedRegistryRestoreTest, AGuardPutsBackWhatADeadProcessChanged) {
  const std::u16string root =
      u"Software\\VelnaTest\\Restore-" +
      base::UTF8ToUTF16(std::to_string(GetCurrentProcessId()));
  const std::u16string existing = root + u"\\Existing";
  const std::u16string absent = root + u"\\Absent";
  RegDeleteTreeW(HKEY_CURRENT_USER, base::as_wcstr(root));
  {
    base::win::RegKey key;
    ASSERT_EQ(ERROR_SUCCESS,
              key.Create(HKEY_CURRENT_USER, existing.c_str(), KEY_SET_VALUE));
    ASSERT_EQ(ERROR_SUCCESS, key.WriteValue(u"Kept", 7));
  }
  const RawRegistryValue kept =
      ReadRawRegistryValue(HKEY_CURRENT_USER, existing, u"Kept");
  EXPECT_EQ(9u, ChangeAndDie(existing));
  EXPECT_EQ(9u, ChangeAndDie(absent));
  EXPECT_EQ(
      ERROR_SUCCESS,
      ReadRawRegistryValue(HKEY_CURRENT_USER, existing, u"Changed").result);
  ASSERT_TRUE(RegistryKeyExists(HKEY_CURRENT_USER, absent));

  {
    ScopedRegistryRestore guard({{HKEY_CURRENT_USER, existing}});
    EXPECT_EQ(kept, ReadRawRegistryValue(HKEY_CURRENT_USER, existing, u"Kept"));
    EXPECT_EQ(
        ERROR_FILE_NOT_FOUND,
        ReadRawRegistryValue(HKEY_CURRENT_USER, existing, u"Changed").result);
    EXPECT_TRUE(RegistryKeyExists(HKEY_CURRENT_USER, absent));
  }
  {
    ScopedRegistryRestore guard({{HKEY_CURRENT_USER, absent}});
    EXPECT_FALSE(RegistryKeyExists(HKEY_CURRENT_USER, absent));
  }
  EXPECT_EQ(kept, ReadRawRegistryValue(HKEY_CURRENT_USER, existing, u"Kept"));
  RegDeleteTreeW(HKEY_CURRENT_USER, base::as_wcstr(root));
}

}  // namespace
}  // namespace test
}  // namespace installer
