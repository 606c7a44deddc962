// The system's redirection guard: a process mitigation with which the
// process no longer follows a junction or mount point that a user who is
// no administrator made (Windows 11, and recent Windows 10). An elevated
// process turns it on behind its own checks of the links on its way; a
// program it starts for the user is started without it, so that the user
// still reaches their own junctions (a profile folder moved elsewhere).
//
// No state of its own; any thread.

#ifndef BASE_PROCESS_REDIRECTION_GUARD_WIN_H_
#define BASE_PROCESS_REDIRECTION_GUARD_WIN_H_

#include <stdint.h>

namespace base {

// Turns the guard on for this process, for good. True when the system
// enforces it now; false when the system has none or refused it (the last
// error then says why: ERROR_NOT_SUPPORTED when it answers without
// enforcing it).
bool EnableRedirectionGuard();

namespace internal {

// The second word of the creation mitigation policy
// (PROC_THREAD_ATTRIBUTE_MITIGATION_POLICY, two 64-bit words) that starts a
// child with the guard off, whatever its parent has.
inline constexpr uint64_t kRedirectionGuardAlwaysOff = 0x2ull << 50;

}  // namespace internal

}  // namespace base

#endif  // BASE_PROCESS_REDIRECTION_GUARD_WIN_H_
