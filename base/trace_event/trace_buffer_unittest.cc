#include "base/trace_event/trace_buffer.h"

#include <memory>
#include <vector>

#include "gtest/gtest.h"

namespace base {
namespace trace_event {
namespace {

TEST(TraceBufferTest, HandleLayout) {
  TraceEventHandle handle =
      MakeTraceEventHandle(0xdeadbeef, (1u << 26) - 1, 63);
  uint64_t bits;
  static_assert(sizeof(handle) == sizeof(bits));
  memcpy(&bits, &handle, sizeof(bits));
  EXPECT_EQ(bits, 0xdeadbeefull | (((1ull << 26) - 1) << 32) | (63ull << 58));
  EXPECT_FALSE(handle.is_null());
  EXPECT_TRUE(TraceEventHandle().is_null());
}

TEST(TraceBufferTest, RingHandsOutInOrderAndRecyclesOldestLast) {
  TraceBufferRingBuffer ring(1000);
  std::vector<std::unique_ptr<TraceBufferChunk>> chunks;
  for (size_t expected = 0; expected < 3; ++expected) {
    size_t index = 99;
    chunks.push_back(ring.GetChunk(&index));
    EXPECT_EQ(index, expected);
    EXPECT_EQ(chunks.back()->seq(), expected + 1);
  }
  size_t event_index;
  chunks[0]->AddTraceEvent(&event_index);
  TraceEventHandle old_handle = MakeTraceEventHandle(1, 0, 0);
  ring.ReturnChunk(0, std::move(chunks[0]));
  EXPECT_TRUE(ring.GetEventByHandle(old_handle));
  // Index 0 comes back only after every other index was handed out.
  for (size_t expected = 3; expected < 1000; ++expected) {
    size_t index;
    std::unique_ptr<TraceBufferChunk> chunk = ring.GetChunk(&index);
    ASSERT_EQ(index, expected);
    ring.ReturnChunk(index, std::move(chunk));
  }
  size_t index;
  std::unique_ptr<TraceBufferChunk> recycled = ring.GetChunk(&index);
  EXPECT_EQ(index, 0u);
  EXPECT_EQ(recycled->seq(), 1001u);
  EXPECT_EQ(recycled->size(), 0u);
  // The old handle names a chunk that has been reused.
  ring.ReturnChunk(0, std::move(recycled));
  EXPECT_FALSE(ring.GetEventByHandle(old_handle));
  EXPECT_FALSE(ring.IsFull());
  EXPECT_EQ(ring.Capacity(), 64000u);
}

TEST(TraceBufferTest, RingWithEveryChunkHandedOutGivesNone) {
  TraceBufferRingBuffer ring(2);
  size_t first, second, third = 77;
  auto a = ring.GetChunk(&first);
  auto b = ring.GetChunk(&second);
  ASSERT_TRUE(a && b);
  EXPECT_NE(first, second);
  // Nothing left to recycle: no index is handed out twice.
  EXPECT_FALSE(ring.GetChunk(&third));
  EXPECT_EQ(third, 77u);
  ring.ReturnChunk(first, std::move(a));
  auto c = ring.GetChunk(&third);
  ASSERT_TRUE(c);
  EXPECT_EQ(third, first);
}

TEST(TraceBufferTest, RingIteratesReturnedChunks) {
  TraceBufferRingBuffer ring(4);
  EXPECT_FALSE(ring.NextChunk());
  size_t indices[3];
  std::unique_ptr<TraceBufferChunk> chunks[3];
  for (int i = 0; i < 3; ++i) chunks[i] = ring.GetChunk(&indices[i]);
  ring.ReturnChunk(indices[2], std::move(chunks[2]));
  ring.ReturnChunk(indices[0], std::move(chunks[0]));
  const TraceBufferChunk* first = ring.NextChunk();
  const TraceBufferChunk* second = ring.NextChunk();
  ASSERT_TRUE(first && second);
  EXPECT_EQ(first->seq(), 3u);
  EXPECT_EQ(second->seq(), 1u);
  EXPECT_FALSE(ring.NextChunk());
}

TEST(TraceBufferTest, VectorIsFullAtItsLastChunk) {
  TraceBufferVector vector(4000);
  std::vector<std::unique_ptr<TraceBufferChunk>> held;
  for (size_t i = 0; i < 4000; ++i) {
    EXPECT_FALSE(vector.IsFull()) << i;
    size_t index;
    held.push_back(vector.GetChunk(&index));
    ASSERT_EQ(index, i);
    ASSERT_EQ(held.back()->seq(), i + 1);
  }
  EXPECT_TRUE(vector.IsFull());
  EXPECT_EQ(vector.Size(), 256000u);
  EXPECT_EQ(vector.Capacity(), 256000u);
}

TEST(TraceBufferTest, VectorFindsEventsOfReturnedChunksOnly) {
  TraceBufferVector vector(10);
  size_t index;
  std::unique_ptr<TraceBufferChunk> chunk = vector.GetChunk(&index);
  size_t event_index = 0;
  for (int i = 0; i < 64; ++i) chunk->AddTraceEvent(&event_index);
  EXPECT_EQ(event_index, 63u);
  EXPECT_TRUE(chunk->IsFull());
  TraceEvent* last = chunk->GetEventAt(63);
  TraceEventHandle handle = MakeTraceEventHandle(chunk->seq(), index, 63);
  // Handed out: the buffer does not see it.
  EXPECT_FALSE(vector.GetEventByHandle(handle));
  vector.ReturnChunk(index, std::move(chunk));
  EXPECT_EQ(vector.GetEventByHandle(handle), last);
  EXPECT_FALSE(vector.GetEventByHandle(MakeTraceEventHandle(2, index, 63)));
  EXPECT_FALSE(vector.GetEventByHandle(MakeTraceEventHandle(1, 5, 0)));
  EXPECT_EQ(vector.NextChunk()->seq(), 1u);
  EXPECT_FALSE(vector.NextChunk());
}

TEST(TraceBufferTest, BufferChoiceByOptions) {
  const struct {
    unsigned int options;
    size_t capacity;
  } kCases[] = {
      {kTraceOptionRecordUntilFull, 256000},
      {kTraceOptionRecordContinuously, 64000},
      {kTraceOptionRecordContinuously | kTraceOptionEchoToConsole, 64000},
      {kTraceOptionEchoToConsole, 16384},
      {kTraceOptionRecordAsMuchAsPossible, 512000000},
  };
  for (const auto& test : kCases) {
    EXPECT_EQ(TraceBuffer::CreateForOptions(test.options)->Capacity(),
              test.capacity)
        << test.options;
  }
}

}  // namespace
}  // namespace trace_event
}  // namespace base
