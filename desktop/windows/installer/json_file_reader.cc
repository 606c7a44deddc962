#include "desktop/windows/installer/json_file_reader.h"

#include "base/json/json_file_value_serializer.h"

namespace installer {

std::unique_ptr<base::DictionaryValue> ReadJsonDictionaryFile(
    const base::FilePath& path) {
  base::JSONFileValueDeserializer deserializer(path);
  std::unique_ptr<base::Value> value =
      deserializer.Deserialize(nullptr, nullptr);
  base::DictionaryValue* dictionary = nullptr;
  if (!value || !value->GetAsDictionary(&dictionary)) return nullptr;
  value.release();
  return std::unique_ptr<base::DictionaryValue>(dictionary);
}

}  // namespace installer
