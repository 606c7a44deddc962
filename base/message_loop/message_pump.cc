#include "base/message_loop/message_pump.h"

namespace base {

MessagePump::MessagePump() = default;
MessagePump::~MessagePump() = default;

void MessagePump::SetTimerSlack(int timer_slack) {}

}  // namespace base
