#include "base/trace_event/trace_event_memory_overhead.h"

#include <string.h>

#include "base/strings/stringprintf.h"
#include "base/trace_event/memory_allocator_dump.h"
#include "base/trace_event/process_memory_dump.h"

namespace base {
namespace trace_event {

namespace {

constexpr uint64_t kFnvOffsetBasis = 0xcbf29ce484222325ull;
constexpr uint64_t kFnvPrime = 0x100000001b3ull;

}  // namespace

size_t TraceEventMemoryOverhead::PointerHash::operator()(
    const char* name) const {
  // FNV-1a over the pointer's bytes.
  uint64_t value = reinterpret_cast<uintptr_t>(name);
  uint64_t hash = kFnvOffsetBasis;
  for (size_t i = 0; i < sizeof(value); ++i) {
    hash ^= (value >> (8 * i)) & 0xFF;
    hash *= kFnvPrime;
  }
  return static_cast<size_t>(hash);
}

TraceEventMemoryOverhead::TraceEventMemoryOverhead() = default;

TraceEventMemoryOverhead::~TraceEventMemoryOverhead() = default;

template <typename Visitor>
void TraceEventMemoryOverhead::ForEach(Visitor visit) const {
  if (spilled()) {
    for (const auto& entry : map_) visit(entry.second);
  } else {
    for (size_t i = 0; i < array_size_; ++i) visit(array_[i]);
  }
}

void TraceEventMemoryOverhead::Add(const char* name, size_t size_in_bytes) {
  Add(name, size_in_bytes, size_in_bytes);
}

void TraceEventMemoryOverhead::Add(const char* name,
                                   size_t allocated_size_in_bytes,
                                   size_t resident_size_in_bytes) {
  Add(name, uint64_t{1}, allocated_size_in_bytes, resident_size_in_bytes);
}

void TraceEventMemoryOverhead::Add(const char* name, uint64_t count,
                                   uint64_t allocated_size_in_bytes,
                                   uint64_t resident_size_in_bytes) {
  ObjectCountAndSize* entry = nullptr;
  if (spilled()) {
    entry = &map_[name];
  } else {
    for (size_t i = 0; i < array_size_ && !entry; ++i) {
      if (array_[i].name == name) entry = &array_[i];
    }
    if (!entry && array_size_ < kMaxArrayEntries) {
      entry = &array_[array_size_++];
    } else if (!entry) {
      // The 17th distinct name: every entry moves into the map.
      for (size_t i = 0; i < array_size_; ++i) map_[array_[i].name] = array_[i];
      array_size_ = 0;
      entry = &map_[name];
    }
  }
  entry->name = name;
  entry->count += count;
  entry->allocated_size_in_bytes += allocated_size_in_bytes;
  entry->resident_size_in_bytes += resident_size_in_bytes;
}

uint64_t TraceEventMemoryOverhead::GetCount(const char* name) const {
  uint64_t count = 0;
  ForEach([&](const ObjectCountAndSize& entry) {
    if (entry.name == name) count = entry.count;
  });
  return count;
}

void TraceEventMemoryOverhead::Update(const TraceEventMemoryOverhead& other) {
  other.ForEach([this](const ObjectCountAndSize& entry) {
    Add(entry.name, entry.count, entry.allocated_size_in_bytes,
        entry.resident_size_in_bytes);
  });
}

void TraceEventMemoryOverhead::AddSelf() {
  size_t size = sizeof(*this);
  // Once spilled, each entry also costs a map node.
  if (spilled()) size += map_.size() * sizeof(ObjectCountAndSize);
  Add(kOverheadTable, size);
}

void TraceEventMemoryOverhead::DumpInto(const char* base_name,
                                        ProcessMemoryDump* pmd) const {
  ForEach([&](const ObjectCountAndSize& entry) {
    MemoryAllocatorDump* dump =
        pmd->CreateAllocatorDump(StringPrintf("%s/%s", base_name, entry.name));
    dump->AddScalar(MemoryAllocatorDump::kNameSize,
                    MemoryAllocatorDump::kUnitsBytes,
                    entry.allocated_size_in_bytes);
    dump->AddScalar("resident_size", MemoryAllocatorDump::kUnitsBytes,
                    entry.resident_size_in_bytes);
    dump->AddScalar(MemoryAllocatorDump::kNameObjectCount,
                    MemoryAllocatorDump::kUnitsObjects, entry.count);
  });
}

}  // namespace trace_event
}  // namespace base
