#include "base/trace_event/heap_profiler_deduplicators.h"

#include <utility>

#include "base/json/json_writer.h"
#include "base/json/string_escape.h"
#include "base/strings/stringprintf.h"
#include "base/trace_event/trace_event_memory_overhead.h"
#include "base/values.h"

namespace base {
namespace trace_event {

namespace {

constexpr char kOverheadStackFrames[] = "StackFrameDeduplicator";
constexpr char kOverheadTypeNames[] = "TypeNameDeduplicator";

// The directory of a source-file path without its leading "../" parts;
// a name without a separator is its own category.
StringPiece TypeNameCategory(StringPiece name) {
  size_t separator = name.find_last_of("\\/");
  if (separator == StringPiece::npos) return name;
  StringPiece category = name.substr(0, separator);
  while (category.size() >= 3 && category.substr(0, 2) == ".." &&
         (category[2] == '/' || category[2] == '\\')) {
    category.remove_prefix(3);
  }
  return category;
}

}  // namespace

StackFrameDeduplicator::StackFrameDeduplicator() = default;

StackFrameDeduplicator::~StackFrameDeduplicator() = default;

int StackFrameDeduplicator::Insert(const StackFrame* frames, size_t count) {
  int index = -1;
  for (size_t i = 0; i < count; ++i) {
    std::map<StackFrame, int>& nodes =
        index < 0 ? roots_ : frames_[index].children;
    auto found = nodes.find(frames[i]);
    if (found != nodes.end()) {
      index = found->second;
      continue;
    }
    const int parent = index;
    // Growing the vector moves the nodes: look the parent up again after.
    frames_.push_back({frames[i], parent, {}});
    index = static_cast<int>(frames_.size() - 1);
    (parent < 0 ? roots_ : frames_[parent].children).emplace(frames[i], index);
  }
  return index;
}

void StackFrameDeduplicator::AppendAsTraceFormat(std::string* out) const {
  out->append("{");
  for (size_t i = 0; i < frames_.size(); ++i) {
    const FrameNode& node = frames_[i];
    if (i) out->append(",");
    StringAppendF(out, "\"%d\":", static_cast<int>(i));
    DictionaryValue entry;
    switch (node.frame.type) {
      case StackFrame::Type::TRACE_EVENT_NAME:
        entry.SetString("name", static_cast<const char*>(node.frame.value));
        break;
      case StackFrame::Type::THREAD_NAME:
        entry.SetString(
            "name", StringPrintf("[Thread: %s]",
                                 static_cast<const char*>(node.frame.value)));
        break;
      case StackFrame::Type::PROGRAM_COUNTER:
        entry.SetString(
            "name",
            StringPrintf("pc:%llx",
                         static_cast<unsigned long long>(
                             reinterpret_cast<uintptr_t>(node.frame.value))));
        break;
    }
    if (node.parent_frame_index >= 0)
      entry.SetString("parent", StringPrintf("%d", node.parent_frame_index));
    std::string json;
    JSONWriter::Write(entry, &json);
    out->append(json);
  }
  out->append("}");
}

void StackFrameDeduplicator::EstimateTraceMemoryOverhead(
    TraceEventMemoryOverhead* overhead) {
  constexpr size_t kFixedSize = 48;
  constexpr size_t kFrameSize = 40;
  constexpr size_t kMapEntrySize = 24;
  size_t map_entries = roots_.size();
  for (const FrameNode& node : frames_) map_entries += node.children.size();
  overhead->Add(
      kOverheadStackFrames,
      kFixedSize + kFrameSize * frames_.capacity() +
          kMapEntrySize * map_entries,
      kFixedSize + kFrameSize * frames_.size() + kMapEntrySize * map_entries);
}

TypeNameDeduplicator::TypeNameDeduplicator() { type_ids_[nullptr] = 0; }

TypeNameDeduplicator::~TypeNameDeduplicator() = default;

int TypeNameDeduplicator::Insert(const char* type_name) {
  auto inserted = type_ids_.emplace(type_name, 0);
  // Ids follow insertion: the null name has 0.
  if (inserted.second)
    inserted.first->second = static_cast<int>(type_ids_.size() - 1);
  return inserted.first->second;
}

void TypeNameDeduplicator::AppendAsTraceFormat(std::string* out) const {
  out->append("{\"0\":\"[unknown]\"");
  for (const auto& [type_name, id] : type_ids_) {
    if (!type_name) continue;
    StringAppendF(out, ",\"%d\":", id);
    EscapeJSONString(TypeNameCategory(type_name), true, out);
  }
  out->append("}");
}

void TypeNameDeduplicator::EstimateTraceMemoryOverhead(
    TraceEventMemoryOverhead* overhead) {
  overhead->Add(kOverheadTypeNames, 24 + 16 * type_ids_.size());
}

}  // namespace trace_event
}  // namespace base
