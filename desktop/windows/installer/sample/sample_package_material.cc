#include "desktop/windows/installer/sample/sample_package_material.h"

#include "base/files/file_enumerator.h"
#include "base/files/file_util.h"
#include "base/strings/utf_string_conversions.h"
#include "desktop/windows/installer/package_fetcher/test/test_material_document.h"
#include "gtest/gtest.h"

namespace installer {
namespace test {

namespace {

const TestMaterialDocument& Manifest() {
  static const TestMaterialDocument* manifest =
      new TestMaterialDocument(SamplePath("sample.json"));
  return *manifest;
}

}  // namespace

base::FilePath SamplePath(const std::string& relative) {
  return BuildMachinePath(VELNA_SAMPLE_PACKAGES, relative);
}

std::string SampleString(const std::string& key) {
  return Manifest().GetString(key);
}

std::vector<std::string> SampleList(const std::string& key) {
  return Manifest().GetStringList(key);
}

std::string SamplePackageKey(const std::string& package,
                             const std::string& key) {
  return "packages." + package + "." + key;
}

base::FilePath SamplePackageTree(const std::string& package) {
  return SamplePath(SampleString(SamplePackageKey(package, "tree")));
}

std::map<std::u16string, std::string> ReadFileTree(const base::FilePath& root) {
  std::map<std::u16string, std::string> tree;
  base::FileEnumerator files(root, true, base::FileEnumerator::FILES);
  for (base::FilePath path = files.Next(); !path.empty(); path = files.Next()) {
    base::FilePath relative;
    EXPECT_TRUE(root.AppendRelativePath(path, &relative)) << path.AsUTF8();
    EXPECT_TRUE(base::FileUtil::ReadFileToString(path, &tree[relative.value()]))
        << path.AsUTF8();
  }
  return tree;
}

}  // namespace test
}  // namespace installer
