// The WinHTTP side of HTTPTransport (see http_transport.h): its error log and
// the seam through which tests see the time-outs that it sets.

#ifndef DESKTOP_WINDOWS_CRASH_REPORTER_UTIL_NET_HTTP_TRANSPORT_WIN_H_
#define DESKTOP_WINDOWS_CRASH_REPORTER_UTIL_NET_HTTP_TRANSPORT_WIN_H_

namespace crash_reporter {

// Logs at ERROR "|function|: <system text> (0x<error>)" for the thread's last
// error, with the text taken from the system or from winhttp.dll's messages.
void LogWinHttpError(const char* function);

namespace internal {

// WinHttpSetTimeouts (session, resolve, connect, send, receive), with the
// session handle as void* and BOOL as int.
using SetTimeoutsFunction = int (*)(void* session, int resolve_ms,
                                    int connect_ms, int send_ms,
                                    int receive_ms);

// Wine accepts and ignores WinHTTP time-outs, so tests check the values the
// transport passes through this. Null restores the system call. Set it
// before any transport runs.
void SetWinHttpSetTimeoutsForTesting(SetTimeoutsFunction function);

}  // namespace internal

}  // namespace crash_reporter

#endif  // DESKTOP_WINDOWS_CRASH_REPORTER_UTIL_NET_HTTP_TRANSPORT_WIN_H_
