// Builds a trace event from the input (names, category, scope and string
// arguments of any bytes: quotes, control bytes, bad UTF-8; doubles of any
// bit pattern, NaN included; any flags) and writes it as trace JSON. The
// JSON reader must always accept the result as an object carrying the
// common members.

#include <stddef.h>
#include <stdint.h>
#include <string.h>

#include <memory>
#include <string>

#include "base/json/json_reader.h"
#include "base/time/time.h"
#include "base/trace_event/trace_event_record.h"
#include "base/trace_event/trace_log.h"
#include "base/values.h"

namespace {

class Input {
 public:
  Input(const uint8_t* data, size_t size) : data_(data), size_(size) {}

  uint8_t Byte() { return position_ < size_ ? data_[position_++] : 0; }

  template <typename T>
  T Bits() {
    T value{};
    const size_t left = size_ - position_;
    const size_t count = left < sizeof(T) ? left : sizeof(T);
    memcpy(&value, data_ + position_, count);
    position_ += count;
    return value;
  }

  // Up to 31 bytes, zero bytes excluded (the record keeps C strings).
  std::string Text() {
    std::string text;
    const size_t count = Byte() % 32;
    for (size_t i = 0; i < count && position_ < size_; ++i) {
      char c = static_cast<char>(Byte());
      text.push_back(c == '\0' ? '"' : c);
    }
    return text;
  }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t position_ = 0;
};

constexpr char kPhases[] = "BEXIbesfMnC=ST";

class FuzzConvertable : public base::trace_event::ConvertableToTraceFormat {
 public:
  void AppendAsTraceFormat(std::string* out) const override {
    out->append("[1,\"two\"]");
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using base::trace_event::TraceEvent;
  Input input(data, size);
  // The category table holds 200 groups; later names share group 2.
  const std::string category = input.Text();
  const unsigned char* state =
      base::trace_event::TraceLog::GetInstance()->GetCategoryGroupEnabled(
          category.c_str());
  const std::string name = input.Text();
  const std::string scope = input.Text();
  const char phase = kPhases[input.Byte() % (sizeof(kPhases) - 1)];
  const unsigned int flags = input.Bits<uint16_t>();
  const int num_args = input.Byte() % 4;
  std::string arg_names[2];
  std::string arg_texts[2];
  const char* names[2] = {};
  unsigned char types[2] = {};
  unsigned long long values[2] = {};
  std::unique_ptr<base::trace_event::ConvertableToTraceFormat> convertables[2];
  for (int i = 0; i < 2; ++i) {
    arg_names[i] = input.Text();
    names[i] = arg_names[i].c_str();
    types[i] = static_cast<unsigned char>(1 + input.Byte() % 8);
    if (types[i] == base::trace_event::kArgTypeString ||
        types[i] == base::trace_event::kArgTypeCopyString) {
      arg_texts[i] = input.Text();
      values[i] = input.Byte() % 8 == 0
                      ? 0
                      : reinterpret_cast<uintptr_t>(arg_texts[i].c_str());
    } else if (types[i] == base::trace_event::kArgTypeConvertable) {
      convertables[i] = std::make_unique<FuzzConvertable>();
    } else {
      values[i] = input.Bits<unsigned long long>();
    }
  }

  TraceEvent event;
  event.Initialize(
      input.Bits<int>(),
      base::TimeTicks::FromInternalValue(input.Bits<int64_t>()),
      base::ThreadTicks::FromInternalValue(input.Bits<int64_t>()), phase, state,
      name.c_str(), scope.empty() ? nullptr : scope.c_str(),
      input.Bits<unsigned long long>(), input.Bits<unsigned long long>(),
      num_args, names, types, values, convertables, flags);
  if (input.Byte() & 1)
    event.UpdateDuration(
        base::TimeTicks::FromInternalValue(input.Bits<int64_t>()),
        base::ThreadTicks::FromInternalValue(input.Bits<int64_t>()));

  std::string json;
  event.AppendAsJSON(&json, nullptr);
  std::unique_ptr<base::Value> parsed = base::JSONReader::Read(json);
  const base::DictionaryValue* dict = nullptr;
  if (!parsed || !parsed->GetAsDictionary(&dict)) __builtin_trap();
  for (const char* member : {"pid", "tid", "ts", "ph", "cat", "name", "args"}) {
    if (!dict->HasKey(member)) __builtin_trap();
  }
  return 0;
}
