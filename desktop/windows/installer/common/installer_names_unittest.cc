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

// The names a backend accepts for its log: only plain names of the log
// folder, so that a command line cannot lead a backend's log elsewhere.
TEST(InstallerNamesTest, BackendLogNamesStayInTheLogFolder) {
  const struct {
    const char16_t* name;
    bool accepted;
  } cases[] = {
      {u"velna_installer_20240305070809_17.log", true},
      {u"velna_installer_20240305070809_17_package.log", true},
      {u"velna_installer_.log", false},
      {u"velna_installer_x.txt", false},
      {u"other_installer_1.log", false},
      {u"velna_installer_..\\x.log", false},
      {u"velna_installer_1\\x.log", false},
      {u"velna_installer_1/x.log", false},
      {u"velna_installer_c:x.log", false},
      {u"velna_installer_1 .log", false},
      {u"velna_installer_1.log:stream.log", false},
  };
  for (const auto& c : cases)
    EXPECT_EQ(c.accepted, IsInstallerLogFileName(c.name)) << c.name;
  const std::u16string backend =
      GetInstallerLogFileName({2024, 3, 5, 7, 8, 9}, 17);
  EXPECT_EQ(u"velna_installer_20240305070809_17_package.log",
            GetPackageBackendLogFileName(backend));
  EXPECT_EQ(
      u"velna_installer_20240305070809_17_elevated_package.log",
      GetPackageBackendLogFileName(GetElevatedBackendLogFileName(backend)));
  EXPECT_TRUE(IsInstallerLogFileName(
      GetPackageBackendLogFileName(GetElevatedBackendLogFileName(backend))));
}

}  // namespace
}  // namespace installer
