#include "desktop/windows/installer/common/installer_names.h"

#include "gtest/gtest.h"

namespace installer {
namespace {

TEST(InstallerNamesTest, ProductNameFillsTheFormat) {
  EXPECT_EQ("Velna Installer", FormatWithProductName("%s Installer", false));
  EXPECT_EQ("velna_installer", FormatWithProductName("%s_installer", true));
  // Lower-casing applies to the name only, and only one "%s" is filled.
  EXPECT_EQ("A velna %s", FormatWithProductName("A %s %s", true));
  EXPECT_EQ("no placeholder", FormatWithProductName("no placeholder", true));
  EXPECT_EQ(u"Velna Installer", GetInstallerFolderName());
  EXPECT_EQ(u"Software\\Velna", GetCompanyRegistryPath());
}

TEST(InstallerNamesTest, LogFileNameCarriesTheLocalTime) {
  EXPECT_EQ(u"velna_installer_20240305070809.log",
            GetInstallerLogFileName({2024, 3, 5, 7, 8, 9}));
  EXPECT_EQ(u"velna_installer_19991231235959.log",
            GetInstallerLogFileName({1999, 12, 31, 23, 59, 59}));
  EXPECT_EQ(u"velna_installer_20240305070809_4294967295.log",
            GetInstallerLogFileName({2024, 3, 5, 7, 8, 9}, 4294967295u));
}

}  // namespace
}  // namespace installer
