// JSON text in a string as the target of a value serializer and the source
// of a value deserializer.

#ifndef BASE_JSON_JSON_STRING_VALUE_SERIALIZER_H_
#define BASE_JSON_JSON_STRING_VALUE_SERIALIZER_H_

#include <memory>
#include <string>

#include "base/strings/string_piece.h"
#include "base/values.h"

namespace base {

// Writes into a string owned by the caller, which must outlive the
// serializer.
class JSONStringValueSerializer : public ValueSerializer {
 public:
  // |json_string| may be null; Serialize then fails.
  explicit JSONStringValueSerializer(std::string* json_string);
  JSONStringValueSerializer(const JSONStringValueSerializer&) = delete;
  JSONStringValueSerializer& operator=(const JSONStringValueSerializer&) =
      delete;
  ~JSONStringValueSerializer() override;

  // Replaces the target's text with the JSON of |root|; compact unless
  // pretty printing was asked for. False without a target, or when the
  // writer fails.
  bool Serialize(const Value& root) override;

  void set_pretty_print(bool new_value) { pretty_print_ = new_value; }
  bool pretty_print() const { return pretty_print_; }

 private:
  std::string* const json_string_;
  bool pretty_print_ = false;
};

// Reads the JSON text of a view whose bytes must outlive the deserializer.
// Error codes and messages are those of JSONReader.
class JSONStringValueDeserializer : public ValueDeserializer {
 public:
  explicit JSONStringValueDeserializer(StringPiece json_string);
  JSONStringValueDeserializer(const JSONStringValueDeserializer&) = delete;
  JSONStringValueDeserializer& operator=(const JSONStringValueDeserializer&) =
      delete;
  ~JSONStringValueDeserializer() override;

  std::unique_ptr<Value> Deserialize(int* error_code,
                                     std::string* error_message) override;

  // Trailing commas are refused unless this is set.
  void set_allow_trailing_comma(bool new_value) {
    allow_trailing_comma_ = new_value;
  }

 private:
  const StringPiece json_string_;
  bool allow_trailing_comma_ = false;
};

}  // namespace base

#endif  // BASE_JSON_JSON_STRING_VALUE_SERIALIZER_H_
