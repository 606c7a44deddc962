// MemoryAllocatorDump: one named node of a process memory dump ("/"-separated
// path such as "tracing/main_trace_log/TraceEvent") with scalar attributes.
// Its guid is derived from the process and the name, so the same name in the
// same process always has the same guid. Owned by its ProcessMemoryDump;
// used by one thread at a time.

#ifndef BASE_TRACE_EVENT_MEMORY_ALLOCATOR_DUMP_H_
#define BASE_TRACE_EVENT_MEMORY_ALLOCATOR_DUMP_H_

#include <stdint.h>

#include <memory>
#include <string>

namespace base {
namespace trace_event {

class ProcessMemoryDump;
class TracedValue;

class MemoryAllocatorDump {
 public:
  static constexpr char kNameSize[] = "size";
  static constexpr char kNameObjectCount[] = "object_count";
  static constexpr char kTypeScalar[] = "scalar";
  static constexpr char kUnitsBytes[] = "bytes";
  static constexpr char kUnitsObjects[] = "objects";

  MemoryAllocatorDump(const std::string& absolute_name,
                      ProcessMemoryDump* process_memory_dump);
  MemoryAllocatorDump(const MemoryAllocatorDump&) = delete;
  MemoryAllocatorDump& operator=(const MemoryAllocatorDump&) = delete;
  ~MemoryAllocatorDump();

  // Adds {"type": "scalar", "units": units, "value": value in hex} under
  // |name|. |name| and |units| must be literals.
  void AddScalar(const char* name, const char* units, uint64_t value);

  const std::string& absolute_name() const { return absolute_name_; }
  uint64_t guid() const { return guid_; }
  int flags() const { return flags_; }
  ProcessMemoryDump* process_memory_dump() const {
    return process_memory_dump_;
  }
  const TracedValue* attributes() const { return attributes_.get(); }

 private:
  const std::string absolute_name_;
  ProcessMemoryDump* const process_memory_dump_;
  std::unique_ptr<TracedValue> attributes_;
  const uint64_t guid_;
  int flags_ = 0;
  // Reused for formatting numbers.
  std::string string_conversion_buffer_;
};

// The first 8 bytes of the SHA-1 of "<process id>:<name>", read as a
// little-endian number.
uint64_t MemoryAllocatorDumpGuid(int process_id, const std::string& name);

}  // namespace trace_event
}  // namespace base

#endif  // BASE_TRACE_EVENT_MEMORY_ALLOCATOR_DUMP_H_
