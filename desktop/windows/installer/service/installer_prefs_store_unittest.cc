#include "desktop/windows/installer/service/installer_prefs_store.h"

#include <string>

#include "base/files/file_util.h"
#include "base/test/scoped_temp_dir.h"
#include "gtest/gtest.h"

namespace installer {
namespace {

class InstallerPrefsStoreTest : public testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(temp_.CreateUniqueTempDir()); }

  base::FilePath Write(const std::string& contents) {
    const base::FilePath path = temp_.GetPath().Append(kInstallerPrefsFileName);
    EXPECT_EQ(static_cast<int>(contents.size()),
              base::WriteBufferToFile(path, contents.data(),
                                      static_cast<int>(contents.size())));
    return path;
  }

  base::ScopedTempDir temp_;
};

TEST_F(InstallerPrefsStoreTest, BadFilesReadAsMissingAndStayAsTheyAre) {
  const std::string kBadContents[] = {
      "{\"profile_path\": ",  // cut short
      "[\"profile_path\"]",   // not an object
      "\"text\"",
      std::string("{\"a\":\0}", 7),
      "",
  };
  for (const std::string& contents : kBadContents) {
    SCOPED_TRACE(contents);
    const base::FilePath path = Write(contents);
    base::ScopedRefPtr<InstallerPrefsStore> store =
        InstallerPrefsStore::Read(path);
    EXPECT_TRUE(store->IsInitializationComplete());
    EXPECT_FALSE(store->GetValue(kProfilePathPref, nullptr));
    // Nothing renamed, nothing written.
    std::string after;
    EXPECT_TRUE(base::FileUtil::ReadFileToString(path, &after));
    EXPECT_EQ(contents, after);
    EXPECT_FALSE(base::PathExists(path.ReplaceExtension(u"bad")));
  }
}

TEST_F(InstallerPrefsStoreTest, MissingAndOversizedFilesGiveAnEmptyStore) {
  const base::FilePath missing = temp_.GetPath().Append(u"none.json");
  EXPECT_FALSE(InstallerPrefsStore::Read(missing)->GetValue("a", nullptr));
  EXPECT_FALSE(base::PathExists(missing));

  std::string large = "{\"a\": \"" + std::string(kMaxJsonFileSize, 'x') + "\"}";
  const base::FilePath path = Write(large);
  EXPECT_FALSE(InstallerPrefsStore::Read(path)->GetValue("a", nullptr));
  EXPECT_FALSE(ReadJsonDictionaryFile(path));
}

TEST_F(InstallerPrefsStoreTest, ReadsValuesByDottedPath) {
  const base::FilePath path = Write(
      "{\"profile_path\": \"D:\\\\p\", \"single_profile\": true,"
      " \"nested\": {\"key\": 3}}");
  base::ScopedRefPtr<InstallerPrefsStore> store =
      InstallerPrefsStore::Read(path);
  const base::Value* value = nullptr;
  std::u16string text;
  ASSERT_TRUE(store->GetValue(kProfilePathPref, &value));
  EXPECT_TRUE(value->GetAsString(&text));
  EXPECT_EQ(u"D:\\p", text);
  bool flag = false;
  ASSERT_TRUE(store->GetValue(kSingleProfilePref, &value));
  EXPECT_TRUE(value->GetAsBoolean(&flag) && flag);
  int number = 0;
  ASSERT_TRUE(store->GetValue("nested.key", &value));
  EXPECT_TRUE(value->GetAsInteger(&number));
  EXPECT_EQ(3, number);
  EXPECT_FALSE(store->GetValue("nested.other", nullptr));
}

}  // namespace
}  // namespace installer
