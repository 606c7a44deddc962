#include "base/message_loop/window_proc_filter_win.h"

#include <excpt.h>

/* The scope table's filter; __C_specific_handler calls it with the
 * exception pointers and the frame. Named in the table, so not static. */
LONG BaseWindowProcScopeFilter(EXCEPTION_POINTERS* exception_pointers,
                               void* frame) {
  (void)frame;
  return BaseWindowProcExceptionVerdict(exception_pointers);
}

/* The scope's labels are fixed names: one scope per translation unit, in a
 * function that is never inlined. After an unwind to the end of the scope
 * only memory holds values, hence the volatile result. */
__attribute__((noinline)) LRESULT BaseCallWindowProcWithExceptionFilter(
    BaseWindowProcBody body, HWND hwnd, UINT message, WPARAM wparam,
    LPARAM lparam) {
  volatile LRESULT result = 0;
  /* clang-format off */
  __try1(BaseWindowProcScopeFilter)
  result = body(hwnd, message, wparam, lparam);
  __except1
  return result;
  /* clang-format on */
}
