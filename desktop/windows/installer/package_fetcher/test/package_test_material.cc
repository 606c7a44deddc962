#include "desktop/windows/installer/package_fetcher/test/package_test_material.h"

#include <memory>

#include "base/strings/string_number_conversions.h"
#include "base/strings/utf_string_conversions.h"
#include "base/values.h"
#include "crypto/secure_hash.h"
#include "desktop/windows/installer/package_fetcher/checksum_checker.h"
#include "desktop/windows/installer/package_fetcher/test/test_material_document.h"
#include "gtest/gtest.h"

namespace installer {
namespace test {

namespace {

const TestMaterialDocument& Material() {
  static const TestMaterialDocument* material =
      new TestMaterialDocument(MaterialPath("material.json"));
  return *material;
}

}  // namespace

base::FilePath MaterialPath(const std::string& name) {
  return BuildMachinePath(VELNA_PACKAGE_TEST_DATA, name);
}

std::string MaterialString(const std::string& key) {
  return Material().GetString(key);
}

std::vector<std::string> MaterialKeys(const std::string& key) {
  return Material().GetKeys(key);
}

std::vector<TreeFile> TreeFiles(const std::string& key) {
  std::vector<TreeFile> files;
  const base::ListValue* list = nullptr;
  EXPECT_TRUE(Material().root().GetList(key + ".files", &list));
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
  for (const std::string& folder : Material().GetStringList(key + ".folders"))
    folders.push_back(base::UTF8ToUTF16(folder));
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
