// Builds a value tree from the input, writes it compact and pretty, and
// requires the reader to give back an equal tree. Strings hold any valid
// code point, noncharacters and control characters included; doubles are
// any bit pattern (non-finite ones are stored as 0.0). Trees may nest a
// little deeper than the reader accepts: the writer must refuse exactly
// those.

#include <stddef.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <memory>
#include <string>
#include <utility>

#include "base/json/json_reader.h"
#include "base/json/json_writer.h"
#include "base/strings/utf_string_conversion_utils.h"
#include "base/values.h"

namespace {

// Two levels past the reader's limit.
constexpr int kMaxContainerDepth = base::JSONReader::kMaxContainerDepth + 2;
constexpr size_t kMaxChildren = 16;
constexpr size_t kMaxStringCodePoints = 24;

class Input {
 public:
  Input(const uint8_t* data, size_t size) : data_(data), size_(size) {}

  bool empty() const { return position_ >= size_; }

  uint8_t Byte() { return empty() ? 0 : data_[position_++]; }

  template <typename T>
  T Bits() {
    T value{};
    const size_t count =
        size_ - position_ < sizeof(T) ? size_ - position_ : sizeof(T);
    memcpy(&value, data_ + position_, count);
    position_ += count;
    return value;
  }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t position_ = 0;
};

// A code point of any plane but never a surrogate; small values are made
// likely so that escapes and noncharacters come up often.
int32_t CodePoint(Input* input) {
  const uint8_t kind = input->Byte();
  uint32_t value;
  switch (kind % 4) {
    case 0:
      value = input->Byte();
      break;
    case 1:
      value = 0xFDC0 + input->Byte() % 0x40;
      break;
    case 2: {
      const uint32_t low = 0xFFF0 + input->Byte() % 0x10;
      value = low + (input->Byte() % 0x11) * 0x10000;
      break;
    }
    default:
      value = input->Bits<uint32_t>() % 0x110000;
      break;
  }
  if (value >= 0xD800 && value <= 0xDFFF) value -= 0x800;
  return static_cast<int32_t>(value);
}

std::string String(Input* input) {
  std::string text;
  const size_t count = input->Byte() % (kMaxStringCodePoints + 1);
  for (size_t i = 0; i < count && !input->empty(); ++i)
    base::WriteUnicodeCharacter(CodePoint(input), &text);
  return text;
}

std::unique_ptr<base::Value> Build(Input* input, int depth) {
  const uint8_t kind = input->Byte() % 7;
  switch (kind) {
    case 0:
      return base::Value::CreateNullValue();
    case 1:
      return std::make_unique<base::FundamentalValue>((input->Byte() & 1) != 0);
    case 2:
      return std::make_unique<base::FundamentalValue>(input->Bits<int32_t>());
    case 3:
      return std::make_unique<base::FundamentalValue>(input->Bits<double>());
    case 4:
      return std::make_unique<base::StringValue>(String(input));
    default:
      break;
  }
  if (depth >= kMaxContainerDepth)
    return std::make_unique<base::FundamentalValue>(depth);
  const size_t children = input->Byte() % (kMaxChildren + 1);
  if (kind == 5) {
    auto dict = std::make_unique<base::DictionaryValue>();
    for (size_t i = 0; i < children && !input->empty(); ++i) {
      std::string key = String(input);
      dict->SetWithoutPathExpansion(key, Build(input, depth + 1));
    }
    return dict;
  }
  auto list = std::make_unique<base::ListValue>();
  for (size_t i = 0; i < children && !input->empty(); ++i)
    list->Append(Build(input, depth + 1));
  return list;
}

// How many containers nest at the deepest point of |value|.
int ContainerDepth(const base::Value& value) {
  int deepest = 0;
  if (const base::DictionaryValue* dict = nullptr;
      value.GetAsDictionary(&dict)) {
    for (base::DictionaryValue::Iterator it(*dict); !it.IsAtEnd(); it.Advance())
      deepest = std::max(deepest, ContainerDepth(it.value()));
    return deepest + 1;
  }
  if (const base::ListValue* list = nullptr; value.GetAsList(&list)) {
    for (const auto& element : *list)
      deepest = std::max(deepest, ContainerDepth(*element));
    return deepest + 1;
  }
  return 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Input input(data, size);
  std::unique_ptr<base::Value> root = Build(&input, 0);
  const bool readable =
      ContainerDepth(*root) <= base::JSONReader::kMaxContainerDepth;
  for (int options : {0, int{base::JSONWriter::OPTIONS_PRETTY_PRINT}}) {
    std::string json;
    const bool written =
        base::JSONWriter::WriteWithOptions(*root, options, &json);
    if (written != readable) abort();
    if (!written) continue;
    int code = 0;
    std::unique_ptr<base::Value> back =
        base::JSONReader::ReadAndReturnError(json, 0, &code, nullptr);
    if (!back || !root->Equals(back.get())) abort();
  }
  return 0;
}
