// ProcessMemoryDump: the allocator dumps one process contributes to a
// memory dump, by absolute name. In a background dump only whitelisted
// names are kept; every other name goes to one shared "discarded" dump.
// Belongs to the one dump in progress; used by one thread at a time.

#ifndef BASE_TRACE_EVENT_PROCESS_MEMORY_DUMP_H_
#define BASE_TRACE_EVENT_PROCESS_MEMORY_DUMP_H_

#include <memory>
#include <string>
#include <unordered_map>

#include "base/trace_event/memory_allocator_dump.h"
#include "base/trace_event/memory_dump_request_args.h"

namespace base {
namespace trace_event {

class ProcessMemoryDump {
 public:
  using AllocatorDumpsMap =
      std::unordered_map<std::string, std::unique_ptr<MemoryAllocatorDump>>;

  explicit ProcessMemoryDump(const MemoryDumpArgs& dump_args);
  ProcessMemoryDump(const ProcessMemoryDump&) = delete;
  ProcessMemoryDump& operator=(const ProcessMemoryDump&) = delete;
  ~ProcessMemoryDump();

  // The dump stored under |absolute_name|: a new one, the earlier one of
  // that name, or (background, not whitelisted) the "discarded" dump.
  MemoryAllocatorDump* CreateAllocatorDump(const std::string& absolute_name);
  // The same for a dump made by the caller.
  MemoryAllocatorDump* AddAllocatorDump(
      std::unique_ptr<MemoryAllocatorDump> dump);
  // The dump stored under |absolute_name|, or null.
  MemoryAllocatorDump* GetAllocatorDump(const std::string& absolute_name) const;

  const AllocatorDumpsMap& allocator_dumps() const { return allocator_dumps_; }
  const MemoryDumpArgs& dump_args() const { return dump_args_; }

  // True when |name|, with each "0x" and the hexadecimal digits after it
  // read as "0x?", is on the background whitelist.
  static bool IsWhitelistedName(const std::string& name);

 private:
  MemoryAllocatorDump* GetDiscardedDump();

  const MemoryDumpArgs dump_args_;
  AllocatorDumpsMap allocator_dumps_;
  std::unique_ptr<MemoryAllocatorDump> discarded_dump_;
};

}  // namespace trace_event
}  // namespace base

#endif  // BASE_TRACE_EVENT_PROCESS_MEMORY_DUMP_H_
