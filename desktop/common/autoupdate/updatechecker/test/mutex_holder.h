// A child process that holds a named mutex for the global-storage tests:
//
//   globalstorage_test_child.exe --mutex=<name> --ready-event=<name>
//       --release-event=<name> [--abandon]
//
// It takes the mutex, sets the ready event, and waits up to 60 seconds for
// the release event; then it releases the mutex, or with --abandon ends
// while still holding it. Exit code 0, 2 when an object cannot be had, 3 on
// time-out.

#ifndef DESKTOP_COMMON_AUTOUPDATE_UPDATECHECKER_TEST_MUTEX_HOLDER_H_
#define DESKTOP_COMMON_AUTOUPDATE_UPDATECHECKER_TEST_MUTEX_HOLDER_H_

namespace autoupdate {
namespace test {

inline constexpr char kHolderMutex[] = "mutex";
inline constexpr char kHolderReadyEvent[] = "ready-event";
inline constexpr char kHolderReleaseEvent[] = "release-event";
inline constexpr char kHolderAbandon[] = "abandon";

}  // namespace test
}  // namespace autoupdate

#endif  // DESKTOP_COMMON_AUTOUPDATE_UPDATECHECKER_TEST_MUTEX_HOLDER_H_
