#include "base/message_loop/message_loop.h"

namespace base {

// Only Windows builds record the registering stack of destruction
// observers.
int CaptureRegistrationStack(void** frames, int max_frames) { return 0; }

}  // namespace base
