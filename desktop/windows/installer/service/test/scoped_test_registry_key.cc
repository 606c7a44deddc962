#include "desktop/windows/installer/service/test/scoped_test_registry_key.h"

#include "base/strings/string_util_win.h"
#include "base/strings/utf_string_conversions.h"
#include "gtest/gtest.h"

namespace installer {
namespace test {

namespace {

std::u16string CurrentTestName() {
  const testing::TestInfo* info =
      testing::UnitTest::GetInstance()->current_test_info();
  std::string name = std::string(info->test_suite_name()) + "." + info->name();
  // Parameterised names hold "/", which is fine in a key name but not "\".
  for (char& c : name) {
    if (c == '\\') c = '_';
  }
  return base::UTF8ToUTF16(name);
}

}  // namespace

ScopedTestRegistryKey::ScopedTestRegistryKey()
    : ScopedTestRegistryKey(CurrentTestName()) {}

ScopedTestRegistryKey::ScopedTestRegistryKey(const std::u16string& name)
    : path_(u"Software\\VelnaTest\\" + name) {
  RegDeleteTreeW(root(), base::as_wcstr(path_));
  HKEY key = nullptr;
  created_ = RegCreateKeyExW(root(), base::as_wcstr(path_), 0, nullptr,
                             REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr,
                             &key, nullptr) == ERROR_SUCCESS;
  if (key) RegCloseKey(key);
}

ScopedTestRegistryKey::~ScopedTestRegistryKey() {
  RegDeleteTreeW(root(), base::as_wcstr(path_));
}

std::u16string ScopedTestRegistryKey::Path(
    const std::u16string& relative) const {
  return path_ + u"\\" + relative;
}

}  // namespace test
}  // namespace installer
