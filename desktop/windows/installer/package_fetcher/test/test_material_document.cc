#include "desktop/windows/installer/package_fetcher/test/test_material_document.h"

#include "base/files/file_util.h"
#include "base/json/json_reader.h"
#include "base/strings/utf_string_conversions.h"
#include "gtest/gtest.h"

namespace installer {
namespace test {

TestMaterialDocument::TestMaterialDocument(const base::FilePath& path) {
  std::string json;
  EXPECT_TRUE(base::FileUtil::ReadFileToString(path, &json)) << path.AsUTF8();
  std::unique_ptr<base::Value> value = base::JSONReader::Read(json);
  base::DictionaryValue* dictionary = nullptr;
  if (value && value->GetAsDictionary(&dictionary)) {
    value.release();
    root_.reset(dictionary);
  } else {
    root_ = std::make_unique<base::DictionaryValue>();
  }
}

TestMaterialDocument::~TestMaterialDocument() = default;

std::string TestMaterialDocument::GetString(const std::string& key) const {
  std::string value;
  EXPECT_TRUE(root_->GetString(key, &value)) << key;
  return value;
}

std::vector<std::string> TestMaterialDocument::GetStringList(
    const std::string& key) const {
  std::vector<std::string> values;
  const base::ListValue* list = nullptr;
  EXPECT_TRUE(root_->GetList(key, &list)) << key;
  for (size_t i = 0; list && i < list->GetSize(); ++i) {
    std::string value;
    EXPECT_TRUE(list->GetString(i, &value));
    values.push_back(value);
  }
  return values;
}

std::vector<std::string> TestMaterialDocument::GetKeys(
    const std::string& key) const {
  std::vector<std::string> keys;
  const base::DictionaryValue* dictionary = nullptr;
  EXPECT_TRUE(root_->GetDictionary(key, &dictionary)) << key;
  if (!dictionary) return keys;
  for (base::DictionaryValue::Iterator it(*dictionary); !it.IsAtEnd();
       it.Advance()) {
    keys.push_back(it.key());
  }
  return keys;
}

base::FilePath BuildMachinePath(const std::string& folder,
                                const std::string& relative) {
  std::u16string path = base::UTF8ToUTF16(folder);
#if defined(_WIN32)
  if (!path.empty() && path[0] == u'/') path = u"Z:" + path;
#endif
  return base::FilePath(path).NormalizePathSeparators().AppendPath(
      base::FilePath(base::UTF8ToUTF16(relative)).NormalizePathSeparators());
}

}  // namespace test
}  // namespace installer
