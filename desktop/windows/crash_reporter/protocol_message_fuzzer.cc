// Decodes a crash-pipe message as a server reads it off the pipe and runs
// the registration checks on it. A message that decodes must encode back to
// the same bytes, and only a decoded registration request naming the pipe's
// client may be accepted.

#include <stddef.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include "desktop/windows/crash_reporter/protocol_message.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using crash_reporter::ProtocolMessage;
  ProtocolMessage message;
  if (!crash_reporter::DecodeProtocolMessage(data, size, &message)) return 0;
  const crash_reporter::ProtocolMessageBytes bytes =
      crash_reporter::EncodeProtocolMessage(message);
  if (memcmp(bytes.data(), data, size) != 0) abort();
  // The pipe's client is the process the message names, or another one.
  for (uint32_t pipe_pid : {message.id, message.id + 1}) {
    const crash_reporter::RegistrationCheck check =
        crash_reporter::CheckRegistrationRequest(message, pipe_pid);
    if (check == crash_reporter::RegistrationCheck::kAccepted &&
        (pipe_pid != message.id || message.id == 0 || message.tag != 1 ||
         message.thread_id_address == 0)) {
      abort();
    }
  }
  crash_reporter::IsValidRegistrationResponse(message);
  return 0;
}
