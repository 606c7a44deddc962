#include "base/pickle.h"

#include <string.h>

#include <functional>
#include <limits>
#include <string>
#include <vector>

#include "gtest/gtest.h"

namespace base {
namespace {

using Bytes = std::vector<unsigned char>;

Bytes BytesOf(const Pickle& pickle) {
  const auto* data = static_cast<const unsigned char*>(pickle.data());
  return Bytes(data, data + pickle.size());
}

// A received message: an exactly sized copy, so that the sanitizers see any
// read past its end.
class Received {
 public:
  explicit Received(const Bytes& bytes)
      : storage_(new char[bytes.size() + 1]), size_(bytes.size()) {
    if (size_) memcpy(storage_.get(), bytes.data(), size_);
  }
  Pickle View() const { return Pickle(storage_.get(), size_); }

 private:
  std::unique_ptr<char[]> storage_;
  size_t size_;
};

TEST(PickleTest, FieldLayoutsAreExact) {
  struct Case {
    const char* name;
    std::function<void(Pickle*)> write;
    Bytes expected;
  };
  const Case cases[] = {
      {"empty", [](Pickle*) {}, {0, 0, 0, 0}},
      {"string abc",
       [](Pickle* p) { p->WriteString("abc"); },
       {8, 0, 0, 0, 3, 0, 0, 0, 'a', 'b', 'c', 0}},
      {"string16 a",
       [](Pickle* p) { p->WriteString16(u"a"); },
       {8, 0, 0, 0, 1, 0, 0, 0, 'a', 0, 0, 0}},
      {"empty string",
       [](Pickle* p) { p->WriteString(""); },
       {4, 0, 0, 0, 0, 0, 0, 0}},
      {"empty string16",
       [](Pickle* p) { p->WriteString16(u""); },
       {4, 0, 0, 0, 0, 0, 0, 0}},
      {"bools",
       [](Pickle* p) {
         p->WriteBool(true);
         p->WriteBool(false);
       },
       {8, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0}},
      {"uint32 little-endian",
       [](Pickle* p) { p->WriteUInt32(0x01020304); },
       {4, 0, 0, 0, 4, 3, 2, 1}},
      {"int -2",
       [](Pickle* p) { p->WriteInt(-2); },
       {4, 0, 0, 0, 0xFE, 0xFF, 0xFF, 0xFF}},
      {"uint64",
       [](Pickle* p) { p->WriteUInt64(0x0102030405060708ull); },
       {8, 0, 0, 0, 8, 7, 6, 5, 4, 3, 2, 1}},
      {"five raw bytes padded",
       [](Pickle* p) { p->WriteBytes("\x01\x02\x03\x04\x05", 5); },
       {8, 0, 0, 0, 1, 2, 3, 4, 5, 0, 0, 0}},
      {"string16 of two units",
       [](Pickle* p) { p->WriteString16(u"\u00e9\u4e2d"); },
       {8, 0, 0, 0, 2, 0, 0, 0, 0xE9, 0x00, 0x2D, 0x4E}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Pickle pickle;
    c.write(&pickle);
    EXPECT_EQ(c.expected, BytesOf(pickle));
    EXPECT_EQ(0u, pickle.payload_size() % 4);
  }
}

TEST(PickleTest, ClaimBytesZeroesPaddingAfterGrowth) {
  Pickle pickle;
  // Grow through several reallocations; every padding byte must be zero
  // even though the new memory is uninitialised.
  for (int i = 0; i < 300; ++i) {
    char* claimed = static_cast<char*>(pickle.ClaimBytes(1));
    *claimed = static_cast<char>(0xAB);
  }
  const Bytes bytes = BytesOf(pickle);
  ASSERT_EQ(4u + 300 * 4, bytes.size());
  for (size_t i = 4; i < bytes.size(); ++i)
    EXPECT_EQ((i % 4 == 0) ? 0xAB : 0, bytes[i]) << "at " << i;
}

TEST(PickleTest, CapacityGrowsByTheDoublingRule) {
  Pickle pickle;
  EXPECT_EQ(64u, pickle.capacity_after_header());
  std::vector<size_t> capacities = {pickle.capacity_after_header()};
  while (pickle.payload_size() < 20000) {
    pickle.WriteUInt32(7);
    if (pickle.capacity_after_header() != capacities.back())
      capacities.push_back(pickle.capacity_after_header());
  }
  const std::vector<size_t> expected = {64,   128,  256,  512,   1024,
                                        2048, 4096, 8128, 16320, 32704};
  EXPECT_EQ(expected, capacities);
}

TEST(PickleTest, ALargeFirstClaimSetsTheCapacity) {
  struct Case {
    size_t claim;
    size_t capacity;
  };
  const Case cases[] = {
      {4097, 4160}, {64, 64}, {65, 128}, {200, 256}, {129, 192}};
  for (const Case& c : cases) {
    Pickle pickle;
    pickle.ClaimBytes(c.claim);
    EXPECT_EQ(c.capacity, pickle.capacity_after_header()) << c.claim;
    EXPECT_EQ((c.claim + 3) / 4 * 4, pickle.payload_size());
  }
}

TEST(PickleTest, ViewsValidateTheirHeader) {
  struct Case {
    const char* name;
    Bytes bytes;
    bool has_data;
    size_t header_size;
    size_t payload_size;
  };
  const Case cases[] = {
      {"well formed", {4, 0, 0, 0, 1, 2, 3, 4}, true, 4, 4},
      {"empty payload", {0, 0, 0, 0}, true, 4, 0},
      {"stored size beyond the bytes", {9, 0, 0, 0, 1, 2, 3, 4}, false, 0, 0},
      {"stored size equals the bytes", {8, 0, 0, 0, 1, 2, 3, 4}, false, 0, 0},
      {"huge stored size", {0xFF, 0xFF, 0xFF, 0xFF, 1, 2}, false, 0, 0},
      {"header not a multiple of 4", {3, 0, 0, 0, 1, 2, 3}, true, 4, 3},
      {"odd header", {2, 0, 0, 0, 9, 1, 2}, false, 0, 0},
      {"fewer than 4 bytes", {0, 0, 0}, false, 0, 0},
      {"nothing", {}, false, 0, 0},
      {"longer header", {4, 0, 0, 0, 0, 0, 0, 0, 5, 0, 0, 0}, true, 8, 4},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Received received(c.bytes);
    Pickle view = received.View();
    EXPECT_EQ(c.has_data, view.data() != nullptr);
    EXPECT_EQ(c.header_size, view.header_size());
    EXPECT_EQ(c.payload_size, view.payload_size());
    PickleIterator iter(view);
    EXPECT_EQ(c.payload_size == 0, iter.ReachedEnd());
    uint32_t value = 99;
    if (!c.has_data) {
      EXPECT_FALSE(iter.ReadUInt32(&value));
      EXPECT_EQ(99u, value);
    }
  }
}

TEST(PickleTest, EveryFieldReadsBack) {
  Pickle pickle;
  pickle.WriteBool(true);
  pickle.WriteInt(std::numeric_limits<int>::min());
  pickle.WriteUInt32(0xFFFFFFFF);
  pickle.WriteInt64(-5);
  pickle.WriteUInt64(0xFEDCBA9876543210ull);
  pickle.WriteDouble(0.1);
  pickle.WriteString(std::string("a\0b", 3));
  pickle.WriteString16(u"wide \u00fc");
  pickle.WriteBytes("xyz", 3);
  pickle.WriteBool(false);

  // Read from a view over the sent bytes, as a receiver does.
  Received received(BytesOf(pickle));
  Pickle view = received.View();
  PickleIterator iter(view);
  bool b = false;
  int i = 0;
  uint32_t u32 = 0;
  int64_t i64 = 0;
  uint64_t u64 = 0;
  double d = 0;
  std::string s;
  std::u16string s16;
  const char* raw = nullptr;
  ASSERT_TRUE(iter.ReadBool(&b));
  EXPECT_TRUE(b);
  ASSERT_TRUE(iter.ReadInt(&i));
  EXPECT_EQ(std::numeric_limits<int>::min(), i);
  ASSERT_TRUE(iter.ReadUInt32(&u32));
  EXPECT_EQ(0xFFFFFFFFu, u32);
  ASSERT_TRUE(iter.ReadInt64(&i64));
  EXPECT_EQ(-5, i64);
  ASSERT_TRUE(iter.ReadUInt64(&u64));
  EXPECT_EQ(0xFEDCBA9876543210ull, u64);
  ASSERT_TRUE(iter.ReadDouble(&d));
  EXPECT_EQ(0.1, d);
  ASSERT_TRUE(iter.ReadString(&s));
  EXPECT_EQ(std::string("a\0b", 3), s);
  ASSERT_TRUE(iter.ReadString16(&s16));
  EXPECT_EQ(u"wide \u00fc", s16);
  ASSERT_TRUE(iter.ReadBytes(&raw, 3));
  EXPECT_EQ(0, memcmp(raw, "xyz", 3));
  ASSERT_TRUE(iter.ReadBool(&b));
  EXPECT_FALSE(b);
  EXPECT_TRUE(iter.ReachedEnd());
  EXPECT_FALSE(iter.ReadBool(&b));
}

TEST(PickleTest, ReadBoolTakesAnyNonZeroFirstByte) {
  Received received({4, 0, 0, 0, 2, 0, 0, 0});
  Pickle view = received.View();
  PickleIterator iter(view);
  bool value = false;
  ASSERT_TRUE(iter.ReadBool(&value));
  EXPECT_TRUE(value);
}

// A failed read leaves its out-parameter alone and makes every later read of
// the same iterator fail.
TEST(PickleTest, FailedReadsStickAtTheEnd) {
  struct Case {
    const char* name;
    Bytes payload;
    std::function<bool(PickleIterator*)> failing_read;
  };
  const Case cases[] = {
      {"string length -1",
       {0xFF, 0xFF, 0xFF, 0xFF, 'a', 'b', 'c', 'd'},
       [](PickleIterator* it) {
         std::string s = "kept";
         bool ok = it->ReadString(&s);
         EXPECT_EQ("kept", s);
         return ok;
       }},
      {"string past the end",
       {5, 0, 0, 0, 'a', 'b', 'c', 'd'},
       [](PickleIterator* it) {
         std::string s = "kept";
         bool ok = it->ReadString(&s);
         EXPECT_EQ("kept", s);
         return ok;
       }},
      {"string16 past the end",
       {3, 0, 0, 0, 'a', 0, 'b', 0},
       [](PickleIterator* it) {
         std::u16string s = u"kept";
         bool ok = it->ReadString16(&s);
         EXPECT_EQ(u"kept", s);
         return ok;
       }},
      {"string16 length -1",
       {0xFF, 0xFF, 0xFF, 0xFF, 'a', 0, 'b', 0},
       [](PickleIterator* it) {
         std::u16string s;
         return it->ReadString16(&s);
       }},
      {"int64 with three bytes left",
       {1, 2, 3, 4, 5, 6, 7},
       [](PickleIterator* it) {
         int skip;
         EXPECT_TRUE(it->ReadInt(&skip));
         int64_t v = 42;
         bool ok = it->ReadInt64(&v);
         EXPECT_EQ(42, v);
         return ok;
       }},
      {"negative raw length",
       {1, 2, 3, 4, 5, 6, 7, 8},
       [](PickleIterator* it) {
         const char* data = nullptr;
         return it->ReadBytes(&data, -1);
       }},
      {"raw bytes past the end",
       {1, 2, 3, 4},
       [](PickleIterator* it) {
         const char* data = nullptr;
         bool ok = it->ReadBytes(&data, 5);
         EXPECT_EQ(nullptr, data);
         return ok;
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Bytes message = {static_cast<unsigned char>(c.payload.size()), 0, 0, 0};
    message.insert(message.end(), c.payload.begin(), c.payload.end());
    Received received(message);
    Pickle view = received.View();
    PickleIterator iter(view);
    EXPECT_FALSE(c.failing_read(&iter));
    EXPECT_TRUE(iter.ReachedEnd());
    bool b = false;
    EXPECT_FALSE(iter.ReadBool(&b));
  }
}

TEST(PickleTest, OversizedString16CountFailsWithoutSkipping) {
  Pickle pickle;
  pickle.WriteInt(0x40000000);  // 2^31 bytes: does not fit a signed int
  pickle.WriteInt(7);
  PickleIterator iter(pickle);
  std::u16string text = u"kept";
  EXPECT_FALSE(iter.ReadString16(&text));
  EXPECT_EQ(u"kept", text);
  int next = 0;
  ASSERT_TRUE(iter.ReadInt(&next));
  EXPECT_EQ(7, next);
}

TEST(PickleTest, ShortTrailingFieldsAdvanceToTheEnd) {
  // A 5-byte payload: an int, then one byte, which a bool read may take.
  Received received({5, 0, 0, 0, 1, 0, 0, 0, 1});
  Pickle view = received.View();
  PickleIterator iter(view);
  int value = 0;
  bool flag = false;
  ASSERT_TRUE(iter.ReadInt(&value));
  EXPECT_FALSE(iter.ReachedEnd());
  ASSERT_TRUE(iter.ReadBool(&flag));
  EXPECT_TRUE(flag);
  EXPECT_TRUE(iter.ReachedEnd());
}

TEST(PickleTest, CopyOfAViewIsWritable) {
  Pickle source;
  source.WriteString("hello");
  const Bytes sent = BytesOf(source);
  Received received(sent);
  Pickle view = received.View();
  EXPECT_EQ(0u, view.capacity_after_header());

  Pickle copy(view);
  EXPECT_EQ(sent, BytesOf(copy));
  EXPECT_EQ(64u, copy.capacity_after_header());
  copy.WriteUInt32(9);
  PickleIterator iter(copy);
  std::string text;
  uint32_t number = 0;
  ASSERT_TRUE(iter.ReadString(&text));
  ASSERT_TRUE(iter.ReadUInt32(&number));
  EXPECT_EQ("hello", text);
  EXPECT_EQ(9u, number);
  // The borrowed bytes are untouched.
  EXPECT_EQ(sent, BytesOf(view));
}

TEST(PickleTest, CopyCapacityIsThePayloadRoundedTo64) {
  Pickle source;
  source.ClaimBytes(100);
  Pickle copy(source);
  EXPECT_EQ(128u, copy.capacity_after_header());
  EXPECT_EQ(BytesOf(source), BytesOf(copy));

  Received nothing({});
  Pickle empty_view = nothing.View();
  Pickle from_empty(empty_view);
  EXPECT_EQ((Bytes{0, 0, 0, 0}), BytesOf(from_empty));
  from_empty.WriteInt(1);
  EXPECT_EQ((Bytes{4, 0, 0, 0, 1, 0, 0, 0}), BytesOf(from_empty));
}

TEST(PickleTest, AttachmentsAreRefusedAndReleased) {
  Pickle pickle;
  auto attachment = std::make_shared<PickleAttachment>();
  std::weak_ptr<PickleAttachment> watch = attachment;
  EXPECT_FALSE(pickle.WriteAttachment(std::move(attachment)));
  EXPECT_TRUE(watch.expired());
  EXPECT_FALSE(pickle.HasAttachments());
  PickleIterator iter(pickle);
  std::shared_ptr<PickleAttachment> read;
  EXPECT_FALSE(pickle.ReadAttachment(&iter, &read));
}

TEST(PickleDeathTest, GrowingAReadOnlyViewIsFatal) {
  Received received({0, 0, 0, 0});
  Pickle view = received.View();
  EXPECT_DEATH(view.WriteInt(1), "");
}

}  // namespace
}  // namespace base
