#include "base/values.h"

#include <cmath>
#include <utility>

#include "base/logging.h"
#include "base/strings/utf_string_conversions.h"

namespace base {

namespace {

// Only finite doubles may enter a tree: JSON has no text for the others.
double FiniteOrZero(double value) { return std::isfinite(value) ? value : 0.0; }

// Splits |path| at its first '.'; false when it has none.
bool SplitAtFirstDot(StringPiece path, StringPiece* head, StringPiece* rest) {
  const size_t dot = path.find('.');
  if (dot == StringPiece::npos) return false;
  *head = path.substr(0, dot);
  *rest = path.substr(dot + 1);
  return true;
}

}  // namespace

// --- Value

std::unique_ptr<Value> Value::CreateNullValue() {
  return std::make_unique<Value>();
}

Value::Value() : type_(TYPE_NULL) {}

Value::Value(Type type) : type_(type) {}

Value::~Value() = default;

bool Value::GetAsBoolean(bool* out_value) const { return false; }

bool Value::GetAsInteger(int* out_value) const { return false; }

bool Value::GetAsDouble(double* out_value) const { return false; }

bool Value::GetAsString(const StringValue** out_value) const { return false; }

bool Value::GetAsString(std::u16string* out_value) const { return false; }

bool Value::GetAsString(std::string* out_value) const { return false; }

bool Value::GetAsBinary(const Value** out_value) const { return false; }

bool Value::GetAsList(ListValue** out_value) { return false; }

bool Value::GetAsList(const ListValue** out_value) const { return false; }

bool Value::GetAsDictionary(DictionaryValue** out_value) { return false; }

bool Value::GetAsDictionary(const DictionaryValue** out_value) const {
  return false;
}

std::unique_ptr<Value> Value::DeepCopy() const {
  // Every other kind overrides this; a plain Value is always null.
  CHECK(IsType(TYPE_NULL));
  return CreateNullValue();
}

bool Value::Equals(const Value* other) const {
  return other && other->IsType(TYPE_NULL) && IsType(TYPE_NULL);
}

// static
bool Value::Equals(const Value* a, const Value* b) {
  if (!a || !b) return a == b;
  return a->Equals(b);
}

// --- FundamentalValue

FundamentalValue::FundamentalValue(bool in_value)
    : Value(TYPE_BOOLEAN), boolean_value_(in_value) {}

FundamentalValue::FundamentalValue(int in_value)
    : Value(TYPE_INTEGER), integer_value_(in_value) {}

FundamentalValue::FundamentalValue(double in_value)
    : Value(TYPE_DOUBLE), double_value_(FiniteOrZero(in_value)) {}

FundamentalValue::~FundamentalValue() = default;

bool FundamentalValue::GetAsBoolean(bool* out_value) const {
  if (!IsType(TYPE_BOOLEAN)) return false;
  if (out_value) *out_value = boolean_value_;
  return true;
}

bool FundamentalValue::GetAsInteger(int* out_value) const {
  if (!IsType(TYPE_INTEGER)) return false;
  if (out_value) *out_value = integer_value_;
  return true;
}

bool FundamentalValue::GetAsDouble(double* out_value) const {
  if (IsType(TYPE_DOUBLE)) {
    if (out_value) *out_value = double_value_;
    return true;
  }
  if (IsType(TYPE_INTEGER)) {
    if (out_value) *out_value = static_cast<double>(integer_value_);
    return true;
  }
  return false;
}

std::unique_ptr<Value> FundamentalValue::DeepCopy() const {
  switch (GetType()) {
    case TYPE_BOOLEAN:
      return std::make_unique<FundamentalValue>(boolean_value_);
    case TYPE_INTEGER:
      return std::make_unique<FundamentalValue>(integer_value_);
    case TYPE_DOUBLE:
      return std::make_unique<FundamentalValue>(double_value_);
    default:
      NOTREACHED();
      return nullptr;
  }
}

bool FundamentalValue::Equals(const Value* other) const {
  if (!other || other->GetType() != GetType()) return false;
  switch (GetType()) {
    case TYPE_BOOLEAN: {
      bool a = false, b = false;
      return GetAsBoolean(&a) && other->GetAsBoolean(&b) && a == b;
    }
    case TYPE_INTEGER: {
      int a = 0, b = 0;
      return GetAsInteger(&a) && other->GetAsInteger(&b) && a == b;
    }
    case TYPE_DOUBLE: {
      double a = 0, b = 0;
      return GetAsDouble(&a) && other->GetAsDouble(&b) && a == b;
    }
    default:
      NOTREACHED();
      return false;
  }
}

// --- StringValue

StringValue::StringValue(const char* in_value)
    : Value(TYPE_STRING), value_(in_value) {}

StringValue::StringValue(StringPiece in_value)
    : Value(TYPE_STRING), value_(in_value.view()) {}

StringValue::StringValue(std::string&& in_value)
    : Value(TYPE_STRING), value_(std::move(in_value)) {}

StringValue::StringValue(StringPiece16 in_value)
    : Value(TYPE_STRING), value_(UTF16ToUTF8(in_value)) {}

StringValue::~StringValue() = default;

bool StringValue::GetAsString(const StringValue** out_value) const {
  if (out_value) *out_value = this;
  return true;
}

bool StringValue::GetAsString(std::u16string* out_value) const {
  if (out_value) *out_value = UTF8ToUTF16(value_);
  return true;
}

bool StringValue::GetAsString(std::string* out_value) const {
  if (out_value) *out_value = value_;
  return true;
}

std::unique_ptr<Value> StringValue::DeepCopy() const {
  return std::make_unique<StringValue>(StringPiece(value_));
}

bool StringValue::Equals(const Value* other) const {
  if (!other || other->GetType() != GetType()) return false;
  const StringValue* other_string = nullptr;
  return other->GetAsString(&other_string) &&
         value_ == other_string->GetString();
}

// --- DictionaryValue

DictionaryValue::Iterator::Iterator(const DictionaryValue& target)
    : target_(target), it_(target.dictionary_.begin()) {}

DictionaryValue::Iterator::~Iterator() = default;

DictionaryValue::DictionaryValue() : Value(TYPE_DICTIONARY) {}

DictionaryValue::~DictionaryValue() = default;

bool DictionaryValue::HasKey(StringPiece key) const {
  return dictionary_.find(key.view()) != dictionary_.end();
}

void DictionaryValue::Clear() { dictionary_.clear(); }

DictionaryValue* DictionaryValue::WalkAndCreate(StringPiece path,
                                                StringPiece* last_part) {
  DictionaryValue* current = this;
  StringPiece head, rest;
  while (SplitAtFirstDot(path, &head, &rest)) {
    DictionaryValue* child = nullptr;
    if (!current->GetDictionaryWithoutPathExpansion(head, &child)) {
      auto created = std::make_unique<DictionaryValue>();
      child = created.get();
      current->SetWithoutPathExpansion(head, std::move(created));
    }
    current = child;
    path = rest;
  }
  *last_part = path;
  return current;
}

const DictionaryValue* DictionaryValue::Walk(StringPiece path,
                                             StringPiece* last_part) const {
  const DictionaryValue* current = this;
  StringPiece head, rest;
  while (SplitAtFirstDot(path, &head, &rest)) {
    if (!current->GetDictionaryWithoutPathExpansion(head, &current))
      return nullptr;
    path = rest;
  }
  *last_part = path;
  return current;
}

void DictionaryValue::Set(StringPiece path, std::unique_ptr<Value> in_value) {
  DCHECK(in_value);
  StringPiece key;
  WalkAndCreate(path, &key)->SetWithoutPathExpansion(key, std::move(in_value));
}

void DictionaryValue::SetBoolean(StringPiece path, bool in_value) {
  Set(path, std::make_unique<FundamentalValue>(in_value));
}

void DictionaryValue::SetInteger(StringPiece path, int in_value) {
  Set(path, std::make_unique<FundamentalValue>(in_value));
}

void DictionaryValue::SetDouble(StringPiece path, double in_value) {
  Set(path, std::make_unique<FundamentalValue>(in_value));
}

void DictionaryValue::SetString(StringPiece path, StringPiece in_value) {
  Set(path, std::make_unique<StringValue>(in_value));
}

void DictionaryValue::SetString(StringPiece path, StringPiece16 in_value) {
  Set(path, std::make_unique<StringValue>(in_value));
}

void DictionaryValue::SetWithoutPathExpansion(StringPiece key,
                                              std::unique_ptr<Value> in_value) {
  DCHECK(in_value);
  auto it = dictionary_.find(key.view());
  if (it != dictionary_.end())
    it->second = std::move(in_value);
  else
    dictionary_.emplace(key.as_string(), std::move(in_value));
}

void DictionaryValue::SetBooleanWithoutPathExpansion(StringPiece key,
                                                     bool in_value) {
  SetWithoutPathExpansion(key, std::make_unique<FundamentalValue>(in_value));
}

void DictionaryValue::SetIntegerWithoutPathExpansion(StringPiece key,
                                                     int in_value) {
  SetWithoutPathExpansion(key, std::make_unique<FundamentalValue>(in_value));
}

void DictionaryValue::SetDoubleWithoutPathExpansion(StringPiece key,
                                                    double in_value) {
  SetWithoutPathExpansion(key, std::make_unique<FundamentalValue>(in_value));
}

void DictionaryValue::SetStringWithoutPathExpansion(StringPiece key,
                                                    StringPiece in_value) {
  SetWithoutPathExpansion(key, std::make_unique<StringValue>(in_value));
}

void DictionaryValue::SetStringWithoutPathExpansion(StringPiece key,
                                                    StringPiece16 in_value) {
  SetWithoutPathExpansion(key, std::make_unique<StringValue>(in_value));
}

bool DictionaryValue::Get(StringPiece path, const Value** out_value) const {
  StringPiece key;
  const DictionaryValue* holder = Walk(path, &key);
  return holder && holder->GetWithoutPathExpansion(key, out_value);
}

bool DictionaryValue::Get(StringPiece path, Value** out_value) {
  const Value* value = nullptr;
  if (!static_cast<const DictionaryValue*>(this)->Get(path, &value))
    return false;
  if (out_value) *out_value = const_cast<Value*>(value);
  return true;
}

bool DictionaryValue::GetBoolean(StringPiece path, bool* out_value) const {
  const Value* value = nullptr;
  return Get(path, &value) && value->GetAsBoolean(out_value);
}

bool DictionaryValue::GetInteger(StringPiece path, int* out_value) const {
  const Value* value = nullptr;
  return Get(path, &value) && value->GetAsInteger(out_value);
}

bool DictionaryValue::GetDouble(StringPiece path, double* out_value) const {
  const Value* value = nullptr;
  return Get(path, &value) && value->GetAsDouble(out_value);
}

bool DictionaryValue::GetString(StringPiece path,
                                std::string* out_value) const {
  const Value* value = nullptr;
  return Get(path, &value) && value->GetAsString(out_value);
}

bool DictionaryValue::GetString(StringPiece path,
                                std::u16string* out_value) const {
  const Value* value = nullptr;
  return Get(path, &value) && value->GetAsString(out_value);
}

bool DictionaryValue::GetStringASCII(StringPiece path,
                                     std::string* out_value) const {
  const Value* value = nullptr;
  const StringValue* text = nullptr;
  if (!Get(path, &value) || !value->GetAsString(&text) ||
      !IsStringASCII(text->GetString()))
    return false;
  if (out_value) *out_value = text->GetString();
  return true;
}

bool DictionaryValue::GetDictionary(StringPiece path,
                                    const DictionaryValue** out_value) const {
  const Value* value = nullptr;
  return Get(path, &value) && value->GetAsDictionary(out_value);
}

bool DictionaryValue::GetDictionary(StringPiece path,
                                    DictionaryValue** out_value) {
  Value* value = nullptr;
  return Get(path, &value) && value->GetAsDictionary(out_value);
}

bool DictionaryValue::GetList(StringPiece path,
                              const ListValue** out_value) const {
  const Value* value = nullptr;
  return Get(path, &value) && value->GetAsList(out_value);
}

bool DictionaryValue::GetList(StringPiece path, ListValue** out_value) {
  Value* value = nullptr;
  return Get(path, &value) && value->GetAsList(out_value);
}

bool DictionaryValue::GetWithoutPathExpansion(StringPiece key,
                                              const Value** out_value) const {
  auto it = dictionary_.find(key.view());
  if (it == dictionary_.end()) return false;
  if (out_value) *out_value = it->second.get();
  return true;
}

bool DictionaryValue::GetWithoutPathExpansion(StringPiece key,
                                              Value** out_value) {
  auto it = dictionary_.find(key.view());
  if (it == dictionary_.end()) return false;
  if (out_value) *out_value = it->second.get();
  return true;
}

bool DictionaryValue::GetDictionaryWithoutPathExpansion(
    StringPiece key, const DictionaryValue** out_value) const {
  const Value* value = nullptr;
  return GetWithoutPathExpansion(key, &value) &&
         value->GetAsDictionary(out_value);
}

bool DictionaryValue::GetDictionaryWithoutPathExpansion(
    StringPiece key, DictionaryValue** out_value) {
  Value* value = nullptr;
  return GetWithoutPathExpansion(key, &value) &&
         value->GetAsDictionary(out_value);
}

bool DictionaryValue::GetListWithoutPathExpansion(
    StringPiece key, const ListValue** out_value) const {
  const Value* value = nullptr;
  return GetWithoutPathExpansion(key, &value) && value->GetAsList(out_value);
}

bool DictionaryValue::GetListWithoutPathExpansion(StringPiece key,
                                                  ListValue** out_value) {
  Value* value = nullptr;
  return GetWithoutPathExpansion(key, &value) && value->GetAsList(out_value);
}

bool DictionaryValue::Remove(StringPiece path,
                             std::unique_ptr<Value>* out_value) {
  const size_t dot = path.rfind('.');
  if (dot == StringPiece::npos)
    return RemoveWithoutPathExpansion(path, out_value);
  DictionaryValue* holder = nullptr;
  if (!GetDictionary(path.substr(0, dot), &holder)) return false;
  return holder->RemoveWithoutPathExpansion(path.substr(dot + 1), out_value);
}

bool DictionaryValue::RemoveWithoutPathExpansion(
    StringPiece key, std::unique_ptr<Value>* out_value) {
  auto it = dictionary_.find(key.view());
  if (it == dictionary_.end()) return false;
  if (out_value) *out_value = std::move(it->second);
  dictionary_.erase(it);
  return true;
}

bool DictionaryValue::RemovePath(StringPiece path,
                                 std::unique_ptr<Value>* out_value) {
  StringPiece head, rest;
  if (!SplitAtFirstDot(path, &head, &rest))
    return RemoveWithoutPathExpansion(path, out_value);
  DictionaryValue* child = nullptr;
  if (!GetDictionaryWithoutPathExpansion(head, &child)) return false;
  if (!child->RemovePath(rest, out_value)) return false;
  if (child->empty()) RemoveWithoutPathExpansion(head, nullptr);
  return true;
}

void DictionaryValue::Swap(DictionaryValue* other) {
  dictionary_.swap(other->dictionary_);
}

bool DictionaryValue::GetAsDictionary(DictionaryValue** out_value) {
  if (out_value) *out_value = this;
  return true;
}

bool DictionaryValue::GetAsDictionary(const DictionaryValue** out_value) const {
  if (out_value) *out_value = this;
  return true;
}

std::unique_ptr<Value> DictionaryValue::DeepCopy() const {
  return CreateDeepCopy();
}

std::unique_ptr<DictionaryValue> DictionaryValue::CreateDeepCopy() const {
  auto copy = std::make_unique<DictionaryValue>();
  // Keys arrive in order, so each insertion goes to the end of the map.
  for (const auto& [key, value] : dictionary_)
    copy->dictionary_.emplace_hint(copy->dictionary_.end(), key,
                                   value->DeepCopy());
  return copy;
}

bool DictionaryValue::Equals(const Value* other) const {
  const DictionaryValue* other_dict = nullptr;
  if (!other || other->GetType() != GetType() ||
      !other->GetAsDictionary(&other_dict))
    return false;
  Iterator a(*this);
  Iterator b(*other_dict);
  for (; !a.IsAtEnd() && !b.IsAtEnd(); a.Advance(), b.Advance()) {
    if (a.key() != b.key() || !a.value().Equals(&b.value())) return false;
  }
  return a.IsAtEnd() && b.IsAtEnd();
}

// --- ListValue

ListValue::ListValue() : Value(TYPE_LIST) {}

ListValue::~ListValue() = default;

void ListValue::Clear() { list_.clear(); }

bool ListValue::Set(size_t index, std::unique_ptr<Value> in_value) {
  if (!in_value) return false;
  if (index < list_.size()) {
    list_[index] = std::move(in_value);
    return true;
  }
  while (list_.size() < index) list_.push_back(CreateNullValue());
  list_.push_back(std::move(in_value));
  return true;
}

bool ListValue::Get(size_t index, const Value** out_value) const {
  if (index >= list_.size()) return false;
  if (out_value) *out_value = list_[index].get();
  return true;
}

bool ListValue::Get(size_t index, Value** out_value) {
  if (index >= list_.size()) return false;
  if (out_value) *out_value = list_[index].get();
  return true;
}

bool ListValue::GetBoolean(size_t index, bool* out_value) const {
  const Value* value = nullptr;
  return Get(index, &value) && value->GetAsBoolean(out_value);
}

bool ListValue::GetInteger(size_t index, int* out_value) const {
  const Value* value = nullptr;
  return Get(index, &value) && value->GetAsInteger(out_value);
}

bool ListValue::GetDouble(size_t index, double* out_value) const {
  const Value* value = nullptr;
  return Get(index, &value) && value->GetAsDouble(out_value);
}

bool ListValue::GetString(size_t index, std::string* out_value) const {
  const Value* value = nullptr;
  return Get(index, &value) && value->GetAsString(out_value);
}

bool ListValue::GetString(size_t index, std::u16string* out_value) const {
  const Value* value = nullptr;
  return Get(index, &value) && value->GetAsString(out_value);
}

bool ListValue::GetDictionary(size_t index,
                              const DictionaryValue** out_value) const {
  const Value* value = nullptr;
  return Get(index, &value) && value->GetAsDictionary(out_value);
}

bool ListValue::GetDictionary(size_t index, DictionaryValue** out_value) {
  Value* value = nullptr;
  return Get(index, &value) && value->GetAsDictionary(out_value);
}

bool ListValue::GetList(size_t index, const ListValue** out_value) const {
  const Value* value = nullptr;
  return Get(index, &value) && value->GetAsList(out_value);
}

bool ListValue::GetList(size_t index, ListValue** out_value) {
  Value* value = nullptr;
  return Get(index, &value) && value->GetAsList(out_value);
}

bool ListValue::Remove(size_t index, std::unique_ptr<Value>* out_value) {
  if (index >= list_.size()) return false;
  if (out_value) *out_value = std::move(list_[index]);
  list_.erase(list_.begin() + static_cast<ptrdiff_t>(index));
  return true;
}

void ListValue::Append(std::unique_ptr<Value> in_value) {
  DCHECK(in_value);
  list_.push_back(std::move(in_value));
}

void ListValue::AppendBoolean(bool in_value) {
  Append(std::make_unique<FundamentalValue>(in_value));
}

void ListValue::AppendInteger(int in_value) {
  Append(std::make_unique<FundamentalValue>(in_value));
}

void ListValue::AppendDouble(double in_value) {
  Append(std::make_unique<FundamentalValue>(in_value));
}

void ListValue::AppendString(StringPiece in_value) {
  Append(std::make_unique<StringValue>(in_value));
}

void ListValue::AppendString(StringPiece16 in_value) {
  Append(std::make_unique<StringValue>(in_value));
}

void ListValue::Swap(ListValue* other) { list_.swap(other->list_); }

bool ListValue::GetAsList(ListValue** out_value) {
  if (out_value) *out_value = this;
  return true;
}

bool ListValue::GetAsList(const ListValue** out_value) const {
  if (out_value) *out_value = this;
  return true;
}

std::unique_ptr<Value> ListValue::DeepCopy() const { return CreateDeepCopy(); }

std::unique_ptr<ListValue> ListValue::CreateDeepCopy() const {
  auto copy = std::make_unique<ListValue>();
  copy->list_.reserve(list_.size());
  for (const auto& element : list_) copy->list_.push_back(element->DeepCopy());
  return copy;
}

bool ListValue::Equals(const Value* other) const {
  const ListValue* other_list = nullptr;
  if (!other || other->GetType() != GetType() || !other->GetAsList(&other_list))
    return false;
  if (list_.size() != other_list->list_.size()) return false;
  for (size_t i = 0; i < list_.size(); ++i) {
    if (!list_[i]->Equals(other_list->list_[i].get())) return false;
  }
  return true;
}

// --- Serializer interfaces

ValueSerializer::~ValueSerializer() = default;

ValueDeserializer::~ValueDeserializer() = default;

}  // namespace base
