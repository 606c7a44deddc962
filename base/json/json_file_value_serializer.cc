#include "base/json/json_file_value_serializer.h"

#include "base/json/json_string_value_serializer.h"

namespace base {

const char JSONFileValueDeserializer::kAccessDenied[] = "Access denied.";
const char JSONFileValueDeserializer::kCannotReadFile[] = "Can't read file.";
const char JSONFileValueDeserializer::kFileLocked[] = "File locked.";
const char JSONFileValueDeserializer::kNoSuchFile[] = "File doesn't exist.";

JSONFileValueDeserializer::JSONFileValueDeserializer(
    const FilePath& json_file_path)
    : json_file_path_(json_file_path) {}

JSONFileValueDeserializer::~JSONFileValueDeserializer() = default;

std::unique_ptr<Value> JSONFileValueDeserializer::Deserialize(
    int* error_code, std::string* error_message) {
  std::string json_string;
  int system_error = 0;
  if (!ReadFileContents(&json_string, &system_error)) {
    const int code = ClassifyReadError(system_error, json_file_path_);
    if (error_code) *error_code = code;
    if (error_message) *error_message = GetErrorMessageForCode(code);
    return nullptr;
  }
  last_read_size_ = json_string.size();
  JSONStringValueDeserializer deserializer(json_string);
  deserializer.set_allow_trailing_comma(allow_trailing_comma_);
  return deserializer.Deserialize(error_code, error_message);
}

// static
std::string JSONFileValueDeserializer::GetErrorMessageForCode(int error_code) {
  switch (error_code) {
    case JSON_ACCESS_DENIED:
      return kAccessDenied;
    case JSON_CANNOT_READ_FILE:
      return kCannotReadFile;
    case JSON_FILE_LOCKED:
      return kFileLocked;
    case JSON_NO_SUCH_FILE:
      return kNoSuchFile;
    default:
      return std::string();
  }
}

}  // namespace base
