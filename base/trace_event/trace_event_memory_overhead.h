// TraceEventMemoryOverhead: the tally in which the tracing code reports its
// own memory use by kind ("TraceEvent", "std::string", ...), and writes it
// into a memory dump. Entries are keyed by the name's pointer, not its
// text: callers pass static strings. Up to 16 entries sit in a small array;
// the 17th distinct name moves them all into a hash map.
//
// Belongs to one caller at a time; not thread-safe.

#ifndef BASE_TRACE_EVENT_TRACE_EVENT_MEMORY_OVERHEAD_H_
#define BASE_TRACE_EVENT_TRACE_EVENT_MEMORY_OVERHEAD_H_

#include <stddef.h>
#include <stdint.h>

#include <string>
#include <unordered_map>

namespace base {
namespace trace_event {

class ProcessMemoryDump;

// Names of the kinds the tracing code counts.
inline constexpr char kOverheadTraceLog[] = "TraceLog";
inline constexpr char kOverheadTraceEvent[] = "TraceEvent";
inline constexpr char kOverheadString[] = "std::string";
inline constexpr char kOverheadTable[] = "TraceEventMemoryOverhead";
inline constexpr char kOverheadChunk[] = "TraceBufferChunk";
inline constexpr char kOverheadUnusedEvents[] = "TraceEvent (unused)";
inline constexpr char kOverheadRingBuffer[] = "TraceBufferRingBuffer";
inline constexpr char kOverheadVectorBuffer[] = "TraceBufferVector";
inline constexpr char kOverheadUnknownConvertable[] =
    "ConvertableToTraceFormat(Unknown)";

class TraceEventMemoryOverhead {
 public:
  struct ObjectCountAndSize {
    const char* name = nullptr;
    uint64_t count = 0;
    uint64_t allocated_size_in_bytes = 0;
    uint64_t resident_size_in_bytes = 0;
  };

  static constexpr size_t kMaxArrayEntries = 16;

  TraceEventMemoryOverhead();
  TraceEventMemoryOverhead(const TraceEventMemoryOverhead&) = delete;
  TraceEventMemoryOverhead& operator=(const TraceEventMemoryOverhead&) = delete;
  ~TraceEventMemoryOverhead();

  // One object of |size_in_bytes| (allocated and resident).
  void Add(const char* name, size_t size_in_bytes);
  void Add(const char* name, size_t allocated_size_in_bytes,
           size_t resident_size_in_bytes);
  void Add(const char* name, uint64_t count, uint64_t allocated_size_in_bytes,
           uint64_t resident_size_in_bytes);
  // The object count of |name|; 0 when absent.
  uint64_t GetCount(const char* name) const;
  // Adds every entry of |other|.
  void Update(const TraceEventMemoryOverhead& other);
  // Counts this table itself under "TraceEventMemoryOverhead".
  void AddSelf();

  // An allocator dump "<base_name>/<entry name>" per entry, each with
  // "size", "resident_size" and "object_count".
  void DumpInto(const char* base_name, ProcessMemoryDump* pmd) const;

  size_t entry_count() const { return spilled() ? map_.size() : array_size_; }

 private:
  struct PointerHash {
    size_t operator()(const char* name) const;
  };
  bool spilled() const { return !map_.empty(); }
  // Visits every entry in order (array, or the map's order).
  template <typename Visitor>
  void ForEach(Visitor visit) const;

  ObjectCountAndSize array_[kMaxArrayEntries];
  size_t array_size_ = 0;
  std::unordered_map<const char*, ObjectCountAndSize, PointerHash> map_;
};

}  // namespace trace_event
}  // namespace base

#endif  // BASE_TRACE_EVENT_TRACE_EVENT_MEMORY_OVERHEAD_H_
