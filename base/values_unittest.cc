#include "base/values.h"

#include <limits>
#include <memory>
#include <string>
#include <utility>

#include "gtest/gtest.h"

namespace base {
namespace {

TEST(ValuesTest, TypeTags) {
  EXPECT_EQ(0, Value().GetType());
  EXPECT_EQ(1, FundamentalValue(true).GetType());
  EXPECT_EQ(2, FundamentalValue(3).GetType());
  EXPECT_EQ(3, FundamentalValue(3.5).GetType());
  EXPECT_EQ(4, StringValue("x").GetType());
  EXPECT_EQ(6, DictionaryValue().GetType());
  EXPECT_EQ(7, ListValue().GetType());
}

TEST(ValuesTest, GetAsConversions) {
  FundamentalValue integer(7);
  double as_double = 0;
  EXPECT_TRUE(integer.GetAsDouble(&as_double));
  EXPECT_EQ(7.0, as_double);
  EXPECT_FALSE(integer.GetAsBoolean(nullptr));

  FundamentalValue real(7.0);
  int as_int = 42;
  EXPECT_FALSE(real.GetAsInteger(&as_int));
  EXPECT_EQ(42, as_int);  // Left alone on failure.

  FundamentalValue boolean(true);
  EXPECT_FALSE(boolean.GetAsInteger(nullptr));
  EXPECT_FALSE(boolean.GetAsDouble(nullptr));
  EXPECT_TRUE(boolean.GetAsBoolean(nullptr));

  StringValue text(u"h\u00e9");
  std::string narrow;
  std::u16string wide;
  const StringValue* self = nullptr;
  EXPECT_TRUE(text.GetAsString(&narrow));
  EXPECT_EQ("h\xC3\xA9", narrow);
  EXPECT_TRUE(text.GetAsString(&wide));
  EXPECT_EQ(u"h\u00e9", wide);
  EXPECT_TRUE(text.GetAsString(&self));
  EXPECT_EQ(&text, self);
  EXPECT_FALSE(text.GetAsBinary(nullptr));
  EXPECT_FALSE(text.GetAsDictionary(static_cast<DictionaryValue**>(nullptr)));

  Value null;
  std::string untouched = "keep";
  EXPECT_FALSE(null.GetAsString(&untouched));
  EXPECT_EQ("keep", untouched);
  EXPECT_FALSE(null.GetAsList(static_cast<const ListValue**>(nullptr)));
}

TEST(ValuesTest, NonFiniteDoublesAreStoredAsZero) {
  const double kNonFinite[] = {std::numeric_limits<double>::infinity(),
                               -std::numeric_limits<double>::infinity(),
                               std::numeric_limits<double>::quiet_NaN()};
  for (double bad : kNonFinite) {
    double out = 1;
    EXPECT_TRUE(FundamentalValue(bad).GetAsDouble(&out));
    EXPECT_EQ(0.0, out);

    DictionaryValue dict;
    dict.SetDoubleWithoutPathExpansion("d", bad);
    dict.SetDouble("p.d", bad);
    out = 1;
    EXPECT_TRUE(dict.GetDouble("d", &out));
    EXPECT_EQ(0.0, out);
    out = 1;
    EXPECT_TRUE(dict.GetDouble("p.d", &out));
    EXPECT_EQ(0.0, out);

    ListValue list;
    list.AppendDouble(bad);
    out = 1;
    EXPECT_TRUE(list.GetDouble(0, &out));
    EXPECT_EQ(0.0, out);
  }
}

TEST(ValuesTest, SetWalksAndCreatesDictionaries) {
  DictionaryValue root;
  root.SetInteger("a.b.c", 1);
  const DictionaryValue* a = nullptr;
  const DictionaryValue* b = nullptr;
  ASSERT_TRUE(root.GetDictionary("a", &a));
  ASSERT_TRUE(a->GetDictionary("b", &b));
  int c = 0;
  EXPECT_TRUE(b->GetInteger("c", &c));
  EXPECT_EQ(1, c);
  EXPECT_EQ(1u, root.size());

  // A non-dictionary on the way is replaced.
  DictionaryValue replaced;
  replaced.SetInteger("a", 5);
  replaced.SetString("a.b", "x");
  std::string text;
  EXPECT_TRUE(replaced.GetString("a.b", &text));
  EXPECT_EQ("x", text);
  EXPECT_FALSE(replaced.GetInteger("a", nullptr));
}

TEST(ValuesTest, DottedKeysStayLiteralWithoutPathExpansion) {
  DictionaryValue root;
  root.SetStringWithoutPathExpansion("a.b", "dotted");
  EXPECT_FALSE(root.Get("a.b", static_cast<const Value**>(nullptr)));
  const Value* found = nullptr;
  ASSERT_TRUE(root.GetWithoutPathExpansion("a.b", &found));
  std::string text;
  EXPECT_TRUE(found->GetAsString(&text));
  EXPECT_EQ("dotted", text);
  EXPECT_FALSE(root.HasKey("a"));
}

TEST(ValuesTest, EmptyPathPartsAreEmptyKeys) {
  DictionaryValue root;
  root.SetInteger("a..b", 3);
  const DictionaryValue* a = nullptr;
  const DictionaryValue* empty_key = nullptr;
  ASSERT_TRUE(root.GetDictionary("a", &a));
  ASSERT_TRUE(a->GetDictionaryWithoutPathExpansion("", &empty_key));
  EXPECT_TRUE(empty_key->HasKey("b"));

  root.SetInteger("", 4);
  int value = 0;
  EXPECT_TRUE(root.GetInteger("", &value));
  EXPECT_EQ(4, value);
}

TEST(ValuesTest, GetFailsOnNonDictionaryPartsAndLeavesOutput) {
  DictionaryValue root;
  root.SetInteger("a", 1);
  root.SetBoolean("d.flag", true);
  int value = 99;
  EXPECT_FALSE(root.GetInteger("a.b", &value));
  EXPECT_FALSE(root.GetInteger("missing", &value));
  EXPECT_FALSE(root.GetInteger("d.flag", &value));  // Wrong type.
  EXPECT_EQ(99, value);
  bool flag = false;
  EXPECT_TRUE(root.GetBoolean("d.flag", &flag));
  EXPECT_TRUE(flag);
}

TEST(ValuesTest, GetStringASCII) {
  DictionaryValue root;
  root.SetString("ascii", "plain");
  root.SetString("utf8", "caf\xC3\xA9");
  root.SetInteger("number", 1);
  std::string out = "before";
  EXPECT_FALSE(root.GetStringASCII("utf8", &out));
  EXPECT_EQ("before", out);
  EXPECT_FALSE(root.GetStringASCII("number", &out));
  EXPECT_TRUE(root.GetStringASCII("ascii", &out));
  EXPECT_EQ("plain", out);
  std::u16string wide;
  EXPECT_TRUE(root.GetString16("utf8", &wide));
  EXPECT_EQ(u"caf\u00e9", wide);
}

TEST(ValuesTest, RemoveKeepsEmptiedParentRemovePathDoesNot) {
  DictionaryValue by_remove;
  by_remove.SetInteger("a.b", 1);
  std::unique_ptr<Value> removed;
  EXPECT_TRUE(by_remove.Remove("a.b", &removed));
  ASSERT_TRUE(removed);
  EXPECT_TRUE(removed->GetAsInteger(nullptr));
  const DictionaryValue* a = nullptr;
  ASSERT_TRUE(by_remove.GetDictionary("a", &a));
  EXPECT_TRUE(a->empty());

  DictionaryValue by_remove_path;
  by_remove_path.SetInteger("a.b", 1);
  EXPECT_TRUE(by_remove_path.RemovePath("a.b", nullptr));
  EXPECT_TRUE(by_remove_path.empty());
}

TEST(ValuesTest, RemovePathKeepsParentsThatStillHoldEntries) {
  DictionaryValue root;
  root.SetInteger("a.b.c", 1);
  root.SetInteger("a.x", 2);
  EXPECT_TRUE(root.RemovePath("a.b.c", nullptr));
  EXPECT_FALSE(root.HasKey("b"));
  EXPECT_FALSE(root.Get("a.b", static_cast<const Value**>(nullptr)));
  EXPECT_TRUE(root.GetInteger("a.x", nullptr));
}

TEST(ValuesTest, RemovalFailures) {
  DictionaryValue root;
  root.SetInteger("a.b", 1);
  root.SetInteger("n", 2);
  struct {
    const char* path;
    bool remove_path;
  } cases[] = {
      {"a.missing", false}, {"a.missing", true}, {"missing.b", false},
      {"missing.b", true},  {"n.b", false},      {"n.b", true},
      {"missing", false},   {"missing", true},
  };
  for (const auto& c : cases) {
    std::unique_ptr<Value> out;
    const bool result = c.remove_path ? root.RemovePath(c.path, &out)
                                      : root.Remove(c.path, &out);
    EXPECT_FALSE(result) << c.path << " " << c.remove_path;
    EXPECT_FALSE(out);
  }
  // A failed RemovePath does not remove the parent either.
  EXPECT_TRUE(root.GetInteger("a.b", nullptr));
}

TEST(ValuesTest, RemoveSplitsAtTheLastDot) {
  DictionaryValue root;
  root.SetWithoutPathExpansion("x", std::make_unique<DictionaryValue>());
  DictionaryValue* x = nullptr;
  ASSERT_TRUE(root.GetDictionary("x", &x));
  x->SetIntegerWithoutPathExpansion("y", 1);
  root.SetIntegerWithoutPathExpansion("x.y", 2);
  // "x.y" with Remove reaches x and removes its y, not the dotted key.
  EXPECT_TRUE(root.Remove("x.y", nullptr));
  EXPECT_TRUE(x->empty());
  EXPECT_TRUE(root.HasKey("x.y"));
  EXPECT_TRUE(root.RemoveWithoutPathExpansion("x.y", nullptr));
  EXPECT_FALSE(root.RemoveWithoutPathExpansion("x.y", nullptr));
}

TEST(ValuesTest, SettingReplacesOldValue) {
  DictionaryValue root;
  root.SetInteger("k", 1);
  root.SetString("k", "two");
  EXPECT_EQ(1u, root.size());
  std::string text;
  EXPECT_TRUE(root.GetString("k", &text));
  EXPECT_EQ("two", text);
}

TEST(ValuesTest, KeysIterateInBytewiseOrder) {
  DictionaryValue root;
  const char* const kInsertOrder[] = {"b", "\xC3\xA9", "ab", "a", "B", ""};
  for (const char* key : kInsertOrder)
    root.SetIntegerWithoutPathExpansion(key, 0);
  std::string order;
  for (DictionaryValue::Iterator it(root); !it.IsAtEnd(); it.Advance())
    order += "[" + it.key() + "]";
  // Bytes compare unsigned: the UTF-8 lead byte C3 sorts after 'b'.
  EXPECT_EQ("[][B][a][ab][b][\xC3\xA9]", order);
}

TEST(ValuesTest, ListSetPadsWithNulls) {
  ListValue list;
  EXPECT_TRUE(list.Set(5, std::make_unique<FundamentalValue>(1)));
  ASSERT_EQ(6u, list.GetSize());
  for (size_t i = 0; i < 5; ++i) {
    const Value* element = nullptr;
    ASSERT_TRUE(list.Get(i, &element));
    EXPECT_TRUE(element->IsType(Value::TYPE_NULL));
  }
  EXPECT_TRUE(list.GetInteger(5, nullptr));

  EXPECT_TRUE(list.Set(2, std::make_unique<StringValue>("s")));
  EXPECT_EQ(6u, list.GetSize());
  EXPECT_TRUE(list.GetString(2, static_cast<std::string*>(nullptr)));

  EXPECT_FALSE(list.Set(9, nullptr));
  EXPECT_EQ(6u, list.GetSize());
}

TEST(ValuesTest, ListRemoveClosesGap) {
  ListValue list;
  list.AppendInteger(0);
  list.AppendInteger(1);
  list.AppendInteger(2);
  std::unique_ptr<Value> removed;
  EXPECT_FALSE(list.Remove(3, &removed));
  EXPECT_FALSE(removed);
  EXPECT_TRUE(list.Remove(1, &removed));
  int value = -1;
  ASSERT_TRUE(removed && removed->GetAsInteger(&value));
  EXPECT_EQ(1, value);
  ASSERT_EQ(2u, list.GetSize());
  EXPECT_TRUE(list.GetInteger(1, &value));
  EXPECT_EQ(2, value);
  EXPECT_FALSE(list.Get(2, static_cast<const Value**>(nullptr)));
  list.Clear();
  EXPECT_TRUE(list.empty());
}

TEST(ValuesTest, Swap) {
  DictionaryValue a, b;
  a.SetInteger("x", 1);
  a.Swap(&b);
  EXPECT_TRUE(a.empty());
  EXPECT_TRUE(b.HasKey("x"));

  ListValue l1, l2;
  l1.AppendBoolean(true);
  l1.Swap(&l2);
  EXPECT_TRUE(l1.empty());
  EXPECT_EQ(1u, l2.GetSize());
}

std::unique_ptr<DictionaryValue> MakeSampleTree() {
  auto root = std::make_unique<DictionaryValue>();
  root->Set("null", Value::CreateNullValue());
  root->SetBoolean("bool", true);
  root->SetInteger("int", -3);
  root->SetDouble("double", 2.5);
  root->SetString("string", u"wide \u20ac");
  auto list = std::make_unique<ListValue>();
  list->AppendInteger(1);
  auto inner = std::make_unique<DictionaryValue>();
  inner->SetString("deep", "value");
  list->Append(std::move(inner));
  root->Set("nested.list", std::move(list));
  return root;
}

TEST(ValuesTest, DeepCopyIsIndependentAndEqual) {
  std::unique_ptr<DictionaryValue> original = MakeSampleTree();
  std::unique_ptr<DictionaryValue> copy = original->CreateDeepCopy();
  EXPECT_TRUE(original->Equals(copy.get()));
  std::unique_ptr<Value> generic_copy = original->DeepCopy();
  EXPECT_TRUE(generic_copy->Equals(original.get()));

  ListValue* copied_list = nullptr;
  ASSERT_TRUE(copy->GetList("nested.list", &copied_list));
  DictionaryValue* copied_inner = nullptr;
  ASSERT_TRUE(copied_list->GetDictionary(1, &copied_inner));
  copied_inner->SetString("deep", "changed");
  EXPECT_FALSE(original->Equals(copy.get()));
  std::string text;
  EXPECT_FALSE(original->GetString("nested.list", &text));
  const ListValue* original_list = nullptr;
  ASSERT_TRUE(original->GetList("nested.list", &original_list));
  const DictionaryValue* original_inner = nullptr;
  ASSERT_TRUE(original_list->GetDictionary(1, &original_inner));
  EXPECT_TRUE(original_inner->GetString("deep", &text));
  EXPECT_EQ("value", text);

  // Deleting the original leaves the copy intact.
  original.reset();
  EXPECT_TRUE(copied_inner->GetString("deep", &text));
  EXPECT_EQ("changed", text);
}

TEST(ValuesTest, EqualsDistinguishesTypesAndValues) {
  struct {
    std::unique_ptr<Value> a;
    std::unique_ptr<Value> b;
    bool equal;
  } cases[] = {
      {std::make_unique<FundamentalValue>(1),
       std::make_unique<FundamentalValue>(1.0), false},
      {std::make_unique<FundamentalValue>(1),
       std::make_unique<FundamentalValue>(1), true},
      {std::make_unique<FundamentalValue>(0.0),
       std::make_unique<FundamentalValue>(-0.0), true},
      {std::make_unique<FundamentalValue>(true),
       std::make_unique<FundamentalValue>(1), false},
      {std::make_unique<Value>(), std::make_unique<Value>(), true},
      {std::make_unique<Value>(), std::make_unique<StringValue>(""), false},
      {std::make_unique<StringValue>(StringPiece("a\0b", 3)),
       std::make_unique<StringValue>(StringPiece("a\0c", 3)), false},
      {std::make_unique<StringValue>(StringPiece("a\0", 2)),
       std::make_unique<StringValue>("a"), false},
      {std::make_unique<ListValue>(), std::make_unique<DictionaryValue>(),
       false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.equal, c.a->Equals(c.b.get()));
    EXPECT_EQ(c.equal, c.b->Equals(c.a.get()));
  }
  EXPECT_TRUE(Value::Equals(nullptr, nullptr));
  Value null;
  EXPECT_FALSE(Value::Equals(&null, nullptr));
  EXPECT_FALSE(null.Equals(nullptr));
}

TEST(ValuesTest, EqualsIgnoresInsertionOrderButNotContent) {
  DictionaryValue first, second;
  first.SetInteger("a", 1);
  first.SetInteger("b", 2);
  second.SetInteger("b", 2);
  second.SetInteger("a", 1);
  EXPECT_TRUE(first.Equals(&second));
  second.SetInteger("c", 3);
  EXPECT_FALSE(first.Equals(&second));
  EXPECT_FALSE(second.Equals(&first));

  ListValue l1, l2;
  l1.AppendInteger(1);
  l1.AppendInteger(2);
  l2.AppendInteger(2);
  l2.AppendInteger(1);
  EXPECT_FALSE(l1.Equals(&l2));
  l2.Clear();
  l2.AppendInteger(1);
  EXPECT_FALSE(l1.Equals(&l2));
}

TEST(ValuesTest, GetsThroughListsAndDictionaries) {
  std::unique_ptr<DictionaryValue> root = MakeSampleTree();
  const ListValue* list = nullptr;
  ASSERT_TRUE(root->GetList("nested.list", &list));
  const DictionaryValue* inner = nullptr;
  EXPECT_FALSE(list->GetDictionary(0, &inner));
  ASSERT_TRUE(list->GetDictionary(1, &inner));
  EXPECT_TRUE(inner->HasKey("deep"));
  EXPECT_FALSE(list->GetList(1, static_cast<const ListValue**>(nullptr)));
  double as_double = 0;
  EXPECT_TRUE(list->GetDouble(0, &as_double));
  EXPECT_EQ(1.0, as_double);
  EXPECT_FALSE(list->GetBoolean(0, nullptr));
  size_t count = 0;
  for (const auto& element : *list) count += element ? 1 : 0;
  EXPECT_EQ(2u, count);
}

}  // namespace
}  // namespace base
