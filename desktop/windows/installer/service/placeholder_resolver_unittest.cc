#include "desktop/windows/installer/service/placeholder_resolver.h"

#include <memory>
#include <string>

#include "base/strings/utf_string_conversions.h"
#include "desktop/windows/installer/service/registry_entry_win.h"
#include "gtest/gtest.h"

namespace installer {
namespace {

TEST(PlaceholderResolverTest, AnswersItsNamesExactly) {
  PlaceholderResolver resolver(u".htm", u"C:\\Velna");
  const struct {
    const char16_t* name;
    const char16_t* value;
  } kCases[] = {
      {u"InstallFolder", u"C:\\Velna"},
      {u"Stream", u"beta"},
      {u"Product", u"Velna"},
      {u"Extension", u".htm"},
      {u"Protocol", u".htm"},
      // Anything else expands to its bare name.
      {u"Version", u"Version"},
      {u"product", u"product"},
      {u"InstallFolder ", u"InstallFolder "},
      {u"", u""},
  };
  for (const auto& test_case : kCases) {
    SCOPED_TRACE(testing::Message()
                 << base::UTF16ToUTF8(std::u16string(test_case.name)));
    EXPECT_EQ(test_case.value, resolver.ResolvePlaceholder(test_case.name));
  }
  EXPECT_EQ(nullptr, resolver.GetInstallLogRegistry(HKEY_CURRENT_USER));
  EXPECT_EQ(nullptr, resolver.GetInstallLogRegistry(HKEY_LOCAL_MACHINE));
}

TEST(PlaceholderResolverTest, ExpandsTemplateRows) {
  PlaceholderResolver resolver(u"http", u"C:\\Velna");
  const RegistryEntryTemplate row = {
      u"Software\\Classes\\{Protocol}\\{Product}{Stream}\\{Version}",
      nullptr,
      REG_SZ,
      TextData(u"\"{InstallFolder}\\launcher.exe\""),
      1,
      nullptr,
      0,
      0};
  RegistryEntry entry(row, &resolver);
  EXPECT_EQ(u"Software\\Classes\\http\\Velnabeta\\Version",
            entry.ExpandPlaceholders(row.key));
  EXPECT_EQ(u"\"C:\\Velna\\launcher.exe\"",
            entry.ExpandPlaceholders(row.data.text));
}

}  // namespace
}  // namespace installer
