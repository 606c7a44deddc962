// RunLoop: one run of the calling thread's MessageLoop. Run returns when
// the run loop is told to quit; run loops nest (a run started from inside
// another), and a quit for an outer run takes effect when the inner one has
// returned. A run loop runs at most once and is used on its thread only.
//
//   RunLoop run_loop;
//   fetcher->Start(run_loop.QuitClosure());
//   run_loop.Run();

#ifndef BASE_RUN_LOOP_H_
#define BASE_RUN_LOOP_H_

#include "base/callback.h"
#include "base/memory/weak_ptr.h"

namespace base {

class MessageLoop;
#if defined(_WIN32)
class MessagePumpDispatcher;
#endif

class RunLoop {
 public:
  // For the calling thread's loop, which must exist.
  RunLoop();
#if defined(_WIN32)
  // On a UI loop, every retrieved window message goes to |dispatcher|
  // first (message_pump_win.h).
  explicit RunLoop(MessagePumpDispatcher* dispatcher);
#endif
  RunLoop(const RunLoop&) = delete;
  RunLoop& operator=(const RunLoop&) = delete;
  // Quit closures of a destroyed run loop do nothing.
  ~RunLoop();

  // Runs until quit. Returns at once when Quit came first.
  void Run();
  // Runs until the loop has nothing left to do now (immediate tasks and
  // due delayed tasks run first), then returns.
  void RunUntilIdle();

  // Ends the run once the current task returns; before Run, makes Run
  // return at once.
  void Quit();
  // Ends the run the first time the loop finds nothing to do.
  void QuitWhenIdle();

  // Callbacks that quit this run loop, and do nothing once it is gone.
  // Run them on this thread.
  Closure QuitClosure();
  Closure QuitWhenIdleClosure();

  bool running() const { return running_; }

 private:
  friend class MessageLoop;

  MessageLoop* const loop_;
  RunLoop* previous_run_loop_ = nullptr;
#if defined(_WIN32)
  MessagePumpDispatcher* const dispatcher_ = nullptr;
#endif
  int run_depth_ = 0;
  bool run_called_ = false;
  bool quit_called_ = false;
  bool running_ = false;
  bool quit_when_idle_received_ = false;
  WeakPtrFactory<RunLoop> weak_factory_{this};
};

}  // namespace base

#endif  // BASE_RUN_LOOP_H_
