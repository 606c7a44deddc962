#include <windows.h>

#include <limits>
#include <memory>
#include <new>

#include "base/allocator/allocator_shim.h"
#include "base/allocator/winheap_stubs_win.h"
#include "gtest/gtest.h"

namespace base {
namespace allocator {
namespace {

// The block was handed out by the process heap (and not, say, by a runtime
// heap of its own).
bool IsProcessHeapBlock(void* block, size_t expected_size) {
  return HeapValidate(GetProcessHeap(), 0, block) &&
         HeapSize(GetProcessHeap(), 0, block) == expected_size;
}

TEST(AllocatorShimTest, SizeLimitIsJustBelowTwoGigabytes) {
  EXPECT_EQ(nullptr, ShimMalloc(kMaxWindowsAllocation));
  EXPECT_EQ(nullptr, ShimMalloc(std::numeric_limits<size_t>::max()));
  // One byte less reaches the heap, which on a 64-bit process grants it.
  void* largest = ShimMalloc(kMaxWindowsAllocation - 1);
  ASSERT_NE(nullptr, largest);
  EXPECT_TRUE(IsProcessHeapBlock(largest, kMaxWindowsAllocation - 1));
  ShimFree(largest);
}

TEST(AllocatorShimTest, ReallocEdges) {
  // A null address allocates.
  char* block = static_cast<char*>(ShimRealloc(nullptr, 10));
  ASSERT_NE(nullptr, block);
  EXPECT_TRUE(IsProcessHeapBlock(block, 10));
  memcpy(block, "0123456789", 10);

  // Growing keeps the contents.
  block = static_cast<char*>(ShimRealloc(block, 5000));
  ASSERT_NE(nullptr, block);
  EXPECT_EQ(0, memcmp(block, "0123456789", 10));

  // A request at the limit fails and leaves the block as it was.
  EXPECT_EQ(nullptr, ShimRealloc(block, kMaxWindowsAllocation));
  EXPECT_TRUE(IsProcessHeapBlock(block, 5000));
  EXPECT_EQ(0, memcmp(block, "0123456789", 10));

  // Size 0 frees and answers null.
  EXPECT_EQ(nullptr, ShimRealloc(block, 0));
  EXPECT_FALSE(HeapValidate(GetProcessHeap(), 0, block));
}

TEST(AllocatorShimTest, CallocZeroesAndRefusesOverflow) {
  struct Case {
    size_t count;
    size_t size;
    bool succeeds;
  };
  const size_t max = std::numeric_limits<size_t>::max();
  const Case cases[] = {
      {100, 8, true},
      {0, 8, true},
      {8, 0, true},
      {max, 2, false},
      {(max >> 1) + 2, 2, false},  // wraps around to a small product
      {1, kMaxWindowsAllocation, false},
      {0x10000, 0x10000, false},  // 4 GiB: no overflow, but over the limit
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.count << " x " << c.size);
    unsigned char* block =
        static_cast<unsigned char*>(ShimCalloc(c.count, c.size));
    EXPECT_EQ(c.succeeds, block != nullptr);
    if (!block) continue;
    for (size_t i = 0; i < c.count * c.size; ++i) ASSERT_EQ(0, block[i]);
    ShimFree(block);
  }
}

TEST(AllocatorShimTest, ChainHeadIsTheWindowsHeapTable) {
  const AllocatorDispatch* head = GetAllocatorDispatchChainHead();
  ASSERT_NE(nullptr, head);
  EXPECT_EQ(nullptr, head->next);
  void* block = head->alloc_function(head, 24);
  ASSERT_NE(nullptr, block);
  EXPECT_TRUE(IsProcessHeapBlock(block, 24));
  head->free_function(head, block);
  EXPECT_EQ(0, ShimGetNewMode());
}

TEST(AllocatorShimTest, OperatorNewUsesTheProcessHeap) {
  auto block = std::make_unique<char[]>(123);
  EXPECT_TRUE(IsProcessHeapBlock(block.get(), 123));
  auto* object = new int(5);
  EXPECT_TRUE(IsProcessHeapBlock(object, sizeof(int)));
  delete object;
}

TEST(AllocatorShimTest, NothrowNewAnswersNull) {
  volatile size_t too_large = kMaxWindowsAllocation;
  char* block = new (std::nothrow) char[too_large];
  EXPECT_EQ(nullptr, block);
}

TEST(AllocatorShimDeathTest, FailedNewIsFatal) {
  // Called through a volatile pointer so that the compiler cannot assume
  // the result is non-null and drop the check below.
  void* (*volatile throwing_new)(size_t) =
      static_cast<void* (*)(size_t)>(&::operator new);
  EXPECT_DEATH(
      {
        if (!throwing_new(kMaxWindowsAllocation)) exit(0);
      },
      "");
}

TEST(AllocatorShimDeathTest, AlignedEntryIsFatal) {
  const AllocatorDispatch* head = GetAllocatorDispatchChainHead();
  EXPECT_DEATH(head->alloc_aligned_function(head, 64, 64), "");
}

}  // namespace
}  // namespace allocator
}  // namespace base
