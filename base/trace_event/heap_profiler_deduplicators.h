// The heap profiler's two tables, written into a trace as the metadata
// events "stackFrames" and "typeNames": each distinct stack frame (with its
// parent) and each distinct type name gets a small number that allocation
// records can refer to. Filled by the heap profiler and written under the
// trace log's rules; not thread-safe.

#ifndef BASE_TRACE_EVENT_HEAP_PROFILER_DEDUPLICATORS_H_
#define BASE_TRACE_EVENT_HEAP_PROFILER_DEDUPLICATORS_H_

#include <stdint.h>

#include <map>
#include <string>
#include <vector>

#include "base/trace_event/trace_event_record.h"

namespace base {
namespace trace_event {

struct StackFrame {
  enum class Type : int32_t {
    TRACE_EVENT_NAME = 0,
    THREAD_NAME = 1,
    PROGRAM_COUNTER = 2,
  };
  Type type;
  const void* value;

  bool operator<(const StackFrame& other) const {
    return type != other.type ? type < other.type : value < other.value;
  }
};

class StackFrameDeduplicator : public ConvertableToTraceFormat {
 public:
  struct FrameNode {
    StackFrame frame;
    // -1 for a root.
    int parent_frame_index;
    std::map<StackFrame, int> children;
  };

  StackFrameDeduplicator();
  ~StackFrameDeduplicator() override;

  // Adds the stack from its root |frames[0]| down to |frames[count - 1]|;
  // the index of the last frame, or -1 for an empty stack.
  int Insert(const StackFrame* frames, size_t count);

  const std::vector<FrameNode>& frames() const { return frames_; }

  // {"0": {"name": ..., "parent": "..."}, ...}
  void AppendAsTraceFormat(std::string* out) const override;
  void EstimateTraceMemoryOverhead(TraceEventMemoryOverhead* overhead) override;

 private:
  std::vector<FrameNode> frames_;
  std::map<StackFrame, int> roots_;
};

class TypeNameDeduplicator : public ConvertableToTraceFormat {
 public:
  TypeNameDeduplicator();
  ~TypeNameDeduplicator() override;

  // The id of |type_name| (a static string; null is id 0).
  int Insert(const char* type_name);

  // {"0":"[unknown]","1":"<category>",...}; the category of a source-file
  // path is its directory without leading "../".
  void AppendAsTraceFormat(std::string* out) const override;
  void EstimateTraceMemoryOverhead(TraceEventMemoryOverhead* overhead) override;

 private:
  std::map<const char*, int> type_ids_;
};

}  // namespace trace_event
}  // namespace base

#endif  // BASE_TRACE_EVENT_HEAP_PROFILER_DEDUPLICATORS_H_
