// The arguments of a memory dump: how detailed it is, and, for a requested
// global dump, its id and type.

#ifndef BASE_TRACE_EVENT_MEMORY_DUMP_REQUEST_ARGS_H_
#define BASE_TRACE_EVENT_MEMORY_DUMP_REQUEST_ARGS_H_

#include <stdint.h>

#include "base/callback.h"

namespace base {
namespace trace_event {

enum class MemoryDumpLevelOfDetail : uint32_t {
  BACKGROUND = 0,
  LIGHT = 1,
  DETAILED = 2,
};

enum class MemoryDumpType : uint32_t {
  // Requested by the periodic timer; the only type requested here.
  PERIODIC_INTERVAL = 2,
};

// What a provider is told when asked for its dump.
struct MemoryDumpArgs {
  MemoryDumpLevelOfDetail level_of_detail = MemoryDumpLevelOfDetail::DETAILED;
};

// What the embedder's global-dump service receives.
struct MemoryDumpRequestArgs {
  uint64_t dump_guid = 0;
  MemoryDumpType dump_type = MemoryDumpType::PERIODIC_INTERVAL;
  MemoryDumpLevelOfDetail level_of_detail = MemoryDumpLevelOfDetail::DETAILED;
};

// Told the dump id and whether the global dump succeeded.
using GlobalMemoryDumpCallback =
    Callback<void(uint64_t dump_guid, bool success)>;

}  // namespace trace_event
}  // namespace base

#endif  // BASE_TRACE_EVENT_MEMORY_DUMP_REQUEST_ARGS_H_
