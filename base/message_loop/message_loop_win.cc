#include <windows.h>

#include "base/logging.h"
#include "base/message_loop/message_loop.h"
#include "base/message_loop/message_pump_win.h"

namespace base {

int CaptureRegistrationStack(void** frames, int max_frames) {
  // Skips this function's own frame.
  return RtlCaptureStackBackTrace(1, static_cast<DWORD>(max_frames), frames,
                                  nullptr);
}

bool MessageLoop::RegisterIOHandler(void* file, IOHandler* handler) {
  CHECK(IsType(TYPE_IO));
  return static_cast<MessagePumpForIO*>(pump_.get())
      ->RegisterIOHandler(file, handler);
}

bool MessageLoop::WaitForIOCompletion(uint32_t timeout_ms, IOHandler* filter) {
  CHECK(IsType(TYPE_IO));
  return static_cast<MessagePumpForIO*>(pump_.get())
      ->WaitForIOCompletion(timeout_ms, filter);
}

}  // namespace base
