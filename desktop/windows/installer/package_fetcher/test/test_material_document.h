// TestMaterialDocument: a JSON document that the build or a test fixture
// made for the tests (material.json of the package tests, sample.json of
// the sample packages), with getters that fail the test on a missing key.
// Portable.

#ifndef DESKTOP_WINDOWS_INSTALLER_PACKAGE_FETCHER_TEST_TEST_MATERIAL_DOCUMENT_H_
#define DESKTOP_WINDOWS_INSTALLER_PACKAGE_FETCHER_TEST_TEST_MATERIAL_DOCUMENT_H_

#include <memory>
#include <string>
#include <vector>

#include "base/files/file_path.h"
#include "base/values.h"

namespace installer {
namespace test {

class TestMaterialDocument {
 public:
  // Reads |path|; a file that cannot be read fails the test, and one that
  // is not a JSON object reads as an empty document.
  explicit TestMaterialDocument(const base::FilePath& path);
  TestMaterialDocument(const TestMaterialDocument&) = delete;
  TestMaterialDocument& operator=(const TestMaterialDocument&) = delete;
  ~TestMaterialDocument();

  // The string, the list of strings or the names under the dictionary at
  // the dotted |key| ("packages.base.files"); a missing key fails the test
  // and gives an empty result.
  std::string GetString(const std::string& key) const;
  std::vector<std::string> GetStringList(const std::string& key) const;
  std::vector<std::string> GetKeys(const std::string& key) const;

  const base::DictionaryValue& root() const { return *root_; }

 private:
  std::unique_ptr<base::DictionaryValue> root_;
};

// |relative| ("hostile/x.7z") below |folder|, a folder of the build
// machine; on Windows seen through Wine's drive for the Linux root.
base::FilePath BuildMachinePath(const std::string& folder,
                                const std::string& relative);

}  // namespace test
}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_PACKAGE_FETCHER_TEST_TEST_MATERIAL_DOCUMENT_H_
