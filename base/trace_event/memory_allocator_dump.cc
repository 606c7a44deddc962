#include "base/trace_event/memory_allocator_dump.h"

#include "base/sha1.h"
#include "base/strings/stringprintf.h"
#include "base/trace_event/trace_log.h"
#include "base/trace_event/traced_value.h"

namespace base {
namespace trace_event {

uint64_t MemoryAllocatorDumpGuid(int process_id, const std::string& name) {
  std::string text = StringPrintf("%d:%s", process_id, name.c_str());
  unsigned char hash[kSHA1Length];
  SHA1HashBytes(reinterpret_cast<const unsigned char*>(text.data()),
                text.size(), hash);
  uint64_t guid = 0;
  for (int i = 7; i >= 0; --i) guid = (guid << 8) | hash[i];
  return guid;
}

MemoryAllocatorDump::MemoryAllocatorDump(const std::string& absolute_name,
                                         ProcessMemoryDump* process_memory_dump)
    : absolute_name_(absolute_name),
      process_memory_dump_(process_memory_dump),
      attributes_(std::make_unique<TracedValue>()),
      guid_(MemoryAllocatorDumpGuid(TraceLog::GetInstance()->process_id(),
                                    absolute_name)) {
  string_conversion_buffer_.reserve(16);
}

MemoryAllocatorDump::~MemoryAllocatorDump() = default;

void MemoryAllocatorDump::AddScalar(const char* name, const char* units,
                                    uint64_t value) {
  SStringPrintf(&string_conversion_buffer_, "%llx",
                static_cast<unsigned long long>(value));
  attributes_->BeginDictionary(name);
  attributes_->SetString("type", kTypeScalar);
  attributes_->SetString("units", units);
  attributes_->SetString("value", string_conversion_buffer_);
  attributes_->EndDictionary();
}

}  // namespace trace_event
}  // namespace base
