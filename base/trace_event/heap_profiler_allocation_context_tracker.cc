#include "base/trace_event/heap_profiler_allocation_context_tracker.h"

#include "base/threading/thread_local_storage.h"
#include "base/threading/thread_name_registry.h"
#include "base/trace_event/trace_event_filter.h"
#include "base/trace_event/trace_log_constants.h"

namespace base {
namespace trace_event {

namespace {

ThreadLocalStorage::StaticSlot g_tracker_slot;

// In the slot while the thread's tracker is being made: its own
// allocations must not find a half-made tracker.
void* const kInitializingSentinel = reinterpret_cast<void*>(~uintptr_t{0});

void DestructTracker(void* tracker) {
  if (tracker != kInitializingSentinel)
    delete static_cast<AllocationContextTracker*>(tracker);
}

// The heap-profiler event filter's begin and end of kept events.
void UpdatePseudoStack(char phase, const char* name) {
  AllocationContextTracker* tracker =
      AllocationContextTracker::GetForCurrentThread();
  if (!tracker) return;
  if (phase == kPhaseBegin || phase == kPhaseComplete)
    tracker->PushPseudoStackFrame(name);
  else if (phase == kPhaseEnd)
    tracker->PopPseudoStackFrame();
}

// Thread naming hands over the interned name, on the named thread.
void RecordThreadName(const char* interned_name) {
  if (AllocationContextTracker::capture_mode() ==
      AllocationContextTracker::CaptureMode::DISABLED) {
    return;
  }
  if (AllocationContextTracker* tracker =
          AllocationContextTracker::GetForCurrentThread()) {
    tracker->set_thread_name(interned_name);
  }
}

}  // namespace

std::atomic<int32_t> AllocationContextTracker::capture_mode_{0};

AllocationContextTracker::AllocationContextTracker() {
  pseudo_stack_.reserve(kMaxStackDepth);
  task_contexts_.reserve(kMaxTaskDepth);
}

AllocationContextTracker::~AllocationContextTracker() = default;

// static
void AllocationContextTracker::SetCaptureMode() {
  // Once: the slot number is taken for good.
  static const bool hooked = [] {
    g_tracker_slot.Initialize(&DestructTracker);
    HeapProfilerEventFilter::SetPseudoStackHook(&UpdatePseudoStack);
    ThreadNameRegistry::SetInternedNameObserver(&RecordThreadName);
    return true;
  }();
  (void)hooked;
  capture_mode_.store(static_cast<int32_t>(CaptureMode::PSEUDO_STACK),
                      std::memory_order_relaxed);
}

// static
AllocationContextTracker* AllocationContextTracker::GetForCurrentThread() {
  if (!g_tracker_slot.initialized()) return nullptr;
  void* value = g_tracker_slot.Get();
  if (value == kInitializingSentinel) return nullptr;
  if (value) return static_cast<AllocationContextTracker*>(value);
  g_tracker_slot.Set(kInitializingSentinel);
  auto* tracker = new AllocationContextTracker;
  g_tracker_slot.Set(tracker);
  return tracker;
}

void AllocationContextTracker::PushPseudoStackFrame(const char* name) {
  if (pseudo_stack_.size() < kMaxStackDepth) pseudo_stack_.push_back(name);
}

void AllocationContextTracker::PopPseudoStackFrame() {
  if (!pseudo_stack_.empty()) pseudo_stack_.pop_back();
}

void AllocationContextTracker::PushCurrentTaskContext(const char* context) {
  if (task_contexts_.size() < kMaxTaskDepth) task_contexts_.push_back(context);
}

void AllocationContextTracker::PopCurrentTaskContext() {
  if (!task_contexts_.empty()) task_contexts_.pop_back();
}

HeapProfilerScopedIgnore::HeapProfilerScopedIgnore() {
  if (AllocationContextTracker::capture_mode() ==
      AllocationContextTracker::CaptureMode::DISABLED) {
    return;
  }
  tracker_ = AllocationContextTracker::GetForCurrentThread();
  if (tracker_) tracker_->begin_ignore_scope();
}

HeapProfilerScopedIgnore::~HeapProfilerScopedIgnore() {
  if (tracker_) tracker_->end_ignore_scope();
}

HeapProfilerScopedTaskContext::HeapProfilerScopedTaskContext(
    const char* context) {
  if (AllocationContextTracker::capture_mode() ==
      AllocationContextTracker::CaptureMode::DISABLED) {
    return;
  }
  tracker_ = AllocationContextTracker::GetForCurrentThread();
  if (tracker_) tracker_->PushCurrentTaskContext(context);
}

HeapProfilerScopedTaskContext::~HeapProfilerScopedTaskContext() {
  if (tracker_) tracker_->PopCurrentTaskContext();
}

}  // namespace trace_event
}  // namespace base
