#include "base/metrics/persistent_memory_allocator.h"

#include <string.h>

#include <algorithm>

#include "base/logging.h"
#include "base/metrics/histogram_base.h"

namespace base {

namespace {

constexpr uint32_t kFlagCorrupt = 1 << 0;
constexpr uint32_t kFlagFull = 1 << 1;

// Written into the identification by a creator; nothing here reads it.
constexpr uint32_t kSegmentCookie = 0x564C4E41;
constexpr uint32_t kSegmentVersion = 1;
// The largest segment whose offsets fit the 32-bit references.
constexpr uint64_t kMaxSegmentSize = 0xFFFFFFF8u;

// Relaxed loads and compare-and-swap on 32-bit fields of the segment.
uint32_t Load(const uint32_t* field) {
  return __atomic_load_n(field, __ATOMIC_ACQUIRE);
}
void Store(uint32_t* field, uint32_t value) {
  __atomic_store_n(field, value, __ATOMIC_RELEASE);
}
// On failure |*expected| gets the current value.
bool CompareAndSwap(uint32_t* field, uint32_t* expected, uint32_t desired) {
  return __atomic_compare_exchange_n(field, expected, desired, false,
                                     __ATOMIC_ACQ_REL, __ATOMIC_ACQUIRE);
}

bool Acceptable(const void* base, size_t size, size_t page_size) {
  return base && size >= PersistentMemoryAllocator::kSegmentHeaderSize &&
         size <= kMaxSegmentSize && page_size != 0 &&
         page_size % PersistentMemoryAllocator::kAllocAlignment == 0 &&
         page_size <= kMaxSegmentSize;
}

}  // namespace

struct PersistentMemoryAllocator::BlockHeader {
  uint32_t size;
  uint32_t cookie;
  uint32_t type_id;
  uint32_t next;
};

struct PersistentMemoryAllocator::SharedMetadata {
  uint32_t cookie;
  uint32_t version;
  uint32_t size;
  uint32_t page_size;
  uint32_t id_low;
  uint32_t id_high;
  uint32_t reserved;
  uint32_t flags;
  uint32_t freeptr;
  uint32_t tailptr;
  BlockHeader queue;
};

PersistentMemoryAllocator::SharedMetadata*
PersistentMemoryAllocator::shared_meta() const {
  static_assert(sizeof(SharedMetadata) == kSegmentHeaderSize,
                "segment header layout");
  return reinterpret_cast<SharedMetadata*>(mem_base_);
}

PersistentMemoryAllocator::Iterator::Iterator(
    const PersistentMemoryAllocator* allocator)
    : allocator_(allocator), last_record_(kReferenceQueue) {}

PersistentMemoryAllocator::Reference
PersistentMemoryAllocator::Iterator::GetNext(uint32_t* type_return) {
  Reference last = last_record_.load(std::memory_order_acquire);
  for (;;) {
    const BlockHeader* block = allocator_->GetBlock(last, 0, 0, true);
    if (!block) return 0;
    Reference next = Load(&block->next);
    if (next == kReferenceQueue) return 0;
    const BlockHeader* next_block = allocator_->GetBlock(next, 0, 0, false);
    if (!next_block) {
      allocator_->SetCorrupt();
      return 0;
    }
    // Another thread sharing this iterator may have moved on: go from
    // where it is now.
    if (!last_record_.compare_exchange_strong(last, next,
                                              std::memory_order_acq_rel)) {
      continue;
    }
    // More records than the segment can hold: the queue loops.
    if (record_count_.fetch_add(1, std::memory_order_relaxed) >=
        allocator_->MaxRecords()) {
      allocator_->SetCorrupt();
      return 0;
    }
    uint32_t type = Load(&next_block->type_id);
    if (type_return) *type_return = type;
    return next;
  }
}

PersistentMemoryAllocator::Reference
PersistentMemoryAllocator::Iterator::GetNextOfType(uint32_t type_match) {
  uint32_t type;
  Reference ref;
  while ((ref = GetNext(&type)) != 0) {
    if (type == type_match) return ref;
  }
  return 0;
}

PersistentMemoryAllocator::PersistentMemoryAllocator(void* base, size_t size,
                                                     size_t page_size,
                                                     uint64_t id,
                                                     bool read_only)
    : mem_base_(static_cast<char*>(base)),
      mem_size_(Acceptable(base, size, page_size)
                    ? static_cast<uint32_t>(size & ~size_t{7})
                    : 0),
      page_size_(mem_size_ ? static_cast<uint32_t>(page_size) : 0),
      read_only_(read_only) {
  if (!mem_size_) {
    LOG(ERROR) << "Refused a persistent segment of " << size
               << " bytes with pages of " << page_size;
    corrupt_ = true;
    return;
  }
  CHECK_EQ(reinterpret_cast<uintptr_t>(base) % kAllocAlignment, 0u);
  SharedMetadata* meta = shared_meta();
  if (read_only_ || Load(&meta->freeptr) != 0) return;
  // A fresh segment: lay out the header, then publish the free offset.
  meta->cookie = kSegmentCookie;
  meta->version = kSegmentVersion;
  meta->size = mem_size_;
  meta->page_size = page_size_;
  meta->id_low = static_cast<uint32_t>(id);
  meta->id_high = static_cast<uint32_t>(id >> 32);
  Store(&meta->queue.size, kBlockHeaderSize);
  Store(&meta->queue.cookie, kBlockCookieAllocated);
  Store(&meta->queue.next, kReferenceQueue);
  Store(&meta->tailptr, kReferenceQueue);
  Store(&meta->freeptr, kSegmentHeaderSize);
}

PersistentMemoryAllocator::~PersistentMemoryAllocator() = default;

uint32_t PersistentMemoryAllocator::LoadFreeOffset() const {
  return mem_size_ ? Load(&shared_meta()->freeptr) : 0;
}

size_t PersistentMemoryAllocator::used() const {
  return std::min(LoadFreeOffset(), mem_size_);
}

uint64_t PersistentMemoryAllocator::Id() const {
  if (!mem_size_) return 0;
  return (static_cast<uint64_t>(Load(&shared_meta()->id_high)) << 32) |
         Load(&shared_meta()->id_low);
}

uint32_t PersistentMemoryAllocator::MaxRecords() const {
  return static_cast<uint32_t>(used() / kMinPageTail);
}

PersistentMemoryAllocator::BlockHeader* PersistentMemoryAllocator::GetBlock(
    Reference ref, uint32_t type_id, uint32_t size, bool queue_ok) const {
  if (ref % kAllocAlignment != 0) return nullptr;
  if (ref < (queue_ok ? kReferenceQueue : kSegmentHeaderSize)) return nullptr;
  const uint64_t limit = std::min<uint64_t>(mem_size_, LoadFreeOffset());
  const uint64_t wanted_end = uint64_t{ref} + kBlockHeaderSize + size;
  if (wanted_end > limit) return nullptr;
  BlockHeader* block = reinterpret_cast<BlockHeader*>(mem_base_ + ref);
  const uint32_t block_size = Load(&block->size);
  if (uint64_t{block_size} < uint64_t{kBlockHeaderSize} + size) return nullptr;
  if (uint64_t{ref} + block_size > limit) return nullptr;
  if (ref != kReferenceQueue && Load(&block->cookie) != kBlockCookieAllocated)
    return nullptr;
  if (type_id != 0 && Load(&block->type_id) != type_id) return nullptr;
  return block;
}

char* PersistentMemoryAllocator::GetBlockData(Reference ref, uint32_t type_id,
                                              size_t size) const {
  if (size > kMaxRequestSize) return nullptr;
  BlockHeader* block =
      GetBlock(ref, type_id, static_cast<uint32_t>(size), false);
  return block ? reinterpret_cast<char*>(block) + kBlockHeaderSize : nullptr;
}

size_t PersistentMemoryAllocator::GetAllocSize(Reference ref) const {
  const BlockHeader* block = GetBlock(ref, 0, 0, false);
  if (!block) return 0;
  uint32_t size = Load(&block->size);
  if (size <= kBlockHeaderSize || uint64_t{ref} + size > mem_size_) {
    SetCorrupt();
    return 0;
  }
  return size - kBlockHeaderSize;
}

uint32_t PersistentMemoryAllocator::GetType(Reference ref) const {
  const BlockHeader* block = GetBlock(ref, 0, 0, false);
  return block ? Load(&block->type_id) : 0;
}

bool PersistentMemoryAllocator::ChangeType(Reference ref, uint32_t to_type,
                                           uint32_t from_type) {
  if (read_only_) return false;
  BlockHeader* block = GetBlock(ref, 0, 0, false);
  if (!block) return false;
  uint32_t expected = from_type;
  return CompareAndSwap(&block->type_id, &expected, to_type);
}

PersistentMemoryAllocator::Reference PersistentMemoryAllocator::Allocate(
    size_t size, uint32_t type_id) {
  Reference ref = AllocateImpl(size, type_id);
  if (alloc_size_histogram_) {
    alloc_size_histogram_->Add(
        ref ? static_cast<HistogramBase::Sample>(
                  std::min<size_t>(size, HistogramBase::kSampleTypeMax))
            : 0);
  }
  return ref;
}

PersistentMemoryAllocator::Reference PersistentMemoryAllocator::AllocateImpl(
    size_t req_size, uint32_t type_id) {
  if (read_only_ || req_size >= kMaxRequestSize) return 0;
  uint32_t size = (static_cast<uint32_t>(req_size) + kBlockHeaderSize +
                   kAllocAlignment - 1) &
                  ~(kAllocAlignment - 1);
  if (size <= kBlockHeaderSize || size > page_size_) return 0;

  SharedMetadata* meta = shared_meta();
  uint32_t freeptr = LoadFreeOffset();
  for (;;) {
    if (IsCorrupt()) return 0;
    if (uint64_t{freeptr} + size > mem_size_) {
      SetFlag(kFlagFull);
      return 0;
    }
    if (freeptr % kAllocAlignment != 0 || freeptr < kSegmentHeaderSize ||
        uint64_t{freeptr} + kBlockHeaderSize > mem_size_) {
      SetCorrupt();
      return 0;
    }
    const uint32_t page_free = page_size_ - freeptr % page_size_;
    if (size > page_free) {
      // The rest of this page is too small: waste it, try the next page.
      if (page_free <= kBlockHeaderSize) {
        SetCorrupt();
        return 0;
      }
      const uint32_t wasted_at = freeptr;
      if (CompareAndSwap(&meta->freeptr, &freeptr, wasted_at + page_free)) {
        BlockHeader* wasted =
            reinterpret_cast<BlockHeader*>(mem_base_ + wasted_at);
        Store(&wasted->size, page_free);
        Store(&wasted->cookie, kBlockCookieWasted);
        freeptr = wasted_at + page_free;
      }
      continue;
    }
    // A page tail too small for any block goes with this one, as far as
    // the segment reaches.
    uint32_t block_size = size;
    if (page_free - size < kMinPageTail)
      block_size = static_cast<uint32_t>(
          std::min<uint64_t>(page_free, mem_size_ - freeptr));
    const uint64_t new_freeptr = uint64_t{freeptr} + block_size;
    if (new_freeptr > mem_size_) {
      SetCorrupt();
      return 0;
    }
    const uint32_t claimed = freeptr;
    if (!CompareAndSwap(&meta->freeptr, &freeptr,
                        static_cast<uint32_t>(new_freeptr))) {
      continue;
    }
    BlockHeader* block = reinterpret_cast<BlockHeader*>(mem_base_ + claimed);
    if (Load(&block->size) != 0 || Load(&block->cookie) != 0 ||
        Load(&block->type_id) != 0 || Load(&block->next) != 0) {
      // Something wrote past its block into free space.
      SetCorrupt();
      return 0;
    }
    Store(&block->size, block_size);
    Store(&block->cookie, kBlockCookieAllocated);
    Store(&block->type_id, type_id);
    return claimed;
  }
}

void PersistentMemoryAllocator::MakeIterable(Reference ref) {
  if (read_only_ || IsCorrupt()) return;
  BlockHeader* block = GetBlock(ref, 0, 0, false);
  if (!block) return;
  uint32_t expected = 0;
  if (!CompareAndSwap(&block->next, &expected, kReferenceQueue)) return;

  SharedMetadata* meta = shared_meta();
  // A tail that links to itself or into a cycle never reaches the end:
  // give up after as many steps as the segment has records.
  const uint32_t max_steps = MaxRecords() + 2;
  for (uint32_t step = 0; step < max_steps; ++step) {
    uint32_t tail = Load(&meta->tailptr);
    BlockHeader* tail_block = GetBlock(tail, 0, 0, true);
    if (!tail_block || tail == ref) break;
    uint32_t link = kReferenceQueue;
    if (CompareAndSwap(&tail_block->next, &link, ref)) {
      CompareAndSwap(&meta->tailptr, &tail, ref);
      return;
    }
    // Another thread linked a block but has not moved the tail yet: move
    // it on its behalf, then try again.
    CompareAndSwap(&meta->tailptr, &tail, link);
  }
  SetCorrupt();
}

bool PersistentMemoryAllocator::IsCorrupt() const {
  if (corrupt_.load(std::memory_order_relaxed) || CheckFlag(kFlagCorrupt)) {
    SetCorrupt();
    return true;
  }
  return false;
}

bool PersistentMemoryAllocator::IsFull() const { return CheckFlag(kFlagFull); }

void PersistentMemoryAllocator::SetCorrupt() const {
  LOG(ERROR) << "Corruption detected in shared-memory segment.";
  corrupt_.store(true, std::memory_order_relaxed);
  SetFlag(kFlagCorrupt);
}

void PersistentMemoryAllocator::SetFlag(uint32_t flag) const {
  if (read_only_ || !mem_size_) return;
  uint32_t* flags = &shared_meta()->flags;
  uint32_t current = Load(flags);
  while (!(current & flag) &&
         !CompareAndSwap(flags, &current, current | flag)) {
  }
}

bool PersistentMemoryAllocator::CheckFlag(uint32_t flag) const {
  return mem_size_ && (Load(&shared_meta()->flags) & flag) != 0;
}

}  // namespace base
