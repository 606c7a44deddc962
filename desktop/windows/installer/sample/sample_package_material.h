// Where the build put the sample packages (tools/make_sample_package.py)
// and what their sample.json says, for the tests that use them under Wine.

#ifndef DESKTOP_WINDOWS_INSTALLER_SAMPLE_SAMPLE_PACKAGE_MATERIAL_H_
#define DESKTOP_WINDOWS_INSTALLER_SAMPLE_SAMPLE_PACKAGE_MATERIAL_H_

#include <map>
#include <string>
#include <vector>

#include "base/files/file_path.h"

namespace installer {
namespace test {

// A path below the sample packages' folder ("base/package").
base::FilePath SamplePath(const std::string& relative);

// A string or a list of strings of sample.json at the dotted |key|
// ("packages.base.files"); a missing key fails the test.
std::string SampleString(const std::string& key);
std::vector<std::string> SampleList(const std::string& key);

// "packages.<package>.<key>".
std::string SamplePackageKey(const std::string& package,
                             const std::string& key);

// The unpacked tree of |package| ("base" or "update").
base::FilePath SamplePackageTree(const std::string& package);

// Every file below |root|: its path relative to |root| ("\" separators) and
// its contents.
std::map<std::u16string, std::string> ReadFileTree(const base::FilePath& root);

}  // namespace test
}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_SAMPLE_SAMPLE_PACKAGE_MATERIAL_H_
