// The value tree: the in-memory form of JSON documents, preferences, feature
// lists and the branding configuration.
//
// A tree is owned from its root: every dictionary and list owns its children
// and deletes them with itself. Values are not thread-safe; a tree belongs to
// one thread at a time.
//
// Every value carries a type tag fixed at construction. Doubles are always
// finite: an infinity or NaN handed to any constructor or setter is stored as
// 0.0. Lookups report failure by returning false and leave their out-parameter
// untouched; every out-parameter may be null, in which case only the answer
// is given.

#ifndef BASE_VALUES_H_
#define BASE_VALUES_H_

#include <stddef.h>
#include <stdint.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "base/strings/string_piece.h"

namespace base {

class DictionaryValue;
class ListValue;
class StringValue;

// A plain Value is the null value; the subclasses below hold the others.
class Value {
 public:
  enum Type : int32_t {
    TYPE_NULL = 0,
    TYPE_BOOLEAN = 1,
    TYPE_INTEGER = 2,
    TYPE_DOUBLE = 3,
    TYPE_STRING = 4,
    // Reserved: no value ever carries this tag.
    TYPE_BINARY = 5,
    TYPE_DICTIONARY = 6,
    TYPE_LIST = 7,
  };

  static std::unique_ptr<Value> CreateNullValue();

  Value();
  Value(const Value&) = delete;
  Value& operator=(const Value&) = delete;
  virtual ~Value();

  Type GetType() const { return type_; }
  bool IsType(Type type) const { return type_ == type; }

  // Booleans only.
  virtual bool GetAsBoolean(bool* out_value) const;
  // Integers only: a double is never turned into an int.
  virtual bool GetAsInteger(int* out_value) const;
  // Doubles, and integers converted to double.
  virtual bool GetAsDouble(double* out_value) const;
  virtual bool GetAsString(const StringValue** out_value) const;
  // The UTF-8 text converted to UTF-16.
  virtual bool GetAsString(std::u16string* out_value) const;
  virtual bool GetAsString(std::string* out_value) const;
  // Always false: there is no binary value class.
  virtual bool GetAsBinary(const Value** out_value) const;
  virtual bool GetAsList(ListValue** out_value);
  virtual bool GetAsList(const ListValue** out_value) const;
  virtual bool GetAsDictionary(DictionaryValue** out_value);
  virtual bool GetAsDictionary(const DictionaryValue** out_value) const;

  // An independently owned copy of the whole subtree.
  virtual std::unique_ptr<Value> DeepCopy() const;
  std::unique_ptr<Value> CreateDeepCopy() const { return DeepCopy(); }

  // Deep equality. Different tags never compare equal, so the integer 1 and
  // the double 1.0 differ; dictionaries compare in key order.
  virtual bool Equals(const Value* other) const;
  // As above, and two null pointers are equal.
  static bool Equals(const Value* a, const Value* b);

 protected:
  explicit Value(Type type);

 private:
  const Type type_;
};

// A boolean, integer or double.
class FundamentalValue : public Value {
 public:
  explicit FundamentalValue(bool in_value);
  explicit FundamentalValue(int in_value);
  // A non-finite value is stored as 0.0.
  explicit FundamentalValue(double in_value);
  ~FundamentalValue() override;

  bool GetAsBoolean(bool* out_value) const override;
  bool GetAsInteger(int* out_value) const override;
  bool GetAsDouble(double* out_value) const override;
  std::unique_ptr<Value> DeepCopy() const override;
  bool Equals(const Value* other) const override;

 private:
  union {
    bool boolean_value_;
    int integer_value_;
    double double_value_;
  };
};

// Text, kept as UTF-8.
class StringValue : public Value {
 public:
  explicit StringValue(const char* in_value);
  explicit StringValue(StringPiece in_value);
  explicit StringValue(std::string&& in_value);
  // Converted to UTF-8; unpaired surrogates become U+FFFD.
  explicit StringValue(StringPiece16 in_value);
  ~StringValue() override;

  const std::string& GetString() const { return value_; }
  std::string* GetMutableString() { return &value_; }

  bool GetAsString(const StringValue** out_value) const override;
  bool GetAsString(std::u16string* out_value) const override;
  bool GetAsString(std::string* out_value) const override;
  std::unique_ptr<Value> DeepCopy() const override;
  bool Equals(const Value* other) const override;

 private:
  std::string value_;
};

// A map from key to owned value, kept in bytewise key order (a shorter key
// first on a common prefix); iteration, equality and JSON output follow that
// order, never the order of insertion.
//
// Path operations split their path at every '.' and walk nested
// dictionaries; an empty part (two dots in a row) is the empty key. The
// operations ending in WithoutPathExpansion take the key literally, dots
// included.
class DictionaryValue : public Value {
 private:
  using Storage = std::map<std::string, std::unique_ptr<Value>, std::less<>>;

 public:
  // Visits the entries in key order. The dictionary must outlive the iterator
  // and must not change while it is in use.
  class Iterator {
   public:
    explicit Iterator(const DictionaryValue& target);
    ~Iterator();

    bool IsAtEnd() const { return it_ == target_.dictionary_.end(); }
    void Advance() { ++it_; }
    const std::string& key() const { return it_->first; }
    const Value& value() const { return *it_->second; }

   private:
    const DictionaryValue& target_;
    Storage::const_iterator it_;
  };

  DictionaryValue();
  ~DictionaryValue() override;

  bool HasKey(StringPiece key) const;
  size_t size() const { return dictionary_.size(); }
  bool empty() const { return dictionary_.empty(); }
  void Clear();

  // Walks |path|, creating a dictionary for every missing part before the
  // last and replacing any non-dictionary found there, then stores
  // |in_value| (which must not be null) under the last part.
  void Set(StringPiece path, std::unique_ptr<Value> in_value);
  void SetBoolean(StringPiece path, bool in_value);
  void SetInteger(StringPiece path, int in_value);
  void SetDouble(StringPiece path, double in_value);
  void SetString(StringPiece path, StringPiece in_value);
  void SetString(StringPiece path, StringPiece16 in_value);

  // Inserts under the literal key, replacing (and deleting) an old value.
  void SetWithoutPathExpansion(StringPiece key,
                               std::unique_ptr<Value> in_value);
  void SetBooleanWithoutPathExpansion(StringPiece key, bool in_value);
  void SetIntegerWithoutPathExpansion(StringPiece key, int in_value);
  void SetDoubleWithoutPathExpansion(StringPiece key, double in_value);
  void SetStringWithoutPathExpansion(StringPiece key, StringPiece in_value);
  void SetStringWithoutPathExpansion(StringPiece key, StringPiece16 in_value);

  // Every part before the last must name a dictionary; the last part is
  // looked up literally in the dictionary reached.
  bool Get(StringPiece path, const Value** out_value) const;
  bool Get(StringPiece path, Value** out_value);
  bool GetBoolean(StringPiece path, bool* out_value) const;
  bool GetInteger(StringPiece path, int* out_value) const;
  // Also true for an integer, converted.
  bool GetDouble(StringPiece path, double* out_value) const;
  bool GetString(StringPiece path, std::string* out_value) const;
  bool GetString(StringPiece path, std::u16string* out_value) const;
  bool GetString16(StringPiece path, std::u16string* out_value) const {
    return GetString(path, out_value);
  }
  // As GetString, but only a text that is all ASCII is answered.
  bool GetStringASCII(StringPiece path, std::string* out_value) const;
  bool GetDictionary(StringPiece path, const DictionaryValue** out_value) const;
  bool GetDictionary(StringPiece path, DictionaryValue** out_value);
  bool GetList(StringPiece path, const ListValue** out_value) const;
  bool GetList(StringPiece path, ListValue** out_value);

  bool GetWithoutPathExpansion(StringPiece key, const Value** out_value) const;
  bool GetWithoutPathExpansion(StringPiece key, Value** out_value);
  bool GetDictionaryWithoutPathExpansion(
      StringPiece key, const DictionaryValue** out_value) const;
  bool GetDictionaryWithoutPathExpansion(StringPiece key,
                                         DictionaryValue** out_value);
  bool GetListWithoutPathExpansion(StringPiece key,
                                   const ListValue** out_value) const;
  bool GetListWithoutPathExpansion(StringPiece key, ListValue** out_value);

  // The removals hand the removed value to |out_value| when it is given and
  // delete it otherwise; they return false when nothing was removed.
  //
  // Remove splits at the LAST '.': the part before it must reach a
  // dictionary through Get, and the rest is removed there literally.
  // Emptied parents stay.
  bool Remove(StringPiece path, std::unique_ptr<Value>* out_value);
  bool RemoveWithoutPathExpansion(StringPiece key,
                                  std::unique_ptr<Value>* out_value);
  // Splits at the FIRST '.' and recurses; a child dictionary left empty by a
  // successful removal is removed as well.
  bool RemovePath(StringPiece path, std::unique_ptr<Value>* out_value);

  void Swap(DictionaryValue* other);

  bool GetAsDictionary(DictionaryValue** out_value) override;
  bool GetAsDictionary(const DictionaryValue** out_value) const override;
  std::unique_ptr<Value> DeepCopy() const override;
  std::unique_ptr<DictionaryValue> CreateDeepCopy() const;
  bool Equals(const Value* other) const override;

 private:
  // The dictionary that holds the last part of |path|, creating the
  // dictionaries on the way; |*last_part| receives that part.
  DictionaryValue* WalkAndCreate(StringPiece path, StringPiece* last_part);
  // The dictionary that holds the last part of |path|, or null.
  const DictionaryValue* Walk(StringPiece path, StringPiece* last_part) const;

  Storage dictionary_;
};

// A vector of owned values.
class ListValue : public Value {
 public:
  using const_iterator = std::vector<std::unique_ptr<Value>>::const_iterator;

  ListValue();
  ~ListValue() override;

  size_t GetSize() const { return list_.size(); }
  bool empty() const { return list_.empty(); }
  // Deletes every element.
  void Clear();

  // False (and nothing stored) when |in_value| is null. Inside the list the
  // element is replaced; at or past the end, null values fill the gap.
  bool Set(size_t index, std::unique_ptr<Value> in_value);

  bool Get(size_t index, const Value** out_value) const;
  bool Get(size_t index, Value** out_value);
  bool GetBoolean(size_t index, bool* out_value) const;
  bool GetInteger(size_t index, int* out_value) const;
  bool GetDouble(size_t index, double* out_value) const;
  bool GetString(size_t index, std::string* out_value) const;
  bool GetString(size_t index, std::u16string* out_value) const;
  bool GetDictionary(size_t index, const DictionaryValue** out_value) const;
  bool GetDictionary(size_t index, DictionaryValue** out_value);
  bool GetList(size_t index, const ListValue** out_value) const;
  bool GetList(size_t index, ListValue** out_value);

  // False when |index| is not below the size; otherwise hands out (or
  // deletes) the element and closes the gap.
  bool Remove(size_t index, std::unique_ptr<Value>* out_value);

  void Append(std::unique_ptr<Value> in_value);
  void AppendBoolean(bool in_value);
  void AppendInteger(int in_value);
  // A non-finite value is appended as 0.0.
  void AppendDouble(double in_value);
  void AppendString(StringPiece in_value);
  void AppendString(StringPiece16 in_value);

  void Swap(ListValue* other);

  const_iterator begin() const { return list_.begin(); }
  const_iterator end() const { return list_.end(); }

  bool GetAsList(ListValue** out_value) override;
  bool GetAsList(const ListValue** out_value) const override;
  std::unique_ptr<Value> DeepCopy() const override;
  std::unique_ptr<ListValue> CreateDeepCopy() const;
  bool Equals(const Value* other) const override;

 private:
  std::vector<std::unique_ptr<Value>> list_;
};

// Writes a value tree somewhere (a string, a file).
class ValueSerializer {
 public:
  virtual ~ValueSerializer();
  virtual bool Serialize(const Value& root) = 0;
};

// Produces a value tree from somewhere. On failure returns null and, when
// they are given, stores an error code and its message.
class ValueDeserializer {
 public:
  virtual ~ValueDeserializer();
  virtual std::unique_ptr<Value> Deserialize(int* error_code,
                                             std::string* error_message) = 0;
};

}  // namespace base

#endif  // BASE_VALUES_H_
