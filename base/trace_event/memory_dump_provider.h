// MemoryDumpProvider: an object that describes its own memory in a process
// memory dump (the trace log and each thread's event buffer are ones). It
// registers with the MemoryDumpManager and is called by the embedder's
// global-dump service, never by the manager itself.

#ifndef BASE_TRACE_EVENT_MEMORY_DUMP_PROVIDER_H_
#define BASE_TRACE_EVENT_MEMORY_DUMP_PROVIDER_H_

#include "base/trace_event/memory_dump_request_args.h"

namespace base {
namespace trace_event {

class ProcessMemoryDump;

class MemoryDumpProvider {
 public:
  // Copied at registration.
  struct Options {};

  virtual ~MemoryDumpProvider() = default;

  // Adds its allocator dumps to |pmd|; false when it could not.
  virtual bool OnMemoryDump(const MemoryDumpArgs& args,
                            ProcessMemoryDump* pmd) = 0;
  // Told when heap profiling is switched on (or was on at registration).
  virtual void OnHeapProfilingEnabled(bool enabled) {}
};

}  // namespace trace_event
}  // namespace base

#endif  // BASE_TRACE_EVENT_MEMORY_DUMP_PROVIDER_H_
