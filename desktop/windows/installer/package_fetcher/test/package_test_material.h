// The material of the package tests, made on the build machine when the
// tests run (make_test_packages.py, a CTest setup fixture): its files and
// what material.json says about them. Portable.

#ifndef DESKTOP_WINDOWS_INSTALLER_PACKAGE_FETCHER_TEST_PACKAGE_TEST_MATERIAL_H_
#define DESKTOP_WINDOWS_INSTALLER_PACKAGE_FETCHER_TEST_PACKAGE_TEST_MATERIAL_H_

#include <stdint.h>

#include <string>
#include <vector>

#include "base/files/file_path.h"

namespace installer {
namespace test {

// One file of the 300-file tree.
struct TreeFile {
  std::u16string path;  // relative, "\" separators
  uint64_t size = 0;
  std::string sha256;     // lower-case hexadecimal
  uint64_t filetime = 0;  // 0: the archive has no time for it
};

// The material folder; a relative |name| ("hostile\x.7z") below it.
base::FilePath MaterialPath(const std::string& name);

// A string of material.json at the dotted |key| ("hostile.drive"); fails
// the test (and gives "") when it is missing.
std::string MaterialString(const std::string& key);
// The names under the dictionary at |key|.
std::vector<std::string> MaterialKeys(const std::string& key);

// The tree that tree.7z holds (or the one described at |key|, as
// "fetcher.tree"): its files and every folder (relative).
std::vector<TreeFile> TreeFiles(const std::string& key = "tree");
std::vector<std::u16string> TreeFolders(const std::string& key = "tree");

// Lower-case hexadecimal SHA-256 of |data|.
std::string Sha256Hex(const std::string& data);

}  // namespace test
}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_PACKAGE_FETCHER_TEST_PACKAGE_TEST_MATERIAL_H_
