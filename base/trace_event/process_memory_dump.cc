#include "base/trace_event/process_memory_dump.h"

#include <ctype.h>
#include <string.h>

#include <utility>

namespace base {
namespace trace_event {

namespace {

constexpr char kDiscardedDumpName[] = "discarded";

// Dump names kept in background dumps, after normalisation.
constexpr const char* kWhitelistedDumpNames[] = {
    "layout_gc",
    "layout_gc/allocated_objects",
    "discardable",
    "discardable/child_0x?",
    "dom_storage/0x?/cache_size",
    "dom_storage/session_storage_0x?",
    "java_heap",
    "java_heap/allocated_objects",
    "leveldb/index_db/0x?",
    "leveldb/value_store/Extensions.Database.Open.Settings/0x?",
    "leveldb/value_store/Extensions.Database.Open.Rules/0x?",
    "leveldb/value_store/Extensions.Database.Open.State/0x?",
    "leveldb/value_store/Extensions.Database.Open/0x?",
    "leveldb/value_store/Extensions.Database.Restore/0x?",
    "leveldb/value_store/Extensions.Database.Value.Restore/0x?",
    "malloc",
    "malloc/allocated_objects",
    "malloc/metadata_fragmentation_caches",
    "pool_alloc/allocated_objects",
    "pool_alloc/partitions",
    "pool_alloc/partitions/buffer",
    "pool_alloc/partitions/fast_malloc",
    "pool_alloc/partitions/layout",
    "graphics/gr_glyph_cache",
    "graphics/gr_resource_cache",
    "sqlite",
    "script/isolate_0x?/heap_spaces",
    "script/isolate_0x?/heap_spaces/code_space",
    "script/isolate_0x?/heap_spaces/large_object_space",
    "script/isolate_0x?/heap_spaces/map_space",
    "script/isolate_0x?/heap_spaces/new_space",
    "script/isolate_0x?/heap_spaces/old_space",
    "script/isolate_0x?/heap_spaces/other_spaces",
    "script/isolate_0x?/malloc",
    "script/isolate_0x?/zapped_for_debug",
    "winheap",
    "winheap/allocated_objects",
};

std::string NormalizeHexAddresses(const std::string& name) {
  std::string result;
  result.reserve(name.size());
  for (size_t i = 0; i < name.size();) {
    if (name.compare(i, 2, "0x") == 0) {
      result += "0x?";
      i += 2;
      while (i < name.size() && isxdigit(static_cast<unsigned char>(name[i])))
        ++i;
    } else {
      result += name[i++];
    }
  }
  return result;
}

}  // namespace

ProcessMemoryDump::ProcessMemoryDump(const MemoryDumpArgs& dump_args)
    : dump_args_(dump_args) {}

ProcessMemoryDump::~ProcessMemoryDump() = default;

// static
bool ProcessMemoryDump::IsWhitelistedName(const std::string& name) {
  const std::string normalized = NormalizeHexAddresses(name);
  for (const char* whitelisted : kWhitelistedDumpNames) {
    if (normalized == whitelisted) return true;
  }
  return false;
}

MemoryAllocatorDump* ProcessMemoryDump::CreateAllocatorDump(
    const std::string& absolute_name) {
  return AddAllocatorDump(
      std::make_unique<MemoryAllocatorDump>(absolute_name, this));
}

MemoryAllocatorDump* ProcessMemoryDump::AddAllocatorDump(
    std::unique_ptr<MemoryAllocatorDump> dump) {
  if (dump_args_.level_of_detail == MemoryDumpLevelOfDetail::BACKGROUND &&
      !IsWhitelistedName(dump->absolute_name())) {
    return GetDiscardedDump();
  }
  auto inserted =
      allocator_dumps_.emplace(dump->absolute_name(), std::move(dump));
  return inserted.first->second.get();
}

MemoryAllocatorDump* ProcessMemoryDump::GetAllocatorDump(
    const std::string& absolute_name) const {
  auto found = allocator_dumps_.find(absolute_name);
  return found == allocator_dumps_.end() ? nullptr : found->second.get();
}

MemoryAllocatorDump* ProcessMemoryDump::GetDiscardedDump() {
  if (!discarded_dump_)
    discarded_dump_ =
        std::make_unique<MemoryAllocatorDump>(kDiscardedDumpName, this);
  return discarded_dump_.get();
}

}  // namespace trace_event
}  // namespace base
