// AllocationContextTracker: per thread, the context a heap profiler attaches
// to allocations: a pseudo stack of trace-event names, a stack of task
// contexts (the posting file of the running task), the thread's name, and
// an ignore depth that hides the tracer's own allocations.
//
// Capture is off until SetCaptureMode switches it on (the memory-dump
// manager does, for "enable-heap-profiling"); callers test capture_mode()
// before touching a tracker. A tracker belongs to its thread and is freed
// when the thread ends.

#ifndef BASE_TRACE_EVENT_HEAP_PROFILER_ALLOCATION_CONTEXT_TRACKER_H_
#define BASE_TRACE_EVENT_HEAP_PROFILER_ALLOCATION_CONTEXT_TRACKER_H_

#include <stddef.h>
#include <stdint.h>

#include <atomic>
#include <vector>

namespace base {
namespace trace_event {

class AllocationContextTracker {
 public:
  enum class CaptureMode : int32_t {
    DISABLED = 0,
    PSEUDO_STACK = 1,
  };

  static constexpr size_t kMaxStackDepth = 128;
  static constexpr size_t kMaxTaskDepth = 16;

  AllocationContextTracker(const AllocationContextTracker&) = delete;
  AllocationContextTracker& operator=(const AllocationContextTracker&) = delete;
  ~AllocationContextTracker();

  // Switches capture to pseudo stacks. The first call takes the
  // thread-local slot of the trackers and hooks the heap-profiler event
  // filter and thread naming up to them.
  static void SetCaptureMode();
  static CaptureMode capture_mode() {
    return static_cast<CaptureMode>(
        capture_mode_.load(std::memory_order_relaxed));
  }

  // The calling thread's tracker, made on first use; null before capture
  // was ever switched on, and while the tracker is being made.
  static AllocationContextTracker* GetForCurrentThread();

  // Ignores a push beyond 128 names; a pop of an empty stack does nothing.
  void PushPseudoStackFrame(const char* name);
  void PopPseudoStackFrame();
  // The same with 16 task contexts.
  void PushCurrentTaskContext(const char* context);
  void PopCurrentTaskContext();

  void begin_ignore_scope() { ++ignore_scope_depth_; }
  void end_ignore_scope() {
    if (ignore_scope_depth_) --ignore_scope_depth_;
  }

  uint32_t ignore_scope_depth() const { return ignore_scope_depth_; }
  const std::vector<const char*>& pseudo_stack() const { return pseudo_stack_; }
  const std::vector<const char*>& task_contexts() const {
    return task_contexts_;
  }
  const char* thread_name() const { return thread_name_; }
  void set_thread_name(const char* name) { thread_name_ = name; }

 private:
  AllocationContextTracker();

  static std::atomic<int32_t> capture_mode_;

  uint32_t ignore_scope_depth_ = 0;
  std::vector<const char*> pseudo_stack_;
  const char* thread_name_ = nullptr;
  std::vector<const char*> task_contexts_;
};

// Hides the allocations of its scope from the heap profiler (while capture
// is on).
class HeapProfilerScopedIgnore {
 public:
  HeapProfilerScopedIgnore();
  HeapProfilerScopedIgnore(const HeapProfilerScopedIgnore&) = delete;
  HeapProfilerScopedIgnore& operator=(const HeapProfilerScopedIgnore&) = delete;
  ~HeapProfilerScopedIgnore();

 private:
  AllocationContextTracker* tracker_ = nullptr;
};

// The context of a running task: pushed on construction and popped on
// destruction while capture is on (the message loop and the worker pools
// run each task inside one).
class HeapProfilerScopedTaskContext {
 public:
  explicit HeapProfilerScopedTaskContext(const char* context);
  HeapProfilerScopedTaskContext(const HeapProfilerScopedTaskContext&) = delete;
  HeapProfilerScopedTaskContext& operator=(
      const HeapProfilerScopedTaskContext&) = delete;
  ~HeapProfilerScopedTaskContext();

 private:
  AllocationContextTracker* tracker_ = nullptr;
};

}  // namespace trace_event
}  // namespace base

#endif  // BASE_TRACE_EVENT_HEAP_PROFILER_ALLOCATION_CONTEXT_TRACKER_H_
