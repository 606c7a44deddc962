/* A frame-based exception filter around a window procedure, for the UI
 * pump. gcc has no __try/__except; mingw-w64's __try1/__except1 give an x64
 * scope-table filter, usable only in C code (a C++ function's own unwind
 * handler would take its place).
 *
 * Unlike a vectored handler, a frame filter sees only exceptions that nothing
 * inside the procedure handles: one raised and caught inside (the debug-print
 * exception of OutputDebugString, a C++ exception caught in a dialog) never
 * reaches it. */

#ifndef BASE_MESSAGE_LOOP_WINDOW_PROC_FILTER_WIN_H_
#define BASE_MESSAGE_LOOP_WINDOW_PROC_FILTER_WIN_H_

#include <windows.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef LRESULT (*BaseWindowProcBody)(HWND hwnd, UINT message, WPARAM wparam,
                                      LPARAM lparam);

/* The verdict on an exception that left the procedure's body unhandled;
 * defined by the pump (message_pump_win.cc). */
LONG BaseWindowProcExceptionVerdict(EXCEPTION_POINTERS* exception_pointers);

/* Runs |body|. When the verdict on an exception leaving it is
 * EXCEPTION_EXECUTE_HANDLER, the body's frames are unwound and 0 is
 * returned; the other verdicts act as in any exception filter. */
LRESULT BaseCallWindowProcWithExceptionFilter(BaseWindowProcBody body,
                                              HWND hwnd, UINT message,
                                              WPARAM wparam, LPARAM lparam);

#ifdef __cplusplus
}
#endif

#endif /* BASE_MESSAGE_LOOP_WINDOW_PROC_FILTER_WIN_H_ */
