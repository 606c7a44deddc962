#include "base/trace_event/trace_buffer.h"

#include <utility>

#include "base/logging.h"
#include "base/trace_event/heap_profiler_allocation_context_tracker.h"
#include "base/trace_event/trace_log.h"

namespace base {
namespace trace_event {

namespace {

constexpr size_t kChunkIndexBits = 26;
constexpr size_t kMaxChunkIndex = (size_t{1} << kChunkIndexBits) - 1;

// Buffer sizes in chunks.
constexpr size_t kContinuousChunks = 1000;
constexpr size_t kEchoToConsoleChunks = 256;
constexpr size_t kAsMuchAsPossibleChunks = 8000000;
constexpr size_t kUntilFullChunks = 4000;

// The chunk of |chunks| that |handle| names, or null.
TraceEvent* FindEvent(std::vector<std::unique_ptr<TraceBufferChunk>>* chunks,
                      TraceEventHandle handle) {
  if (handle.chunk_index >= chunks->size()) return nullptr;
  TraceBufferChunk* chunk = (*chunks)[handle.chunk_index].get();
  if (!chunk || chunk->seq() != handle.chunk_seq) return nullptr;
  return chunk->GetEventAt(handle.event_index);
}

}  // namespace

TraceBufferChunk::TraceBufferChunk(uint32_t seq) : seq_(seq) {}

TraceBufferChunk::~TraceBufferChunk() = default;

void TraceBufferChunk::Reset(uint32_t seq) {
  for (size_t i = 0; i < next_free_; ++i) chunk_[i].Reset();
  next_free_ = 0;
  seq_ = seq;
  cached_overhead_estimate_.reset();
}

void TraceBufferChunk::EstimateTraceMemoryOverhead(
    TraceEventMemoryOverhead* overhead) {
  if (!cached_overhead_estimate_) {
    cached_overhead_estimate_ = std::make_unique<TraceEventMemoryOverhead>();
    // The chunk's own fields, without its records.
    cached_overhead_estimate_->Add(kOverheadChunk,
                                   sizeof(*this) - sizeof(chunk_));
  }
  const size_t estimated =
      cached_overhead_estimate_->GetCount(kOverheadTraceEvent);
  for (size_t i = estimated; i < next_free_; ++i)
    chunk_[i].EstimateTraceMemoryOverhead(cached_overhead_estimate_.get());
  if (!IsFull()) {
    overhead->Add(kOverheadUnusedEvents,
                  (kTraceBufferChunkSize - next_free_) * sizeof(TraceEvent));
  } else if (cached_overhead_estimate_->GetCount(kOverheadTable) == 0) {
    cached_overhead_estimate_->AddSelf();
  }
  overhead->Update(*cached_overhead_estimate_);
}

TraceEvent* TraceBufferChunk::AddTraceEvent(size_t* event_index) {
  CHECK(!IsFull());
  *event_index = next_free_++;
  return &chunk_[*event_index];
}

TraceEventHandle MakeTraceEventHandle(uint32_t chunk_seq, size_t chunk_index,
                                      size_t event_index) {
  CHECK_LE(chunk_index, kMaxChunkIndex);
  CHECK_LT(event_index, TraceBufferChunk::kTraceBufferChunkSize);
  TraceEventHandle handle;
  handle.chunk_seq = chunk_seq;
  handle.chunk_index = static_cast<uint32_t>(chunk_index);
  handle.event_index = static_cast<uint32_t>(event_index);
  return handle;
}

// static
std::unique_ptr<TraceBuffer> TraceBuffer::CreateForOptions(
    unsigned int options) {
  if (options & kTraceOptionRecordContinuously)
    return CreateTraceBufferRingBuffer(kContinuousChunks);
  if (options & kTraceOptionEchoToConsole)
    return CreateTraceBufferRingBuffer(kEchoToConsoleChunks);
  if (options & kTraceOptionRecordAsMuchAsPossible)
    return CreateTraceBufferVectorOfSize(kAsMuchAsPossibleChunks);
  return CreateTraceBufferVectorOfSize(kUntilFullChunks);
}

// static
std::unique_ptr<TraceBuffer> TraceBuffer::CreateTraceBufferRingBuffer(
    size_t max_chunks) {
  return std::make_unique<TraceBufferRingBuffer>(max_chunks);
}

// static
std::unique_ptr<TraceBuffer> TraceBuffer::CreateTraceBufferVectorOfSize(
    size_t max_chunks) {
  return std::make_unique<TraceBufferVector>(max_chunks);
}

TraceBufferRingBuffer::TraceBufferRingBuffer(size_t max_chunks)
    : max_chunks_(max_chunks),
      recyclable_chunks_queue_(new size_t[max_chunks + 1]),
      queue_tail_(max_chunks) {
  chunks_.reserve(max_chunks);
  for (size_t i = 0; i < max_chunks; ++i) recyclable_chunks_queue_[i] = i;
}

TraceBufferRingBuffer::~TraceBufferRingBuffer() = default;

size_t TraceBufferRingBuffer::NextQueueIndex(size_t index) const {
  return index + 1 > max_chunks_ ? 0 : index + 1;
}

size_t TraceBufferRingBuffer::QueueSize() const {
  return queue_tail_ >= queue_head_
             ? queue_tail_ - queue_head_
             : queue_tail_ + max_chunks_ + 1 - queue_head_;
}

std::unique_ptr<TraceBufferChunk> TraceBufferRingBuffer::GetChunk(
    size_t* index) {
  // Every chunk is handed out: taking the head now would hand one index to
  // two writers. The event is dropped instead.
  if (QueueIsEmpty()) return nullptr;
  HeapProfilerScopedIgnore ignore;
  *index = recyclable_chunks_queue_[queue_head_];
  queue_head_ = NextQueueIndex(queue_head_);
  current_iteration_index_ = queue_head_;
  if (*index >= chunks_.size()) chunks_.resize(*index + 1);
  std::unique_ptr<TraceBufferChunk> chunk = std::move(chunks_[*index]);
  if (chunk)
    chunk->Reset(current_chunk_seq_);
  else
    chunk = std::make_unique<TraceBufferChunk>(current_chunk_seq_);
  ++current_chunk_seq_;
  return chunk;
}

void TraceBufferRingBuffer::ReturnChunk(
    size_t index, std::unique_ptr<TraceBufferChunk> chunk) {
  CHECK_LT(index, chunks_.size());
  CHECK_LT(QueueSize(), max_chunks_);
  chunks_[index] = std::move(chunk);
  recyclable_chunks_queue_[queue_tail_] = index;
  queue_tail_ = NextQueueIndex(queue_tail_);
}

size_t TraceBufferRingBuffer::Size() const {
  return chunks_.size() * TraceBufferChunk::kTraceBufferChunkSize;
}

size_t TraceBufferRingBuffer::Capacity() const {
  return max_chunks_ * TraceBufferChunk::kTraceBufferChunkSize;
}

TraceEvent* TraceBufferRingBuffer::GetEventByHandle(TraceEventHandle handle) {
  return FindEvent(&chunks_, handle);
}

const TraceBufferChunk* TraceBufferRingBuffer::NextChunk() {
  if (chunks_.empty()) return nullptr;
  while (current_iteration_index_ != queue_tail_) {
    size_t chunk_index = recyclable_chunks_queue_[current_iteration_index_];
    current_iteration_index_ = NextQueueIndex(current_iteration_index_);
    if (chunk_index >= chunks_.size() || !chunks_[chunk_index]) continue;
    return chunks_[chunk_index].get();
  }
  return nullptr;
}

void TraceBufferRingBuffer::EstimateTraceMemoryOverhead(
    TraceEventMemoryOverhead* overhead) {
  overhead->Add(kOverheadRingBuffer, sizeof(*this));
  for (size_t i = queue_head_; i != queue_tail_; i = NextQueueIndex(i)) {
    size_t chunk_index = recyclable_chunks_queue_[i];
    if (chunk_index < chunks_.size() && chunks_[chunk_index])
      chunks_[chunk_index]->EstimateTraceMemoryOverhead(overhead);
  }
}

TraceBufferVector::TraceBufferVector(size_t max_chunks)
    : max_chunks_(max_chunks) {
  chunks_.reserve(max_chunks_);
}

TraceBufferVector::~TraceBufferVector() = default;

std::unique_ptr<TraceBufferChunk> TraceBufferVector::GetChunk(size_t* index) {
  if (chunks_.size() > kMaxChunkIndex) return nullptr;
  HeapProfilerScopedIgnore ignore;
  *index = chunks_.size();
  chunks_.push_back(nullptr);
  ++in_flight_chunk_count_;
  return std::make_unique<TraceBufferChunk>(static_cast<uint32_t>(*index) + 1);
}

void TraceBufferVector::ReturnChunk(size_t index,
                                    std::unique_ptr<TraceBufferChunk> chunk) {
  CHECK_GT(in_flight_chunk_count_, 0u);
  CHECK_LT(index, chunks_.size());
  CHECK(!chunks_[index]);
  --in_flight_chunk_count_;
  chunks_[index] = std::move(chunk);
}

size_t TraceBufferVector::Size() const {
  return chunks_.size() * TraceBufferChunk::kTraceBufferChunkSize;
}

size_t TraceBufferVector::Capacity() const {
  return max_chunks_ * TraceBufferChunk::kTraceBufferChunkSize;
}

TraceEvent* TraceBufferVector::GetEventByHandle(TraceEventHandle handle) {
  return FindEvent(&chunks_, handle);
}

void TraceBufferVector::EstimateTraceMemoryOverhead(
    TraceEventMemoryOverhead* overhead) {
  overhead->Add(kOverheadVectorBuffer,
                sizeof(*this) + max_chunks_ * sizeof(chunks_[0]),
                sizeof(*this) + chunks_.size() * sizeof(chunks_[0]));
  for (const auto& chunk : chunks_) {
    if (chunk) chunk->EstimateTraceMemoryOverhead(overhead);
  }
}

const TraceBufferChunk* TraceBufferVector::NextChunk() {
  while (current_iteration_index_ < chunks_.size()) {
    const TraceBufferChunk* chunk = chunks_[current_iteration_index_++].get();
    if (chunk) return chunk;
  }
  return nullptr;
}

}  // namespace trace_event
}  // namespace base
