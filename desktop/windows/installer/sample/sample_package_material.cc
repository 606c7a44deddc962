#include "desktop/windows/installer/sample/sample_package_material.h"

#include <memory>

#include "base/files/file_enumerator.h"
#include "base/files/file_util.h"
#include "base/json/json_reader.h"
#include "base/strings/utf_string_conversions.h"
#include "base/values.h"
#include "gtest/gtest.h"

namespace installer {
namespace test {

namespace {

const base::DictionaryValue& Manifest() {
  static const base::DictionaryValue* manifest = [] {
    std::string json;
    EXPECT_TRUE(
        base::FileUtil::ReadFileToString(SamplePath("sample.json"), &json));
    std::unique_ptr<base::Value> value = base::JSONReader::Read(json);
    base::DictionaryValue* dictionary = nullptr;
    if (!value || !value->GetAsDictionary(&dictionary))
      return new base::DictionaryValue();
    value.release();
    return dictionary;
  }();
  return *manifest;
}

}  // namespace

base::FilePath SamplePath(const std::string& relative) {
  // The build machine's path, seen through Wine's drive for its root.
  const base::FilePath folder =
      base::FilePath(u"Z:" + base::UTF8ToUTF16(VELNA_SAMPLE_PACKAGES))
          .NormalizePathSeparators();
  return folder.AppendPath(
      base::FilePath(base::UTF8ToUTF16(relative)).NormalizePathSeparators());
}

std::string SampleString(const std::string& key) {
  std::string value;
  EXPECT_TRUE(Manifest().GetString(key, &value)) << key;
  return value;
}

std::vector<std::string> SampleList(const std::string& key) {
  std::vector<std::string> values;
  const base::ListValue* list = nullptr;
  EXPECT_TRUE(Manifest().GetList(key, &list)) << key;
  for (size_t i = 0; list && i < list->GetSize(); ++i) {
    std::string value;
    EXPECT_TRUE(list->GetString(i, &value));
    values.push_back(value);
  }
  return values;
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
