// Runs the current thread's message loop for a while, so that posted and
// late work arrives, or until what a test waits for has come.

#ifndef BASE_TEST_RUN_LOOP_FOR_H_
#define BASE_TEST_RUN_LOOP_FOR_H_

#include <functional>

namespace base {

// Runs the loop of this thread (it must have one) for |milliseconds|.
void RunLoopFor(int milliseconds);

// Runs the loop of this thread until |condition| holds, checking it every
// 20 ms; false when |timeout_ms| passed first. The default is far longer
// than any step of a test takes on a loaded machine.
bool RunLoopUntil(const std::function<bool()>& condition,
                  int timeout_ms = 60000);

}  // namespace base

#endif  // BASE_TEST_RUN_LOOP_FOR_H_
