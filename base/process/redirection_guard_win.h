// The system's redirection guard: a process mitigation with which the
// process no longer follows a junction or mount point that a user who is
// no administrator made (Windows 11, and recent Windows 10). An elevated
// process turns it on behind its own checks of the links on its way, before
// it touches a file or starts another process.
//
// The system does not document whether, or from whom, a process that this
// one starts takes the guard; nothing here turns it off for a child.
//
// No state of its own; any thread.

#ifndef BASE_PROCESS_REDIRECTION_GUARD_WIN_H_
#define BASE_PROCESS_REDIRECTION_GUARD_WIN_H_

namespace base {

// Turns the guard on for this process, for good. True when the system
// enforces it now; false when the system has none or refused it (the last
// error then says why: ERROR_NOT_SUPPORTED when it answers without
// enforcing it).
bool EnableRedirectionGuard();

}  // namespace base

#endif  // BASE_PROCESS_REDIRECTION_GUARD_WIN_H_
