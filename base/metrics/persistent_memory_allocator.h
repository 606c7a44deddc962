// PersistentMemoryAllocator: carves typed records out of one flat memory
// segment (a mapped file or shared memory) that several processes, or a
// process and its later readers, may use at once.
//
// Segment format (little-endian 32-bit fields, offsets from the start):
//   0   28 bytes  identification, written by the creator, never read here
//   28  flags     bit 0 corrupt, bit 1 full
//   32  free      where the next allocation begins (56 when fresh)
//   36  tail      the last block of the iterable queue (40 when empty)
//   40  16 bytes  the queue head block; its link holds 40 while empty
//   56  ...       blocks
// Each block starts with {size incl. header, cookie, type id, link}; blocks
// are 8-aligned and never cross a page. A block joins the iterable queue
// once it is complete (MakeIterable), so readers never see half a record.
//
// Allocation, linking, type changes and iteration are lock-free: 32-bit
// compare-and-swap on the segment, safe across threads and processes. The
// segment may have been corrupted or forged by another process: every
// reference and size read from it is validated before use (in 64-bit
// arithmetic), every loop over its links is bounded, and what fails
// validation marks the segment corrupt. A read-only allocator never writes
// the segment, not even its flags.

#ifndef BASE_METRICS_PERSISTENT_MEMORY_ALLOCATOR_H_
#define BASE_METRICS_PERSISTENT_MEMORY_ALLOCATOR_H_

#include <stddef.h>
#include <stdint.h>

#include <atomic>

#include "base/strings/string_piece.h"

namespace base {

class HistogramBase;

class PersistentMemoryAllocator {
 public:
  using Reference = uint32_t;

  // The queue head's reference, which also ends the queue.
  static constexpr Reference kReferenceQueue = 40;
  // Where the first block goes; also the smallest segment accepted.
  static constexpr uint32_t kSegmentHeaderSize = 56;
  static constexpr uint32_t kBlockHeaderSize = 16;
  static constexpr uint32_t kAllocAlignment = 8;
  static constexpr uint32_t kBlockCookieAllocated = 0xC8799269;
  static constexpr uint32_t kBlockCookieWasted = 0xFFFFFFFF;
  // Requests of this many bytes or more are refused.
  static constexpr uint32_t kMaxRequestSize = 0x3FFFFFF1;
  // Fewer bytes than this left at a page end go with the block before.
  static constexpr uint32_t kMinPageTail = 24;

  // Walks the iterable queue. One iterator may be shared by threads; it
  // ends at the current tail and continues from there when more blocks
  // are linked later.
  class Iterator {
   public:
    explicit Iterator(const PersistentMemoryAllocator* allocator);
    Iterator(const Iterator&) = delete;
    Iterator& operator=(const Iterator&) = delete;

    // The following block's reference and type id, or 0 at the end (also
    // when the queue is broken or loops: the segment is then corrupt).
    Reference GetNext(uint32_t* type_return);
    // The following block of |type_match|, or 0.
    Reference GetNextOfType(uint32_t type_match);

   private:
    const PersistentMemoryAllocator* const allocator_;
    std::atomic<Reference> last_record_;
    std::atomic<uint32_t> record_count_{0};
  };

  // Works on |size| bytes at |base| (8-aligned), divided into pages of
  // |page_size|. A writable allocator sets up a segment whose free offset
  // is 0 (fresh, zero-filled memory), writing |id| into its identification.
  // A segment shorter than its header, over 4 GB, or with a page size that
  // is 0 or not a multiple of 8 is refused: the allocator is then corrupt
  // and touches nothing.
  PersistentMemoryAllocator(void* base, size_t size, size_t page_size,
                            uint64_t id, bool read_only);
  PersistentMemoryAllocator(const PersistentMemoryAllocator&) = delete;
  PersistentMemoryAllocator& operator=(const PersistentMemoryAllocator&) =
      delete;
  virtual ~PersistentMemoryAllocator();

  // A block with a payload of |size| bytes and type |type_id|; 0 when the
  // request is too large, the segment is full (flag set) or corrupt, or the
  // allocator is read-only. The payload is zero-filled.
  Reference Allocate(size_t size, uint32_t type_id);
  // Appends the block to the iterable queue; nothing for a block that is
  // invalid or already iterable.
  void MakeIterable(Reference ref);
  // Changes the type of a valid block from |from_type| to |to_type|; false
  // when the block is invalid or has another type.
  bool ChangeType(Reference ref, uint32_t to_type, uint32_t from_type);
  // Payload size of a valid block, else 0.
  size_t GetAllocSize(Reference ref) const;
  // Type id of a valid block, else 0.
  uint32_t GetType(Reference ref) const;
  // The payload of a valid block of |type_id| (any type for 0) with at
  // least |size| bytes, or null. Writable even through a read-only
  // allocator's answer: the caller must not write then.
  char* GetBlockData(Reference ref, uint32_t type_id, size_t size) const;
  template <typename T>
  T* GetAsObject(Reference ref, uint32_t type_id) const {
    return reinterpret_cast<T*>(GetBlockData(ref, type_id, sizeof(T)));
  }

  // Either flag (local or in the segment) makes both set.
  bool IsCorrupt() const;
  bool IsFull() const;
  bool IsReadonly() const { return read_only_; }
  // Logs, sets the local flag and, unless read-only, the segment's.
  void SetCorrupt() const;

  size_t size() const { return mem_size_; }
  // Bytes handed out so far (the free offset, at most the size).
  size_t used() const;
  const char* data() const { return mem_base_; }
  uint64_t Id() const;

  // Each allocation's requested size (0 for a failure) is added to
  // |histogram| (not owned; may be null).
  void SetAllocSizeHistogram(HistogramBase* histogram) {
    alloc_size_histogram_ = histogram;
  }

 private:
  struct SharedMetadata;
  struct BlockHeader;

  Reference AllocateImpl(size_t size, uint32_t type_id);
  // The header at |ref| when the block passes validation, else null.
  BlockHeader* GetBlock(Reference ref, uint32_t type_id, uint32_t size,
                        bool queue_ok) const;
  SharedMetadata* shared_meta() const;
  uint32_t LoadFreeOffset() const;
  void SetFlag(uint32_t flag) const;
  bool CheckFlag(uint32_t flag) const;
  // Records without a bound on the queue's length: the most blocks the
  // used part of the segment can hold.
  uint32_t MaxRecords() const;

  char* const mem_base_;
  const uint32_t mem_size_;
  const uint32_t page_size_;
  const bool read_only_;
  mutable std::atomic<bool> corrupt_{false};
  HistogramBase* alloc_size_histogram_ = nullptr;
};

}  // namespace base

#endif  // BASE_METRICS_PERSISTENT_MEMORY_ALLOCATOR_H_
