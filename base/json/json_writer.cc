#include "base/json/json_writer.h"

#include <cmath>

#include "base/json/json_reader.h"
#include "base/json/string_escape.h"
#include "base/logging.h"
#include "base/strings/dtoa.h"
#include "base/strings/string_number_conversions.h"
#include "base/values.h"

namespace base {

namespace {

constexpr char kPrettyPrintLineEnding[] = "\r\n";
constexpr size_t kIndentWidth = 3;
// 2^63 as a double: the first value past the int64 range.
constexpr double kTwoToThe63 = 9223372036854775808.0;

}  // namespace

// static
bool JSONWriter::Write(const Value& node, std::string* json) {
  return WriteWithOptions(node, 0, json);
}

// static
bool JSONWriter::WriteWithOptions(const Value& node, int options,
                                  std::string* json) {
  json->clear();
  json->reserve(1024);
  JSONWriter writer(options, json);
  const bool result = writer.BuildJSONString(node, 0);
  if (writer.pretty_print_) json->append(kPrettyPrintLineEnding);
  return result;
}

JSONWriter::JSONWriter(int options, std::string* json)
    : omit_binary_values_(options & OPTIONS_OMIT_BINARY_VALUES),
      omit_double_type_preservation_(options &
                                     OPTIONS_OMIT_DOUBLE_TYPE_PRESERVATION),
      pretty_print_(options & OPTIONS_PRETTY_PRINT),
      json_string_(json) {}

bool JSONWriter::BuildJSONString(const Value& node, size_t depth) {
  switch (node.GetType()) {
    case Value::TYPE_NULL:
      json_string_->append("null");
      return true;
    case Value::TYPE_BOOLEAN: {
      bool value = false;
      CHECK(node.GetAsBoolean(&value));
      json_string_->append(value ? "true" : "false");
      return true;
    }
    case Value::TYPE_INTEGER: {
      int value = 0;
      CHECK(node.GetAsInteger(&value));
      json_string_->append(IntToString(value));
      return true;
    }
    case Value::TYPE_DOUBLE: {
      double value = 0;
      CHECK(node.GetAsDouble(&value));
      WriteDouble(value);
      return true;
    }
    case Value::TYPE_STRING: {
      const StringValue* value = nullptr;
      CHECK(node.GetAsString(&value));
      // A replaced character does not fail the write.
      EscapeJSONString(value->GetString(), true, json_string_);
      return true;
    }
    case Value::TYPE_DICTIONARY:
    case Value::TYPE_LIST:
      return WriteContainer(node, depth);
    case Value::TYPE_BINARY:
      return omit_binary_values_;
  }
  NOTREACHED();
  return false;
}

bool JSONWriter::WriteContainer(const Value& node, size_t depth) {
  // The reader refuses a deeper tree: text that cannot be read back must
  // never replace a file that can.
  if (open_containers_ >= JSONReader::kMaxContainerDepth) return false;
  ++open_containers_;
  const bool result = node.IsType(Value::TYPE_DICTIONARY)
                          ? WriteDictionary(node, depth)
                          : WriteList(node, depth);
  --open_containers_;
  return result;
}

bool JSONWriter::WriteDictionary(const Value& node, size_t depth) {
  const DictionaryValue* dict = nullptr;
  CHECK(node.GetAsDictionary(&dict));
  json_string_->push_back('{');
  if (pretty_print_) json_string_->append(kPrettyPrintLineEnding);
  bool result = true;
  bool first_written = true;
  for (DictionaryValue::Iterator it(*dict); !it.IsAtEnd(); it.Advance()) {
    if (omit_binary_values_ && it.value().IsType(Value::TYPE_BINARY)) continue;
    if (!first_written) {
      json_string_->push_back(',');
      if (pretty_print_) json_string_->append(kPrettyPrintLineEnding);
    }
    first_written = false;
    if (pretty_print_) IndentLine(depth + 1);
    EscapeJSONString(it.key(), true, json_string_);
    json_string_->append(pretty_print_ ? ": " : ":");
    // A failed entry does not stop its siblings.
    if (!BuildJSONString(it.value(), depth + 1)) result = false;
  }
  if (pretty_print_) {
    json_string_->append(kPrettyPrintLineEnding);
    IndentLine(depth);
  }
  json_string_->push_back('}');
  return result;
}

bool JSONWriter::WriteList(const Value& node, size_t depth) {
  const ListValue* list = nullptr;
  CHECK(node.GetAsList(&list));
  json_string_->push_back('[');
  if (pretty_print_) json_string_->push_back(' ');
  bool result = true;
  bool first_written = true;
  for (const auto& element : *list) {
    if (omit_binary_values_ && element->IsType(Value::TYPE_BINARY)) continue;
    if (!first_written) json_string_->append(pretty_print_ ? ", " : ",");
    first_written = false;
    // Lists stay on one line, so their elements keep the list's depth.
    if (!BuildJSONString(*element, depth)) result = false;
  }
  if (pretty_print_) json_string_->push_back(' ');
  json_string_->push_back(']');
  return result;
}

void JSONWriter::WriteDouble(double value) {
  if (omit_double_type_preservation_ && value >= -kTwoToThe63 &&
      value < kTwoToThe63 && std::trunc(value) == value) {
    json_string_->append(Int64ToString(static_cast<int64_t>(value)));
    return;
  }
  char buffer[kGFmtBufferSize];
  std::string text = g_fmt(buffer, value);
  // Keep the number a double when read back, and give JSON the leading
  // zero that the shortest form leaves out.
  if (text.find_first_of(".eE") == std::string::npos) text.append(".0");
  if (text[0] == '.')
    text.insert(0, 1, '0');
  else if (text[0] == '-' && text[1] == '.')
    text.insert(1, 1, '0');
  json_string_->append(text);
}

void JSONWriter::IndentLine(size_t depth) {
  json_string_->append(depth * kIndentWidth, ' ');
}

}  // namespace base
