// Storage of recorded events: chunks of 64 records, and the two buffers that
// own them. A buffer hands a chunk out to one writer (a thread's own event
// buffer or the trace log's shared chunk), which fills it without a lock
// and gives it back when full or when it goes away.
//
// Every TraceBuffer operation runs under the trace log's lock; a chunk that
// is handed out belongs to its writer alone.

#ifndef BASE_TRACE_EVENT_TRACE_BUFFER_H_
#define BASE_TRACE_EVENT_TRACE_BUFFER_H_

#include <stddef.h>
#include <stdint.h>

#include <memory>
#include <vector>

#include "base/trace_event/trace_event_memory_overhead.h"
#include "base/trace_event/trace_event_record.h"
#include "base/trace_event/trace_log_constants.h"

namespace base {
namespace trace_event {

class TraceBufferChunk {
 public:
  static constexpr size_t kTraceBufferChunkSize = 64;

  explicit TraceBufferChunk(uint32_t seq);
  TraceBufferChunk(const TraceBufferChunk&) = delete;
  TraceBufferChunk& operator=(const TraceBufferChunk&) = delete;
  ~TraceBufferChunk();

  // Releases what the used records hold and starts again empty with |seq|.
  void Reset(uint32_t seq);
  // The next free record; |*event_index| gets its index. The chunk must not
  // be full.
  TraceEvent* AddTraceEvent(size_t* event_index);
  bool IsFull() const { return next_free_ == kTraceBufferChunkSize; }

  uint32_t seq() const { return seq_; }
  size_t size() const { return next_free_; }
  TraceEvent* GetEventAt(size_t index) { return &chunk_[index]; }
  const TraceEvent* GetEventAt(size_t index) const { return &chunk_[index]; }

  // Adds the chunk's cost to |overhead|. Records are estimated once and
  // the tally is kept until the chunk is reset.
  void EstimateTraceMemoryOverhead(TraceEventMemoryOverhead* overhead);

 private:
  size_t next_free_ = 0;
  std::unique_ptr<TraceEventMemoryOverhead> cached_overhead_estimate_;
  TraceEvent chunk_[kTraceBufferChunkSize];
  uint32_t seq_;
};

// The handle of record |event_index| of chunk |chunk_index| with sequence
// number |chunk_seq|.
TraceEventHandle MakeTraceEventHandle(uint32_t chunk_seq, size_t chunk_index,
                                      size_t event_index);

class TraceBuffer {
 public:
  virtual ~TraceBuffer() = default;

  // A chunk for a writer, with its index in |*index|; null when none can be
  // had (a ring whose every chunk is handed out).
  virtual std::unique_ptr<TraceBufferChunk> GetChunk(size_t* index) = 0;
  // Takes back a chunk handed out as |index|.
  virtual void ReturnChunk(size_t index,
                           std::unique_ptr<TraceBufferChunk> chunk) = 0;
  virtual bool IsFull() const = 0;
  // Event slots in the chunks held, and at most.
  virtual size_t Size() const = 0;
  virtual size_t Capacity() const = 0;
  // The stored event |handle| names; null when it is gone or never was.
  virtual TraceEvent* GetEventByHandle(TraceEventHandle handle) = 0;
  // The following stored chunk in output order; null at the end.
  virtual const TraceBufferChunk* NextChunk() = 0;
  // Adds the buffer's cost and that of the chunks it holds.
  virtual void EstimateTraceMemoryOverhead(
      TraceEventMemoryOverhead* overhead) = 0;

  // The buffer chosen by the trace log's options (see trace_log.h):
  // continuous recording and the console echo use rings, the rest vectors.
  static std::unique_ptr<TraceBuffer> CreateForOptions(unsigned int options);
  static std::unique_ptr<TraceBuffer> CreateTraceBufferRingBuffer(
      size_t max_chunks);
  static std::unique_ptr<TraceBuffer> CreateTraceBufferVectorOfSize(
      size_t max_chunks);
};

// Recycles its oldest chunks; never full.
class TraceBufferRingBuffer : public TraceBuffer {
 public:
  explicit TraceBufferRingBuffer(size_t max_chunks);
  ~TraceBufferRingBuffer() override;

  std::unique_ptr<TraceBufferChunk> GetChunk(size_t* index) override;
  void ReturnChunk(size_t index,
                   std::unique_ptr<TraceBufferChunk> chunk) override;
  bool IsFull() const override { return false; }
  size_t Size() const override;
  size_t Capacity() const override;
  TraceEvent* GetEventByHandle(TraceEventHandle handle) override;
  const TraceBufferChunk* NextChunk() override;
  void EstimateTraceMemoryOverhead(TraceEventMemoryOverhead* overhead) override;

 private:
  bool QueueIsEmpty() const { return queue_head_ == queue_tail_; }
  size_t QueueSize() const;
  size_t NextQueueIndex(size_t index) const;

  const size_t max_chunks_;
  std::vector<std::unique_ptr<TraceBufferChunk>> chunks_;
  // Indices of recyclable chunks, oldest at the head; max_chunks_ + 1 room.
  std::unique_ptr<size_t[]> recyclable_chunks_queue_;
  size_t queue_head_ = 0;
  size_t queue_tail_;
  size_t current_iteration_index_ = 0;
  uint32_t current_chunk_seq_ = 1;
};

// Grows until |max_chunks| chunks were handed out, then reports full.
class TraceBufferVector : public TraceBuffer {
 public:
  explicit TraceBufferVector(size_t max_chunks);
  ~TraceBufferVector() override;

  std::unique_ptr<TraceBufferChunk> GetChunk(size_t* index) override;
  void ReturnChunk(size_t index,
                   std::unique_ptr<TraceBufferChunk> chunk) override;
  bool IsFull() const override { return chunks_.size() >= max_chunks_; }
  size_t Size() const override;
  size_t Capacity() const override;
  TraceEvent* GetEventByHandle(TraceEventHandle handle) override;
  const TraceBufferChunk* NextChunk() override;
  void EstimateTraceMemoryOverhead(TraceEventMemoryOverhead* overhead) override;

 private:
  size_t in_flight_chunk_count_ = 0;
  size_t current_iteration_index_ = 0;
  const size_t max_chunks_;
  std::vector<std::unique_ptr<TraceBufferChunk>> chunks_;
};

}  // namespace trace_event
}  // namespace base

#endif  // BASE_TRACE_EVENT_TRACE_BUFFER_H_
