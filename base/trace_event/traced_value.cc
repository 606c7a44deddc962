#include "base/trace_event/traced_value.h"

#include <stdint.h>

#include <utility>
#include <vector>

#include "base/json/json_writer.h"
#include "base/trace_event/trace_event_memory_overhead.h"
#include "base/values.h"

namespace base {
namespace trace_event {

namespace {

constexpr char kStartDictionary = '{';
constexpr char kEndDictionary = '}';
constexpr char kStartArray = '[';
constexpr char kEndArray = ']';
constexpr char kTypeBool = 'b';
constexpr char kTypeInt = 'i';
constexpr char kTypeDouble = 'd';
constexpr char kTypeString = 's';
constexpr char kTypeCStr = '*';

constexpr char kOverheadTracedValue[] = "TracedValue";

bool ReadMarker(PickleIterator* iter, char* marker) {
  const char* data;
  if (!iter->ReadBytes(&data, 1)) return false;
  *marker = *data;
  return true;
}

bool ReadKey(PickleIterator* iter, std::string* key) {
  char marker;
  if (!ReadMarker(iter, &marker)) return false;
  if (marker == kTypeCStr) {
    uint64_t pointer;
    if (!iter->ReadUInt64(&pointer)) return false;
    *key = reinterpret_cast<const char*>(static_cast<uintptr_t>(pointer));
    return true;
  }
  return marker == kTypeString && iter->ReadString(key);
}

// One open container of the tree being rebuilt.
struct OpenContainer {
  Value* value;
  bool is_list;
};

}  // namespace

TracedValue::TracedValue() = default;

TracedValue::~TracedValue() = default;

void TracedValue::WriteMarker(char marker) { pickle_.WriteBytes(&marker, 1); }

void TracedValue::WriteKey(const char* name) {
  WriteMarker(kTypeCStr);
  pickle_.WriteUInt64(reinterpret_cast<uintptr_t>(name));
}

void TracedValue::WriteCopiedKey(StringPiece name) {
  WriteMarker(kTypeString);
  pickle_.WriteString(name);
}

void TracedValue::SetInteger(const char* name, int value) {
  WriteMarker(kTypeInt);
  pickle_.WriteInt(value);
  WriteKey(name);
}

void TracedValue::SetDouble(const char* name, double value) {
  WriteMarker(kTypeDouble);
  pickle_.WriteDouble(value);
  WriteKey(name);
}

void TracedValue::SetBoolean(const char* name, bool value) {
  WriteMarker(kTypeBool);
  pickle_.WriteBool(value);
  WriteKey(name);
}

void TracedValue::SetString(const char* name, StringPiece value) {
  WriteMarker(kTypeString);
  pickle_.WriteString(value);
  WriteKey(name);
}

void TracedValue::BeginDictionary(const char* name) {
  WriteMarker(kStartDictionary);
  WriteKey(name);
}

void TracedValue::BeginArray(const char* name) {
  WriteMarker(kStartArray);
  WriteKey(name);
}

void TracedValue::SetIntegerWithCopiedName(StringPiece name, int value) {
  WriteMarker(kTypeInt);
  pickle_.WriteInt(value);
  WriteCopiedKey(name);
}

void TracedValue::SetStringWithCopiedName(StringPiece name, StringPiece value) {
  WriteMarker(kTypeString);
  pickle_.WriteString(value);
  WriteCopiedKey(name);
}

void TracedValue::BeginDictionaryWithCopiedName(StringPiece name) {
  WriteMarker(kStartDictionary);
  WriteCopiedKey(name);
}

void TracedValue::AppendInteger(int value) {
  WriteMarker(kTypeInt);
  pickle_.WriteInt(value);
}

void TracedValue::AppendDouble(double value) {
  WriteMarker(kTypeDouble);
  pickle_.WriteDouble(value);
}

void TracedValue::AppendBoolean(bool value) {
  WriteMarker(kTypeBool);
  pickle_.WriteBool(value);
}

void TracedValue::AppendString(StringPiece value) {
  WriteMarker(kTypeString);
  pickle_.WriteString(value);
}

void TracedValue::BeginDictionary() { WriteMarker(kStartDictionary); }

void TracedValue::BeginArray() { WriteMarker(kStartArray); }

void TracedValue::EndDictionary() { WriteMarker(kEndDictionary); }

void TracedValue::EndArray() { WriteMarker(kEndArray); }

std::unique_ptr<DictionaryValue> TracedValue::ToBaseValue() const {
  auto root = std::make_unique<DictionaryValue>();
  std::vector<OpenContainer> stack = {{root.get(), false}};
  PickleIterator iter(pickle_);
  char marker;
  while (ReadMarker(&iter, &marker)) {
    if (marker == kEndDictionary || marker == kEndArray) {
      if (stack.size() > 1) stack.pop_back();
      continue;
    }
    std::unique_ptr<Value> value;
    bool opens_list = false;
    switch (marker) {
      case kStartDictionary:
        value = std::make_unique<DictionaryValue>();
        break;
      case kStartArray:
        value = std::make_unique<ListValue>();
        opens_list = true;
        break;
      case kTypeBool: {
        bool flag;
        if (!iter.ReadBool(&flag)) return root;
        value = std::make_unique<FundamentalValue>(flag);
        break;
      }
      case kTypeInt: {
        int number;
        if (!iter.ReadInt(&number)) return root;
        value = std::make_unique<FundamentalValue>(number);
        break;
      }
      case kTypeDouble: {
        double number;
        if (!iter.ReadDouble(&number)) return root;
        value = std::make_unique<FundamentalValue>(number);
        break;
      }
      case kTypeString: {
        std::string text;
        if (!iter.ReadString(&text)) return root;
        value = std::make_unique<StringValue>(std::move(text));
        break;
      }
      default:
        return root;
    }
    Value* raw = value.get();
    OpenContainer& parent = stack.back();
    if (parent.is_list) {
      static_cast<ListValue*>(parent.value)->Append(std::move(value));
    } else {
      std::string key;
      if (!ReadKey(&iter, &key)) return root;
      static_cast<DictionaryValue*>(parent.value)
          ->SetWithoutPathExpansion(key, std::move(value));
    }
    if (marker == kStartDictionary || marker == kStartArray)
      stack.push_back({raw, opens_list});
  }
  return root;
}

void TracedValue::AppendAsTraceFormat(std::string* out) const {
  std::string json;
  JSONWriter::Write(*ToBaseValue(), &json);
  out->append(json);
}

void TracedValue::EstimateTraceMemoryOverhead(
    TraceEventMemoryOverhead* overhead) {
  overhead->Add(kOverheadTracedValue,
                sizeof(Pickle) + pickle_.capacity_after_header(),
                sizeof(Pickle) + pickle_.size());
}

}  // namespace trace_event
}  // namespace base
