// The crash pipe's one message and the assertion record, both read across
// processes, so their layouts are fixed: little-endian, pointer-sized fields
// 8 bytes.
//
// A watched process registers with its crash reporter in three messages on
// one connection: a registration request (where, in the client's address
// space, the reporter finds the crashing thread's id, the exception
// pointers, the assertion record and the crash keys), the reporter's
// response (three handles duplicated into the client) and the client's
// acknowledgement. Everything that comes off the pipe is untrusted: the
// checks below decide what a server or a client accepts.

#ifndef DESKTOP_WINDOWS_CRASH_REPORTER_PROTOCOL_MESSAGE_H_
#define DESKTOP_WINDOWS_CRASH_REPORTER_PROTOCOL_MESSAGE_H_

#include <stddef.h>
#include <stdint.h>

#include <array>

namespace crash_reporter {

enum class MessageTag : uint32_t {
  kRegistrationRequest = 1,
  kRegistrationResponse = 2,
  kRegistrationAck = 3,
  kUploadRequest = 4,
};

// Fields that a message kind does not use are zero.
struct ProtocolMessage {
  uint32_t tag = 0;
  // A request's client process id; a response's server process id.
  uint32_t id = 0;
  // The MINIDUMP_TYPE flags the client asks for.
  uint32_t dump_type = 0;
  uint32_t padding = 0;  // ignored
  // Addresses in the client.
  uint64_t thread_id_address = 0;
  uint64_t exception_pointers_address = 0;
  uint64_t assertion_info_address = 0;
  uint64_t custom_info_entries_address = 0;
  uint64_t custom_info_count = 0;
  // A response's handles, valid in the client's process.
  uint64_t dump_request_handle = 0;
  uint64_t dump_generated_handle = 0;
  uint64_t server_alive_handle = 0;
};
static_assert(sizeof(ProtocolMessage) == 80, "the crash pipe's message");
static_assert(offsetof(ProtocolMessage, thread_id_address) == 16);
static_assert(offsetof(ProtocolMessage, custom_info_count) == 48);
static_assert(offsetof(ProtocolMessage, server_alive_handle) == 72);

inline constexpr size_t kProtocolMessageSize = sizeof(ProtocolMessage);
using ProtocolMessageBytes = std::array<uint8_t, kProtocolMessageSize>;

ProtocolMessageBytes EncodeProtocolMessage(const ProtocolMessage& message);

// False unless |size| is exactly kProtocolMessageSize.
bool DecodeProtocolMessage(const uint8_t* data, size_t size,
                           ProtocolMessage* message);

// What a server makes of a message read from a new connection.
enum class RegistrationCheck {
  kAccepted,
  kUploadRequest,    // not served here
  kNotRegistration,  // any other tag
  kMissingField,     // a zero id or a zero thread-id, exception-pointers
                     // or assertion address
  kForgedProcessId,  // the id is not the process at the pipe's other end
};

// |pipe_client_pid| is the process id the system reports for the pipe's
// client. The custom-information address and count may be zero.
RegistrationCheck CheckRegistrationRequest(const ProtocolMessage& message,
                                           uint32_t pipe_client_pid);

// A response is usable with its tag, a non-zero server id and three
// non-zero handles.
bool IsValidRegistrationResponse(const ProtocolMessage& message);

// The characters a text field holds, its NUL included.
inline constexpr size_t kAssertionTextCapacity = 128;

enum class AssertionType : uint32_t {
  kNone = 0,
  kInvalidParameter = 1,
  kPureVirtualCall = 2,
};

// An invalid-parameter report or a pure virtual call, as the crashed process
// describes it; all zero when a crash is not an assertion.
struct AssertionRecord {
  char16_t expression[kAssertionTextCapacity];
  char16_t function[kAssertionTextCapacity];
  char16_t file[kAssertionTextCapacity];
  uint32_t line;
  uint32_t type;  // an AssertionType
};
static_assert(sizeof(AssertionRecord) == 776, "read by the crash reporter");
static_assert(offsetof(AssertionRecord, line) == 768);

// A record with each text cut to kAssertionTextCapacity - 1 characters
// (null gives an empty text). The texts are read no further than that, so
// an unterminated runtime text is safe.
AssertionRecord MakeAssertionRecord(const char16_t* expression,
                                    const char16_t* function,
                                    const char16_t* file, uint32_t line,
                                    AssertionType type);

}  // namespace crash_reporter

#endif  // DESKTOP_WINDOWS_CRASH_REPORTER_PROTOCOL_MESSAGE_H_
