#include "desktop/windows/installer/package_fetcher/test/package_test_material.h"

#include <memory>

#include "base/files/file_util.h"
#include "base/json/json_reader.h"
#include "base/strings/string_number_conversions.h"
#include "base/strings/utf_string_conversions.h"
#include "base/values.h"
#include "crypto/secure_hash.h"
#include "desktop/windows/installer/package_fetcher/checksum_checker.h"
#include "gtest/gtest.h"

namespace installer {
namespace test {

namespace {

base::FilePath MaterialFolder() {
  std::u16string folder = base::UTF8ToUTF16(VELNA_PACKAGE_TEST_DATA);
#if defined(_WIN32)
  // The build machine's path, seen through Wine's drive for its root.
  if (!folder.empty() && folder[0] == u'/') folder = u"Z:" + folder;
#endif
  return base::FilePath(folder).NormalizePathSeparators();
}

const base::DictionaryValue& Material() {
  static const base::DictionaryValue* material = [] {
    std::string json;
    EXPECT_TRUE(base::FileUtil::ReadFileToString(
        MaterialFolder().AppendASCII("material.json"), &json));
    std::unique_ptr<base::Value> value = base::JSONReader::Read(json);
    base::DictionaryValue* dictionary = nullptr;
    if (!value || !value->GetAsDictionary(&dictionary))
      return new base::DictionaryValue();
    value.release();
    return dictionary;
  }();
  return *material;
}

}  // namespace

base::FilePath MaterialPath(const std::string& name) {
  return MaterialFolder().AppendPath(
      base::FilePath(base::UTF8ToUTF16(name)).NormalizePathSeparators());
}

std::string MaterialString(const std::string& key) {
  std::string value;
  EXPECT_TRUE(Material().GetString(key, &value)) << key;
  return value;
}

std::vector<std::string> MaterialKeys(const std::string& key) {
  std::vector<std::string> keys;
  const base::DictionaryValue* dictionary = nullptr;
  EXPECT_TRUE(Material().GetDictionary(key, &dictionary)) << key;
  if (!dictionary) return keys;
  for (base::DictionaryValue::Iterator it(*dictionary); !it.IsAtEnd();
       it.Advance()) {
    keys.push_back(it.key());
  }
  return keys;
}

std::vector<TreeFile> TreeFiles(const std::string& key) {
  std::vector<TreeFile> files;
  const base::ListValue* list = nullptr;
  EXPECT_TRUE(Material().GetList(key + ".files", &list));
  if (!list) return files;
  for (size_t i = 0; i < list->GetSize(); ++i) {
    const base::DictionaryValue* entry = nullptr;
    EXPECT_TRUE(list->GetDictionary(i, &entry));
    TreeFile file;
    int size = 0;
    std::string filetime;
    EXPECT_TRUE(entry->GetString("path", &file.path));
    EXPECT_TRUE(entry->GetInteger("size", &size));
    EXPECT_TRUE(entry->GetString("sha256", &file.sha256));
    EXPECT_TRUE(entry->GetString("filetime", &filetime));
    file.size = static_cast<uint64_t>(size);
    if (!filetime.empty()) {
      EXPECT_TRUE(base::StringToUint64(filetime, &file.filetime));
    }
    files.push_back(file);
  }
  return files;
}

std::vector<std::u16string> TreeFolders(const std::string& key) {
  std::vector<std::u16string> folders;
  const base::ListValue* list = nullptr;
  EXPECT_TRUE(Material().GetList(key + ".folders", &list));
  for (size_t i = 0; list && i < list->GetSize(); ++i) {
    std::u16string folder;
    EXPECT_TRUE(list->GetString(i, &folder));
    folders.push_back(folder);
  }
  return folders;
}

std::string Sha256Hex(const std::string& data) {
  std::unique_ptr<crypto::SecureHash> hash =
      crypto::SecureHash::Create(crypto::SecureHash::SHA256);
  hash->Update(data.data(), data.size());
  uint8_t digest[32];
  hash->Finish(digest, sizeof(digest));
  return ChecksumChecker::FormatDigest(digest, sizeof(digest));
}

}  // namespace test
}  // namespace installer
