// Runs the current thread's message loop for a while, so that posted and
// late work arrives.

#ifndef BASE_TEST_RUN_LOOP_FOR_H_
#define BASE_TEST_RUN_LOOP_FOR_H_

namespace base {

// Runs the loop of this thread (it must have one) for |milliseconds|.
void RunLoopFor(int milliseconds);

}  // namespace base

#endif  // BASE_TEST_RUN_LOOP_FOR_H_
