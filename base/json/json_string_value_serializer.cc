#include "base/json/json_string_value_serializer.h"

#include "base/json/json_reader.h"
#include "base/json/json_writer.h"

namespace base {

JSONStringValueSerializer::JSONStringValueSerializer(std::string* json_string)
    : json_string_(json_string) {}

JSONStringValueSerializer::~JSONStringValueSerializer() = default;

bool JSONStringValueSerializer::Serialize(const Value& root) {
  if (!json_string_) return false;
  const int options = pretty_print_ ? JSONWriter::OPTIONS_PRETTY_PRINT : 0;
  return JSONWriter::WriteWithOptions(root, options, json_string_);
}

JSONStringValueDeserializer::JSONStringValueDeserializer(
    StringPiece json_string)
    : json_string_(json_string) {}

JSONStringValueDeserializer::~JSONStringValueDeserializer() = default;

std::unique_ptr<Value> JSONStringValueDeserializer::Deserialize(
    int* error_code, std::string* error_message) {
  const int options =
      allow_trailing_comma_ ? JSONReader::JSON_ALLOW_TRAILING_COMMAS : 0;
  return JSONReader::ReadAndReturnError(json_string_, options, error_code,
                                        error_message);
}

}  // namespace base
