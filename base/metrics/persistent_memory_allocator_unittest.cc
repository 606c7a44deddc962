#include "base/metrics/persistent_memory_allocator.h"

#include <string.h>

#include <memory>
#include <thread>
#include <vector>

#include "base/logging.h"
#include "gtest/gtest.h"

namespace base {
namespace {

using Reference = PersistentMemoryAllocator::Reference;

constexpr uint32_t kTypeA = 0x1111;
constexpr uint32_t kTypeB = 0x2222;

// Segment bytes, 8-aligned and zero-filled.
class Segment {
 public:
  explicit Segment(size_t size) : words_((size + 7) / 8, 0), size_(size) {}
  char* data() { return reinterpret_cast<char*>(words_.data()); }
  size_t size() const { return size_; }
  uint32_t Field(size_t offset) {
    uint32_t value;
    memcpy(&value, data() + offset, 4);
    return value;
  }
  void SetField(size_t offset, uint32_t value) {
    memcpy(data() + offset, &value, 4);
  }

 private:
  std::vector<uint64_t> words_;
  size_t size_;
};

// Corruption is logged at ERROR; the tests expect it.
class PersistentMemoryAllocatorTest : public testing::Test {
 protected:
  void SetUp() override { logging::SetMinLogLevel(logging::LOG_FATAL); }
  void TearDown() override { logging::SetMinLogLevel(logging::LOG_INFO); }
};

TEST_F(PersistentMemoryAllocatorTest, FreshSegmentLayout) {
  Segment segment(1024);
  PersistentMemoryAllocator allocator(segment.data(), 1024, 1024, 7, false);
  EXPECT_EQ(segment.Field(32), 56u);  // free offset
  EXPECT_EQ(segment.Field(36), 40u);  // tail
  EXPECT_EQ(segment.Field(52), 40u);  // queue head's link
  Reference ref = allocator.Allocate(8, kTypeA);
  EXPECT_EQ(ref, 56u);
  EXPECT_EQ(segment.Field(56), 24u);
  EXPECT_EQ(segment.Field(60), 0xC8799269u);
  EXPECT_EQ(segment.Field(32), 80u);
  EXPECT_EQ(allocator.GetAllocSize(ref), 8u);
  EXPECT_EQ(allocator.GetType(ref), kTypeA);
  EXPECT_EQ(allocator.Id(), 7u);
  EXPECT_FALSE(allocator.IsCorrupt());
}

TEST_F(PersistentMemoryAllocatorTest, PageEnds) {
  Segment segment(4096);
  PersistentMemoryAllocator allocator(segment.data(), 4096, 256, 0, false);
  // 56 + 176 = 232: 24 bytes left in the first page, enough for a block.
  Reference first = allocator.Allocate(160, kTypeA);
  EXPECT_EQ(first, 56u);
  EXPECT_EQ(allocator.GetAllocSize(first), 160u);
  // 232 + 24 = 256 exactly.
  Reference second = allocator.Allocate(1, kTypeA);
  EXPECT_EQ(second, 232u);
  // Next page: 256 + 216 leaves 24: fits; then a block that leaves 16
  // takes the rest of its page.
  Reference third = allocator.Allocate(200, kTypeA);
  EXPECT_EQ(third, 256u);
  Reference fourth = allocator.Allocate(100, kTypeA);  // 472 + 120 > 512
  // Does not fit the 40 bytes left: a wasted block, then the next page.
  EXPECT_EQ(fourth, 512u);
  EXPECT_EQ(segment.Field(472), 40u);
  EXPECT_EQ(segment.Field(476), 0xFFFFFFFFu);
  // 632 + 120 leaves 16 in the page: the block takes them.
  Reference fifth = allocator.Allocate(104, kTypeA);
  EXPECT_EQ(fifth, 632u);
  EXPECT_EQ(allocator.GetAllocSize(fifth), 120u);
  EXPECT_EQ(allocator.Allocate(8, kTypeA), 768u);
}

TEST_F(PersistentMemoryAllocatorTest, FullAndTooLarge) {
  Segment segment(512);
  PersistentMemoryAllocator allocator(segment.data(), 512, 256, 0, false);
  EXPECT_EQ(allocator.Allocate(300, kTypeA), 0u);  // larger than a page
  EXPECT_FALSE(allocator.IsFull());
  EXPECT_EQ(allocator.Allocate(0x3FFFFFF1, kTypeA), 0u);
  EXPECT_NE(allocator.Allocate(180, kTypeA), 0u);
  EXPECT_NE(allocator.Allocate(200, kTypeA), 0u);
  EXPECT_EQ(allocator.Allocate(200, kTypeA), 0u);
  EXPECT_TRUE(allocator.IsFull());
  EXPECT_EQ(segment.Field(28) & 2, 2u);
  EXPECT_FALSE(allocator.IsCorrupt());
}

TEST_F(PersistentMemoryAllocatorTest, IterationAndTypes) {
  Segment segment(2048);
  PersistentMemoryAllocator allocator(segment.data(), 2048, 2048, 0, false);
  PersistentMemoryAllocator::Iterator empty(&allocator);
  EXPECT_EQ(empty.GetNext(nullptr), 0u);

  Reference a = allocator.Allocate(16, kTypeA);
  Reference b = allocator.Allocate(16, kTypeB);
  Reference hidden = allocator.Allocate(16, kTypeA);
  allocator.MakeIterable(a);
  allocator.MakeIterable(b);
  allocator.MakeIterable(a);  // already linked: nothing changes
  PersistentMemoryAllocator::Iterator iter(&allocator);
  uint32_t type = 0;
  EXPECT_EQ(iter.GetNext(&type), a);
  EXPECT_EQ(type, kTypeA);
  EXPECT_EQ(iter.GetNext(&type), b);
  EXPECT_EQ(iter.GetNext(&type), 0u);
  // Picks up blocks linked later.
  allocator.MakeIterable(hidden);
  EXPECT_EQ(iter.GetNext(&type), hidden);

  PersistentMemoryAllocator::Iterator typed(&allocator);
  EXPECT_EQ(typed.GetNextOfType(kTypeB), b);
  EXPECT_FALSE(allocator.ChangeType(b, kTypeA, kTypeA));
  EXPECT_TRUE(allocator.ChangeType(b, kTypeA, kTypeB));
  EXPECT_EQ(allocator.GetType(b), kTypeA);
  EXPECT_EQ(allocator.GetBlockData(b, kTypeB, 0), nullptr);
  EXPECT_NE(allocator.GetBlockData(b, kTypeA, 16), nullptr);
  EXPECT_EQ(allocator.GetBlockData(b, kTypeA, 17), nullptr);
  EXPECT_FALSE(allocator.IsCorrupt());
}

TEST_F(PersistentMemoryAllocatorTest, BrokenLinksMarkCorruption) {
  const struct {
    const char* name;
    uint32_t link;  // written into the first block's link
  } kCases[] = {
      {"outside", 0x7FFFFFF8},
      {"wraps 32 bits", 0xFFFFFFF0},
      {"misaligned", 60},
      {"to itself", 56},
  };
  for (const auto& test : kCases) {
    SCOPED_TRACE(test.name);
    Segment segment(1024);
    {
      PersistentMemoryAllocator writer(segment.data(), 1024, 1024, 0, false);
      Reference a = writer.Allocate(8, kTypeA);
      writer.MakeIterable(a);
      segment.SetField(a + 12, test.link);
    }
    PersistentMemoryAllocator reader(segment.data(), 1024, 1024, 0, false);
    PersistentMemoryAllocator::Iterator iter(&reader);
    int steps = 0;
    while (iter.GetNext(nullptr) && steps < 1000) ++steps;
    EXPECT_LT(steps, 1000);
    EXPECT_TRUE(reader.IsCorrupt());
    EXPECT_EQ(segment.Field(28) & 1, 1u);
    EXPECT_EQ(reader.Allocate(8, kTypeA), 0u);
  }
}

TEST_F(PersistentMemoryAllocatorTest, LoopingTailEndsLinking) {
  Segment segment(1024);
  PersistentMemoryAllocator allocator(segment.data(), 1024, 1024, 0, false);
  Reference a = allocator.Allocate(8, kTypeA);
  Reference b = allocator.Allocate(8, kTypeA);
  allocator.MakeIterable(a);
  segment.SetField(a + 12, a);  // the tail links to itself
  allocator.MakeIterable(b);    // must return
  EXPECT_TRUE(allocator.IsCorrupt());
}

TEST_F(PersistentMemoryAllocatorTest, ReadOnlyNeverWrites) {
  Segment segment(1024);
  {
    PersistentMemoryAllocator writer(segment.data(), 1024, 1024, 0, false);
    Reference a = writer.Allocate(8, kTypeA);
    writer.MakeIterable(a);
    segment.SetField(a + 12, 0x7FFFFFF8);  // broken link
  }
  std::vector<char> before(segment.data(), segment.data() + 1024);
  PersistentMemoryAllocator reader(segment.data(), 1024, 1024, 0, true);
  PersistentMemoryAllocator::Iterator iter(&reader);
  EXPECT_EQ(iter.GetNext(nullptr), 56u);
  EXPECT_EQ(iter.GetNext(nullptr), 0u);
  EXPECT_TRUE(reader.IsCorrupt());
  EXPECT_EQ(reader.Allocate(8, kTypeA), 0u);
  reader.MakeIterable(56);
  EXPECT_FALSE(reader.ChangeType(56, kTypeB, kTypeA));
  EXPECT_EQ(std::vector<char>(segment.data(), segment.data() + 1024), before);

  // A read-only view of fresh memory stays untouched too.
  Segment fresh(256);
  PersistentMemoryAllocator fresh_reader(fresh.data(), 256, 256, 0, true);
  EXPECT_EQ(fresh.Field(32), 0u);
}

TEST_F(PersistentMemoryAllocatorTest, RefusedSegments) {
  Segment segment(1024);
  const struct {
    size_t size;
    size_t page_size;
  } kCases[] = {{55, 1024}, {0, 1024}, {1024, 0}, {1024, 12}};
  for (const auto& test : kCases) {
    PersistentMemoryAllocator allocator(segment.data(), test.size,
                                        test.page_size, 0, false);
    EXPECT_TRUE(allocator.IsCorrupt());
    EXPECT_EQ(allocator.Allocate(8, kTypeA), 0u);
    PersistentMemoryAllocator::Iterator iter(&allocator);
    EXPECT_EQ(iter.GetNext(nullptr), 0u);
  }
  EXPECT_EQ(segment.Field(32), 0u);  // nothing was set up
}

TEST_F(PersistentMemoryAllocatorTest, ConcurrentAllocateAndLink) {
  constexpr int kThreads = 4;
  constexpr int kPerThread = 200;
  Segment segment(kThreads * kPerThread * 32 + 4096);
  PersistentMemoryAllocator allocator(segment.data(), segment.size(), 4096, 0,
                                      false);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&allocator] {
      for (int i = 0; i < kPerThread; ++i) {
        Reference ref = allocator.Allocate(8, kTypeA);
        ASSERT_NE(ref, 0u);
        allocator.MakeIterable(ref);
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  PersistentMemoryAllocator::Iterator iter(&allocator);
  int count = 0;
  while (iter.GetNext(nullptr)) ++count;
  EXPECT_EQ(count, kThreads * kPerThread);
  EXPECT_FALSE(allocator.IsCorrupt());
}

}  // namespace
}  // namespace base
