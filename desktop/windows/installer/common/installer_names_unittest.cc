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

// Only the names the product makes: the time, perhaps a process id or
// random number of up to ten digits, then at most two roles. A longer name
// could not be opened in the log folder (a 320-character one is beyond any
// folder's limit), and a log must not then go anywhere else.
TEST(InstallerNamesTest, BackendLogNamesHaveTheProductsForm) {
  const std::u16string backend =
      GetInstallerLogFileName({2024, 3, 5, 7, 8, 9}, 4294967295u);
  for (const std::u16string& name :
       {GetInstallerLogFileName({2024, 3, 5, 7, 8, 9}), backend,
        GetPackageBackendLogFileName(backend),
        GetElevatedBackendLogFileName(backend),
        GetPackageBackendLogFileName(GetElevatedBackendLogFileName(backend)),
        GetElevatedBackendLogFileName(GetPackageBackendLogFileName(backend))}) {
    EXPECT_TRUE(IsInstallerLogFileName(name)) << name;
  }
  const struct {
    const char16_t* name;
    const char* why;
  } refused[] = {
      {u"velna_installer_2024030507080.log", "13 digits of time"},
      {u"velna_installer_202403050708091.log", "15 digits of time"},
      {u"velna_installer_20240305070809_.log", "no process id"},
      {u"velna_installer_20240305070809_12345678901.log", "11 digits of id"},
      {u"velna_installer_20240305070809_1_other.log", "an unknown role"},
      {u"velna_installer_20240305070809_1_package_package_elevated.log",
       "three roles"},
      {u"VELNA_installer_20240305070809.log", "another case"},
      {u"velna_installer_20240305070809.LOG", "another case"},
  };
  for (const auto& c : refused)
    EXPECT_FALSE(IsInstallerLogFileName(c.name)) << c.why;
  EXPECT_FALSE(IsInstallerLogFileName(u"velna_installer_" +
                                      std::u16string(300, u'1') + u".log"));
  EXPECT_FALSE(IsInstallerLogFileName(u"velna_installer_20240305070809_1" +
                                      std::u16string(288, u'2') + u".log"));
}

}  // namespace
}  // namespace installer
