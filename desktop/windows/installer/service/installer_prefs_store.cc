#include "desktop/windows/installer/service/installer_prefs_store.h"

#include <utility>

#include "base/files/file_util.h"
#include "base/json/json_reader.h"

namespace installer {

std::unique_ptr<base::DictionaryValue> ReadJsonDictionaryFile(
    const base::FilePath& path) {
  // Read and parsed here rather than by a preference store, whose read moves
  // a file that does not parse aside.
  std::string text;
  if (!base::FileUtil::ReadFileToStringWithMaxSize(path, &text,
                                                   kMaxJsonFileSize)) {
    return nullptr;
  }
  std::unique_ptr<base::Value> value = base::JSONReader::Read(text);
  base::DictionaryValue* dictionary = nullptr;
  if (!value || !value->GetAsDictionary(&dictionary)) return nullptr;
  value.release();
  return std::unique_ptr<base::DictionaryValue>(dictionary);
}

// static
base::ScopedRefPtr<InstallerPrefsStore> InstallerPrefsStore::Read(
    const base::FilePath& path) {
  std::unique_ptr<base::DictionaryValue> values = ReadJsonDictionaryFile(path);
  if (!values) values = std::make_unique<base::DictionaryValue>();
  return base::ScopedRefPtr<InstallerPrefsStore>(
      new InstallerPrefsStore(std::move(values)));
}

InstallerPrefsStore::InstallerPrefsStore(
    std::unique_ptr<base::DictionaryValue> values)
    : values_(std::move(values)) {}

InstallerPrefsStore::~InstallerPrefsStore() = default;

bool InstallerPrefsStore::GetValue(const std::string& key,
                                   const base::Value** result) const {
  const base::Value* value = nullptr;
  if (!values_->Get(key, &value)) return false;
  if (result) *result = value;
  return true;
}

}  // namespace installer
