#include "desktop/windows/installer/package_fetcher/package_fetcher.h"

#include <string>

#include "gtest/gtest.h"

namespace installer {
namespace {

TEST(PackageFetcherTest, StatusResultTexts) {
  const struct {
    int status;
    const char* text;
  } cases[] = {
      {-1, "invalid"},
      {STARTED, "invalid"},
      {FOLDER_READY, "invalid"},
      {FETCHING_DOWNLOAD_URL, "invalid"},
      {DOWNLOADING, "invalid"},
      {EXTRACTING, "invalid"},
      {FETCHING_PARTNER_CONTENT, "invalid"},
      {PACKAGE_READY, "package_ready"},
      {INITIALIZATION_FAILED, "initialization_failed"},
      {DOWNLOAD_FAILED, "download_failed"},
      {UNPACKING_FAILED, "unpacking_failed"},
      {10, "invalid"},
  };
  for (const auto& test : cases)
    EXPECT_STREQ(test.text, GetFetcherStatusResultText(test.status))
        << test.status;
}

TEST(PackageFetcherTest, FileNames) {
  base::Time::Exploded now = {};
  now.year = 2016;
  now.month = 3;
  now.day_of_month = 7;
  now.hour = 4;
  now.minute = 0;
  now.second = 9;
  const std::u16string name = MakeDownloadFileName(now);
  EXPECT_EQ(u"velna_installer_20160307040009.exe", name);

  const base::FilePath folder = base::FilePath(u"downloads");
  const base::FilePath download = folder.Append(name);
  EXPECT_EQ(folder.Append(u"velna_installer_20160307040009"),
            GetPackageFolder(download));
  EXPECT_EQ(folder.Append(u"velna_installer_20160307040009.7z"),
            GetArchivePath(download));
}

TEST(PackageFetcherTest, InstallerVersionAndItsOverride) {
  const struct {
    const char* own;
    const char* override_version;
    const char* chosen;
  } cases[] = {
      // The build's override is empty: the own version holds.
      {"2353.23", "", "2353.23"},
      {"2353.23", "not a version", "2353.23"},
      // Up to 50 major versions below the own one.
      {"2353.23", "2303.1", "2303.1"},
      {"2353.23", "2302.99", "2353.23"},
      {"2353.23", "9999.0", "9999.0"},
      {"", "1.0", "1.0"},
  };
  for (const auto& test : cases) {
    EXPECT_EQ(test.chosen,
              ChooseInstallerVersion(test.own, test.override_version))
        << test.own << " / " << test.override_version;
  }
}

TEST(PackageFetcherTest, DownloadedVersionMustNotBeOlder) {
  const struct {
    const char* output;
    bool acceptable;
  } cases[] = {
      {"2353.23", true},
      {"2353.23.0", true},
      {"2353.24", true},
      {"2354.0", true},
      {"2353.22", false},
      {"2353", false},
      {"2352.99", false},
      // What the installer prints is compared as it is.
      {"2353.23\n", false},
      {" 2353.23", false},
      {"", false},
      {"beta", false},
  };
  for (const auto& test : cases) {
    EXPECT_EQ(test.acceptable,
              IsDownloadedVersionAcceptable(test.output, "2353.23"))
        << test.output;
  }
}

}  // namespace
}  // namespace installer
