#include "desktop/common/autoupdate/updatechecker/globalstorage_fallback_file.h"

#include <utility>

#include "base/files/file_util.h"
#include "base/strings/utf_string_conversions.h"

namespace autoupdate {

namespace {

constexpr char kPoolName[] = "GsTaskPool";

}  // namespace

GlobalStorageFallbackFile::GlobalStorageFallbackFile(const base::FilePath& path)
    : path_(path),
      pool_(base::MakeRefCounted<base::SequencedWorkerPool>(1, kPoolName)),
      store_(base::MakeRefCounted<prefs::JsonPrefStore>(
          path, prefs::JsonPrefStore::GetTaskRunnerForFile(path, pool_.get()),
          nullptr)) {
  store_->ReadPrefs();
}

GlobalStorageFallbackFile::~GlobalStorageFallbackFile() {
  pool_->Shutdown(0);
  store_.reset();
  pool_.reset();
}

bool GlobalStorageFallbackFile::ReadValue(const std::string& key,
                                          std::string* out) {
  out->clear();
  const base::Value* values = nullptr;
  if (!store_->GetValue(kGlobalStorageDictionaryKey, &values)) return true;
  const base::DictionaryValue* dictionary = nullptr;
  if (!values->GetAsDictionary(&dictionary)) return false;
  // Written under the literal key; a peer's nested file is read by path.
  const base::Value* value = nullptr;
  if (dictionary->GetWithoutPathExpansion(key, &value))
    return value->GetAsString(out) && base::IsStringASCII(*out);
  return dictionary->GetStringASCII(key, out);
}

std::unique_ptr<base::DictionaryValue> GlobalStorageFallbackFile::ReadAll() {
  const base::Value* values = nullptr;
  const base::DictionaryValue* dictionary = nullptr;
  if (!store_->GetValue(kGlobalStorageDictionaryKey, &values) ||
      !values->GetAsDictionary(&dictionary)) {
    return nullptr;
  }
  return dictionary->CreateDeepCopy();
}

bool GlobalStorageFallbackFile::WriteValue(const std::string& key,
                                           const std::string& value) {
  // A write into a folder that is not there would fail unseen on the pool.
  if (store_->ReadOnly() || !base::DirectoryExists(path_.DirName()))
    return false;
  std::unique_ptr<base::DictionaryValue> dictionary;
  const base::Value* values = nullptr;
  if (store_->GetValue(kGlobalStorageDictionaryKey, &values)) {
    const base::DictionaryValue* stored = nullptr;
    if (!values->GetAsDictionary(&stored)) return false;
    dictionary = stored->CreateDeepCopy();
  } else {
    dictionary = std::make_unique<base::DictionaryValue>();
  }
  if (value.empty())
    dictionary->RemoveWithoutPathExpansion(key, nullptr);
  else
    dictionary->SetStringWithoutPathExpansion(key, value);
  store_->SetValue(kGlobalStorageDictionaryKey, std::move(dictionary),
                   prefs::DEFAULT_PREF_WRITE_FLAGS);
  store_->CommitPendingWrite();
  return true;
}

}  // namespace autoupdate
