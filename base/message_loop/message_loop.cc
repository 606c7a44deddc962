#include "base/message_loop/message_loop.h"

#include <utility>
#include <vector>

#include "base/lazy_instance.h"
#include "base/logging.h"
#include "base/message_loop/message_loop_task_runner.h"
#include "base/message_loop/message_pump_default.h"
#include "base/metrics/histogram.h"
#include "base/metrics/statistics_recorder.h"
#include "base/run_loop.h"
#include "base/threading/thread_local.h"
#include "base/threading/thread_task_runner_registration.h"
#include "base/trace_event/trace_event.h"
#include "base/tracked_objects.h"

#if defined(_WIN32)
#include "base/message_loop/message_pump_win.h"
#endif

namespace base {

namespace {

// Leaky: other threads may still run while static destructors do.
LeakyLazyInstance<ThreadLocalPointer<MessageLoop>> g_current_loop;

// Destroying a task may post more tasks; the destructor keeps clearing
// until a pass finds nothing, but gives up after this many.
constexpr int kMaxDeletePasses = 100;

// The loop's histogram: one bucket per event number up to 1099, printed
// in hexadecimal, and the events it counts by name.
constexpr char kHistogramPrefix[] = "MsgLoop:";
constexpr HistogramBase::Sample kHistogramMinimum = 1;
constexpr HistogramBase::Sample kHistogramMaximum = 1099;
constexpr uint32_t kHistogramBuckets = 1100;
constexpr LinearHistogram::DescriptionPair kHistogramEventLabels[] = {
    {MessageLoop::kImmediateTaskEvent, "ImmediateTask"},
    {MessageLoop::kDelayedTaskEvent, "DelayedTask"},
    {-1, nullptr},
};

std::unique_ptr<MessagePump> CreatePumpForType(MessageLoop::Type type) {
#if defined(_WIN32)
  if (type == MessageLoop::TYPE_UI) return std::make_unique<MessagePumpForUI>();
  if (type == MessageLoop::TYPE_IO) return std::make_unique<MessagePumpForIO>();
#endif
  // Elsewhere UI and IO loops run on the default pump.
  return std::make_unique<MessagePumpDefault>();
}

}  // namespace

// Up to this many return addresses of the code that registered an
// observer, kept for crash dumps.
constexpr int kRegistrationStackDepth = 10;
int CaptureRegistrationStack(void** frames, int max_frames);

// Wraps a destruction observer with the stack that registered it, so a
// crash inside the observer's call shows who added it.
class MessageLoop::TracedDestructionObserver {
 public:
  explicit TracedDestructionObserver(DestructionObserver* observer)
      : observer_(observer),
        frame_count_(
            CaptureRegistrationStack(frames_, kRegistrationStackDepth)) {}

  DestructionObserver* observer() const { return observer_; }

  void WillDestroyCurrentMessageLoop() {
    // A live stack copy, so that it is in the dump of this frame.
    void* volatile frames[kRegistrationStackDepth];
    for (int i = 0; i < kRegistrationStackDepth; ++i)
      frames[i] = i < frame_count_ ? frames_[i] : nullptr;
    observer_->WillDestroyCurrentMessageLoop();
    (void)frames;
  }

 private:
  DestructionObserver* const observer_;
  void* frames_[kRegistrationStackDepth] = {};
  const int frame_count_;
};

MessageLoop::MessageLoop(Type type) : MessageLoop(type, MessagePumpFactory()) {
  BindToCurrentThread();
}

MessageLoop::MessageLoop(MessagePumpFactory pump_factory)
    : MessageLoop(TYPE_CUSTOM, std::move(pump_factory)) {
  BindToCurrentThread();
}

MessageLoop::MessageLoop(Type type, MessagePumpFactory pump_factory)
    : type_(type),
      pump_factory_(std::move(pump_factory)),
      incoming_task_queue_(MakeRefCounted<internal::IncomingTaskQueue>(this)),
      unbound_task_runner_(
          MakeRefCounted<MessageLoopTaskRunner>(incoming_task_queue_)),
      task_runner_(unbound_task_runner_) {
  CHECK(type_ != TYPE_CUSTOM || !pump_factory_.is_null());
  tracked_objects::ThreadData::ListenForThreadNames();
}

// static
std::unique_ptr<MessageLoop> MessageLoop::CreateUnbound(
    Type type, MessagePumpFactory pump_factory) {
  return std::unique_ptr<MessageLoop>(
      new MessageLoop(type, std::move(pump_factory)));
}

MessageLoop::~MessageLoop() {
  if (in_high_res_mode_) Time::ActivateHighResolutionTimer(false);

  // Clean up what is queued, in passes: a task's destruction may post more.
  for (int pass = 0; pass < kMaxDeletePasses; ++pass) {
    DeletePendingTasks();
    ReloadWorkQueue();
    if (!DeletePendingTasks()) break;
  }

  destruction_observers_.Notify(
      &TracedDestructionObserver::WillDestroyCurrentMessageLoop);
  std::vector<TracedDestructionObserver*> records;
  {
    ObserverList<TracedDestructionObserver>::Iter it(&destruction_observers_);
    while (TracedDestructionObserver* record = it.GetNext())
      records.push_back(record);
  }
  destruction_observers_.Clear();
  for (TracedDestructionObserver* record : records) delete record;

  thread_task_runner_registration_.reset();

  // Tasks posted after the last pass; released below, once this loop is no
  // longer the thread's loop, so whatever they post is refused.
  TaskQueue late_tasks = incoming_task_queue_->WillDestroyCurrentMessageLoop();
  incoming_task_queue_.reset();
  unbound_task_runner_.reset();
  task_runner_.reset();

  if (g_current_loop.Get().Get() == this) g_current_loop.Get().Set(nullptr);
  late_tasks.clear();
}

void MessageLoop::BindToCurrentThread() {
  CHECK(!pump_);
  pump_ =
      pump_factory_.is_null() ? CreatePumpForType(type_) : pump_factory_.Run();
  CHECK(pump_);
  // One loop per thread.
  CHECK(!current());
  g_current_loop.Get().Set(this);
  incoming_task_queue_->StartScheduling();
  unbound_task_runner_->BindToCurrentThread();
  unbound_task_runner_.reset();
  thread_task_runner_registration_.reset();
  thread_task_runner_registration_ =
      std::make_unique<ThreadTaskRunnerRegistration>(task_runner_);
  thread_id_ = PlatformThread::CurrentId();
}

// static
MessageLoop* MessageLoop::current() { return g_current_loop.Get().Get(); }

void MessageLoop::PostTask(const Location& from_here, const Closure& task) {
  task_runner_->PostDelayedTask(from_here, task, TimeDelta());
}

void MessageLoop::PostDelayedTask(const Location& from_here,
                                  const Closure& task, TimeDelta delay) {
  task_runner_->PostDelayedTask(from_here, task, delay);
}

void MessageLoop::PostNonNestableTask(const Location& from_here,
                                      const Closure& task) {
  task_runner_->PostNonNestableDelayedTask(from_here, task, TimeDelta());
}

const ScopedRefPtr<SequencedTaskRunner>& MessageLoop::task_runner() const {
  return task_runner_;
}

void MessageLoop::AddDestructionObserver(DestructionObserver* observer) {
  CHECK(observer);
  ObserverList<TracedDestructionObserver>::Iter it(&destruction_observers_);
  while (TracedDestructionObserver* record = it.GetNext()) {
    if (record->observer() == observer) return;
  }
  destruction_observers_.AddObserver(new TracedDestructionObserver(observer));
}

void MessageLoop::RemoveDestructionObserverFor(DestructionObserver* observer) {
  TracedDestructionObserver* found = nullptr;
  {
    ObserverList<TracedDestructionObserver>::Iter it(&destruction_observers_);
    while (TracedDestructionObserver* record = it.GetNext()) {
      if (record->observer() == observer) {
        found = record;
        break;
      }
    }
  }
  if (!found) return;
  // During a notification the slot is only cleared, so deleting the record
  // now is safe.
  destruction_observers_.RemoveObserver(found);
  delete found;
}

void MessageLoop::QuitWhenIdle() {
  CHECK(current_run_loop_);
  current_run_loop_->quit_when_idle_received_ = true;
}

void MessageLoop::QuitNow() {
  CHECK(pump_);
  pump_->Quit();
}

bool MessageLoop::IsNested() const {
  return current_run_loop_ && current_run_loop_->run_depth_ > 1;
}

void MessageLoop::RunHandler(RunLoop* run_loop) {
  StartHistogram();
#if defined(_WIN32)
  if (run_loop->dispatcher_ && type_ == TYPE_UI) {
    static_cast<MessagePumpForUI*>(pump_.get())
        ->RunWithDispatcher(this, run_loop->dispatcher_);
    return;
  }
#endif
  pump_->Run(this);
}

void MessageLoop::StartHistogram() {
  // Asked only while active: the factory would start the recorder itself.
  if (histogram_ || !StatisticsRecorder::IsActive()) return;
  histogram_ = LinearHistogram::FactoryGetWithRangeDescription(
      std::string(kHistogramPrefix) + PlatformThread::GetName(),
      kHistogramMinimum, kHistogramMaximum, kHistogramBuckets,
      HistogramBase::kHexRangesFlag, kHistogramEventLabels);
}

void MessageLoop::ScheduleWork() { pump_->ScheduleWork(); }

void MessageLoop::ReloadWorkQueue() {
  if (work_queue_.empty()) {
    pending_high_res_tasks_ +=
        incoming_task_queue_->ReloadWorkQueue(&work_queue_);
  }
}

void MessageLoop::AddToDelayedWorkQueue(PendingTask pending_task) {
  delayed_work_queue_.Push(std::move(pending_task));
}

bool MessageLoop::DoWork() {
  if (!nestable_tasks_allowed_) return false;
  for (;;) {
    ReloadWorkQueue();
    if (work_queue_.empty()) return false;
    do {
      PendingTask pending_task = std::move(work_queue_.front());
      work_queue_.pop_front();
      if (!pending_task.delayed_run_time.is_null()) {
        int sequence_num = pending_task.sequence_num;
        TimeTicks run_time = pending_task.delayed_run_time;
        AddToDelayedWorkQueue(std::move(pending_task));
        // Only a task that became the earliest moves the pump's wake-up.
        if (delayed_work_queue_.top().sequence_num == sequence_num)
          pump_->ScheduleDelayedWork(run_time);
      } else if (RunOrDeferTask(std::move(pending_task))) {
        return true;
      }
    } while (!work_queue_.empty());
  }
}

bool MessageLoop::DoDelayedWork(TimeTicks* next_delayed_work_time) {
  if (!nestable_tasks_allowed_ || delayed_work_queue_.empty()) {
    recent_time_ = *next_delayed_work_time = TimeTicks();
    return false;
  }
  TimeTicks next_run_time = delayed_work_queue_.top().delayed_run_time;
  if (next_run_time > recent_time_) {
    recent_time_ = TimeTicks::Now();
    if (next_run_time > recent_time_) {
      *next_delayed_work_time = next_run_time;
      return false;
    }
  }
  PendingTask pending_task = delayed_work_queue_.Pop();
  if (!delayed_work_queue_.empty())
    *next_delayed_work_time = delayed_work_queue_.top().delayed_run_time;
  return RunOrDeferTask(std::move(pending_task));
}

bool MessageLoop::DoIdleWork() {
  if (RunDeferredNonNestableTask()) return true;
  if (current_run_loop_->quit_when_idle_received_) pump_->Quit();

  bool high_res = pending_high_res_tasks_ > 0;
  if (high_res != in_high_res_mode_) {
    in_high_res_mode_ = high_res;
    Time::ActivateHighResolutionTimer(high_res);
  }
  return false;
}

bool MessageLoop::RunOrDeferTask(PendingTask pending_task) {
  if (pending_task.nestable || current_run_loop_->run_depth_ == 1) {
    RunTask(pending_task);
    return true;
  }
  deferred_non_nestable_work_queue_.push_back(std::move(pending_task));
  return false;
}

bool MessageLoop::RunDeferredNonNestableTask() {
  if (current_run_loop_->run_depth_ != 1 ||
      deferred_non_nestable_work_queue_.empty()) {
    return false;
  }
  PendingTask pending_task =
      std::move(deferred_non_nestable_work_queue_.front());
  deferred_non_nestable_work_queue_.pop_front();
  RunTask(pending_task);
  return true;
}

void MessageLoop::RunTask(const PendingTask& pending_task) {
  if (pending_task.is_high_res) {
    --pending_high_res_tasks_;
    CHECK_GE(pending_high_res_tasks_, 0);
  }
  nestable_tasks_allowed_ = false;
  // Counted before the task runs, so that whoever it tells sees it counted.
  if (histogram_) {
    histogram_->Add(pending_task.delayed_run_time.is_null()
                        ? kImmediateTaskEvent
                        : kDelayedTaskEvent);
  }
  {
    static const unsigned char* const toplevel =
        trace_event::TraceCategoryState("toplevel");
    trace_event::ScopedTraceEvent trace(
        toplevel, "MessageLoop::RunTask", "src_file",
        pending_task.posted_from.file_name(), "src_func",
        pending_task.posted_from.function_name());
    task_annotator_.RunTask("MessageLoop::PostTask", pending_task);
  }
  nestable_tasks_allowed_ = true;
}

bool MessageLoop::DeletePendingTasks() {
  bool did_work = !work_queue_.empty();
  while (!work_queue_.empty()) {
    PendingTask pending_task = std::move(work_queue_.front());
    work_queue_.pop_front();
    // Delayed tasks join the heap so that they go in run order below.
    if (!pending_task.delayed_run_time.is_null())
      AddToDelayedWorkQueue(std::move(pending_task));
  }
  did_work |= !deferred_non_nestable_work_queue_.empty();
  while (!deferred_non_nestable_work_queue_.empty())
    deferred_non_nestable_work_queue_.pop_front();
  did_work |= !delayed_work_queue_.empty();
  while (!delayed_work_queue_.empty()) delayed_work_queue_.Pop();
  return did_work;
}

}  // namespace base
