// MessageLoop: the task loop of one thread. Other threads post Closures to
// it through its task runner; the loop runs them one at a time on its own
// thread, immediate tasks in posting order and delayed tasks by run time
// (equal run times in posting order). Waiting and waking are left to a
// MessagePump chosen by the loop's type.
//
// A loop belongs to the thread it is bound to: it is run there (through
// RunLoop), and destroyed there. Destroying it releases every task still
// queued, on that thread, and tells the destruction observers.
//
// Nesting: while a task runs, no other task may start, so a RunLoop run
// from inside a task only pumps (window messages, idle work, quit). A run
// loop nested outside any task (from a window-message handler) runs
// nestable tasks and leaves non-nestable ones for the outermost run.
//
// Statistics: when the statistics recorder is active as a run starts, the
// loop asks for its histogram, "MsgLoop:" followed by its thread's name,
// and from then on counts there every task it runs as an event below.

#ifndef BASE_MESSAGE_LOOP_MESSAGE_LOOP_H_
#define BASE_MESSAGE_LOOP_MESSAGE_LOOP_H_

#include <stdint.h>

#include <memory>

#include "base/callback.h"
#include "base/location.h"
#include "base/memory/ref_counted.h"
#include "base/message_loop/incoming_task_queue.h"
#include "base/message_loop/message_pump.h"
#include "base/message_loop/task_annotator.h"
#include "base/observer_list.h"
#include "base/pending_task.h"
#include "base/sequenced_task_runner.h"
#include "base/threading/platform_thread.h"
#include "base/time/time.h"

namespace base {

class HistogramBase;
class MessageLoopTaskRunner;
class RunLoop;
class ThreadTaskRunnerRegistration;

#if defined(_WIN32)
class IOHandler;
#endif

class MessageLoop : public MessagePumpDelegate {
 public:
  enum Type {
    TYPE_DEFAULT = 0,  // event pump, for worker threads
    TYPE_UI = 1,       // window messages (Windows)
    TYPE_CUSTOM = 2,   // pump from a factory
    TYPE_IO = 3,       // completion port (Windows)
  };

  using MessagePumpFactory = Callback<std::unique_ptr<MessagePump>()>;

  // The samples of the loop's histogram, shown with their labels.
  enum HistogramEvent {
    kImmediateTaskEvent = 0x1,  // "ImmediateTask"
    kDelayedTaskEvent = 0x2,    // "DelayedTask"
  };

  // Told before the loop of the calling thread is destroyed; the loop can
  // still take posts during the call.
  class DestructionObserver {
   public:
    virtual void WillDestroyCurrentMessageLoop() = 0;

   protected:
    virtual ~DestructionObserver() = default;
  };

  // Builds a loop of |type| and binds it to the calling thread at once.
  explicit MessageLoop(Type type = TYPE_DEFAULT);
  // The same, for a loop whose pump is made by |pump_factory| (custom).
  explicit MessageLoop(MessagePumpFactory pump_factory);
  MessageLoop(const MessageLoop&) = delete;
  MessageLoop& operator=(const MessageLoop&) = delete;
  ~MessageLoop() override;

  // A loop that is not bound yet (for Thread, which builds it before its
  // thread exists). Tasks may be posted to it at once; they wait until
  // BindToCurrentThread.
  static std::unique_ptr<MessageLoop> CreateUnbound(
      Type type, MessagePumpFactory pump_factory);

  // Makes the pump and binds the loop to the calling thread, which must
  // have no loop yet.
  void BindToCurrentThread();

  // The calling thread's loop, or null.
  static MessageLoop* current();

  // Post to this loop from any thread; the same as through task_runner().
  void PostTask(const Location& from_here, const Closure& task);
  void PostDelayedTask(const Location& from_here, const Closure& task,
                       TimeDelta delay);
  void PostNonNestableTask(const Location& from_here, const Closure& task);
  // Deletes |object| on this loop's thread in a non-nestable task.
  template <typename T>
  void DeleteSoon(const Location& from_here, const T* object) {
    task_runner()->DeleteSoon(from_here, object);
  }

  // The runner that posts to this loop; valid for the loop's life and
  // beyond (posts then fail).
  const ScopedRefPtr<SequencedTaskRunner>& task_runner() const;

  Type type() const { return type_; }
  bool IsType(Type type) const { return type_ == type; }

  // Loop thread only. The observer must stay alive until it is removed or
  // told; adding one twice is ignored.
  void AddDestructionObserver(DestructionObserver* observer);
  void RemoveDestructionObserverFor(DestructionObserver* observer);

  // Makes the innermost running RunLoop quit once the loop is idle.
  void QuitWhenIdle();
  // Ends the innermost running RunLoop once the current task returns.
  void QuitNow();

  // True while a task runs on this loop.
  bool is_running_task() const { return !nestable_tasks_allowed_; }
  // True while a run loop runs inside another.
  bool IsNested() const;

  MessagePump* pump() const { return pump_.get(); }

#if defined(_WIN32)
  // IO loops: associates |file| (opened for overlapped IO) with the pump's
  // completion port; its completions go to |handler|. False, logged, when
  // the system refuses.
  bool RegisterIOHandler(void* file, IOHandler* handler);
  // IO loops: waits up to |timeout_ms| for one completion, for |filter|
  // only when it is not null, and dispatches it. True when one was handled.
  bool WaitForIOCompletion(uint32_t timeout_ms, IOHandler* filter);
#endif

 private:
  friend class RunLoop;
  friend class internal::IncomingTaskQueue;

  class TracedDestructionObserver;

  MessageLoop(Type type, MessagePumpFactory pump_factory);

  // Runs the pump for |run_loop| (with its dispatcher on UI loops).
  void RunHandler(RunLoop* run_loop);
  // Gets the histogram once the statistics recorder is active.
  void StartHistogram();

  // MessagePumpDelegate:
  bool DoWork() override;
  bool DoDelayedWork(TimeTicks* next_delayed_work_time) override;
  bool DoIdleWork() override;

  void ReloadWorkQueue();
  void AddToDelayedWorkQueue(PendingTask pending_task);
  // Runs the task unless it is non-nestable and a nested run is active,
  // in which case it is deferred. True when it ran.
  bool RunOrDeferTask(PendingTask pending_task);
  bool RunDeferredNonNestableTask();
  void RunTask(const PendingTask& pending_task);
  // Releases every queued task; true when there was one.
  bool DeletePendingTasks();

  // From the incoming queue, any thread, while the loop is alive.
  void ScheduleWork();
  TaskAnnotator* task_annotator() { return &task_annotator_; }

  std::unique_ptr<MessagePump> pump_;
  const Type type_;
  TaskQueue work_queue_;
  int pending_high_res_tasks_ = 0;
  bool in_high_res_mode_ = false;
  DelayedTaskQueue delayed_work_queue_;
  // The clock as last read by DoDelayedWork; saves reading it per task.
  TimeTicks recent_time_;
  TaskQueue deferred_non_nestable_work_queue_;
  ObserverList<TracedDestructionObserver> destruction_observers_;
  bool nestable_tasks_allowed_ = true;
  MessagePumpFactory pump_factory_;
  RunLoop* current_run_loop_ = nullptr;
  // Null until a run finds the recorder active; owned by the recorder.
  HistogramBase* histogram_ = nullptr;
  TaskAnnotator task_annotator_;
  ScopedRefPtr<internal::IncomingTaskQueue> incoming_task_queue_;
  ScopedRefPtr<MessageLoopTaskRunner> unbound_task_runner_;
  ScopedRefPtr<SequencedTaskRunner> task_runner_;
  std::unique_ptr<ThreadTaskRunnerRegistration>
      thread_task_runner_registration_;
  PlatformThreadId thread_id_ = kInvalidThreadId;
};

}  // namespace base

#endif  // BASE_MESSAGE_LOOP_MESSAGE_LOOP_H_
