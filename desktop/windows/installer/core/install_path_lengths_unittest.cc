#include "desktop/windows/installer/core/install_path_lengths.h"

#include "gtest/gtest.h"

namespace installer {
namespace {

std::u16string FolderOf(size_t length) {
  return u"C:\\" + std::u16string(length - 3, u'f');
}

TEST(InstallPathLengthsTest, TheEnginesOwnNames) {
  const std::u16string version = u"41.0.2353.23";
  // The longest: "\old_status\installation_status.xml.<10 digits>" moved
  // aside under ".<10 digits>.old", 61 characters in all.
  EXPECT_EQ("", FindInstallFolderLengthProblem(FolderOf(198), version));
  EXPECT_EQ(0u, FindInstallFolderLengthProblem(FolderOf(199), version)
                    .find("the install folder is too long: a kept status "
                          "file would be 260 characters long, more than "
                          "259"));
  // The mailslot "\\.\mailslot\velna_installer\" + folder comes first.
  EXPECT_NE(std::string::npos,
            FindInstallFolderLengthProblem(FolderOf(231), version)
                .find("mailslot name would be 260"));
  EXPECT_NE(
      std::string::npos,
      FindInstallFolderLengthProblem(FolderOf(180), std::u16string(64, u'9'))
          .find("the version's folder would be 248 characters long, "
                "more than 247"));
}

TEST(InstallPathLengthsTest, ThePackagesFiles) {
  const std::u16string version = u"41.0.2353.23";
  // 150 + "\" + version + "_NN" + "\" is 167; 77 more and ".<seconds>.old"
  // make 259.
  const std::u16string folder = FolderOf(150);
  const std::string fits = "resources\\" + std::string(67, 'r');
  const std::string too_long = fits + "x";
  EXPECT_EQ("",
            FindPackagePathLengthProblem(folder, version, {"a", fits}, {"b"}));
  EXPECT_NE(std::string::npos,
            FindPackagePathLengthProblem(folder, version, {"a", too_long}, {})
                .find("the package's file " + too_long +
                      " (moved aside) would be 260 characters long"));
  // A root file sits in the folder itself: 92 characters more fit.
  EXPECT_EQ("", FindPackagePathLengthProblem(folder, version, {},
                                             {std::string(93, 'r')}));
  EXPECT_NE("", FindPackagePathLengthProblem(folder, version, {},
                                             {std::string(94, 'r')}));
  // Lengths count UTF-16 units, not UTF-8 bytes.
  std::string wide;
  for (int i = 0; i < 93; ++i) wide += "\xC3\xA9";
  EXPECT_EQ("", FindPackagePathLengthProblem(folder, version, {}, {wide}));
}

}  // namespace
}  // namespace installer
