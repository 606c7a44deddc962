#include "desktop/windows/crash_reporter/crash_generation_client_win.h"

#include <string.h>

#include <atomic>
#include <utility>

#include "base/strings/string_util_win.h"

namespace crash_reporter {

namespace {

uint64_t AddressOf(const void* field) {
  return reinterpret_cast<uintptr_t>(field);
}

HANDLE ToHandle(uint64_t value) {
  return reinterpret_cast<HANDLE>(static_cast<uintptr_t>(value));
}

std::atomic<DWORD> g_dump_request_timeout_ms{
    CrashGenerationClient::kDumpRequestTimeoutMs};
std::atomic<DWORD> g_registration_step_timeout_ms{
    CrashGenerationClient::kRegistrationStepTimeoutMs};

// Runs the overlapped |operation| on |pipe| and waits for it at most the
// registration step's time; one still going then is cancelled, and waited
// for, since its buffers are the caller's. The bytes moved in |*bytes|.
template <typename Operation>
bool CompleteInTime(HANDLE pipe, Operation operation, DWORD* bytes) {
  base::win::ScopedHandle done(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  if (!done.IsValid()) return false;
  OVERLAPPED overlapped = {};
  overlapped.hEvent = done.Get();
  if (!operation(&overlapped) && GetLastError() != ERROR_IO_PENDING)
    return false;
  if (WaitForSingleObject(
          done.Get(), CrashGenerationClient::GetRegistrationStepTimeoutMs()) !=
      WAIT_OBJECT_0) {
    CancelIoEx(pipe, &overlapped);
  }
  return GetOverlappedResult(pipe, &overlapped, bytes, TRUE) != 0;
}

}  // namespace

CrashGenerationClient::CrashGenerationClient(std::u16string pipe_name,
                                             uint32_t dump_type,
                                             CrashKeyEntries custom_info)
    : pipe_name_(std::move(pipe_name)),
      dump_type_(dump_type),
      custom_info_(custom_info) {}

CrashGenerationClient::~CrashGenerationClient() = default;

// static
DWORD CrashGenerationClient::GetDumpRequestTimeoutMs() {
  return g_dump_request_timeout_ms.load();
}

// static
void CrashGenerationClient::SetDumpRequestTimeoutForTesting(
    DWORD milliseconds) {
  g_dump_request_timeout_ms.store(milliseconds);
}

// static
DWORD CrashGenerationClient::GetRegistrationStepTimeoutMs() {
  return g_registration_step_timeout_ms.load();
}

// static
void CrashGenerationClient::SetRegistrationStepTimeoutForTesting(
    DWORD milliseconds) {
  g_registration_step_timeout_ms.store(milliseconds);
}

bool CrashGenerationClient::Register() {
  if (IsRegistered()) return true;
  base::win::ScopedHandle pipe = ConnectToPipe();
  if (!pipe.IsValid()) return false;
  DWORD mode = PIPE_READMODE_MESSAGE;
  if (!SetNamedPipeHandleState(pipe.Get(), &mode, nullptr, nullptr))
    return false;

  const ProtocolMessageBytes request =
      EncodeProtocolMessage(MakeRegistrationRequest());
  ProtocolMessageBytes reply_bytes = {};
  DWORD reply_size = 0;
  if (!CompleteInTime(
          pipe.Get(),
          [&](OVERLAPPED* overlapped) {
            return TransactNamedPipe(pipe.Get(),
                                     const_cast<uint8_t*>(request.data()),
                                     kProtocolMessageSize, reply_bytes.data(),
                                     kProtocolMessageSize, nullptr, overlapped);
          },
          &reply_size)) {
    return false;
  }
  ProtocolMessage reply;
  if (!DecodeProtocolMessage(reply_bytes.data(), reply_size, &reply) ||
      !IsValidRegistrationResponse(reply)) {
    return false;
  }

  ProtocolMessage acknowledgement;
  acknowledgement.tag = static_cast<uint32_t>(MessageTag::kRegistrationAck);
  const ProtocolMessageBytes ack_bytes = EncodeProtocolMessage(acknowledgement);
  DWORD written = 0;
  // The server has registered us once it wrote its response; it ignores
  // what the acknowledgement says and whether it arrives.
  CompleteInTime(
      pipe.Get(),
      [&](OVERLAPPED* overlapped) {
        return WriteFile(pipe.Get(), ack_bytes.data(), kProtocolMessageSize,
                         nullptr, overlapped);
      },
      &written);

  dump_request_event_.Set(ToHandle(reply.dump_request_handle));
  dump_generated_event_.Set(ToHandle(reply.dump_generated_handle));
  server_alive_mutex_.Set(ToHandle(reply.server_alive_handle));
  server_process_id_ = reply.id;
  return true;
}

bool CrashGenerationClient::RequestDump(EXCEPTION_POINTERS* exception_pointers,
                                        const AssertionRecord* assertion) {
  if (!IsRegistered()) return false;
  exception_pointers_ = exception_pointers;
  requesting_thread_id_ = GetCurrentThreadId();
  if (assertion) {
    assertion_info_ = *assertion;
  } else {
    memset(&assertion_info_, 0, sizeof(assertion_info_));
  }
  if (!ResetEvent(dump_generated_event_.Get()) ||
      !SetEvent(dump_request_event_.Get())) {
    return false;
  }
  // A reporter that dies abandons its mutex, which ends the wait at once.
  const HANDLE handles[] = {dump_generated_event_.Get(),
                            server_alive_mutex_.Get()};
  return WaitForMultipleObjects(2, handles, FALSE, GetDumpRequestTimeoutMs()) ==
         WAIT_OBJECT_0;
}

base::win::ScopedHandle CrashGenerationClient::ConnectToPipe() {
  for (int attempt = 0; attempt < 2; ++attempt) {
    HANDLE pipe = CreateFileW(
        base::as_wcstr(pipe_name_),
        FILE_READ_DATA | FILE_WRITE_DATA | FILE_WRITE_ATTRIBUTES, 0, nullptr,
        OPEN_EXISTING,
        FILE_FLAG_OVERLAPPED | SECURITY_SQOS_PRESENT | SECURITY_IDENTIFICATION,
        nullptr);
    if (pipe != INVALID_HANDLE_VALUE) return base::win::ScopedHandle(pipe);
    if (GetLastError() != ERROR_PIPE_BUSY) break;
    if (!WaitNamedPipeW(base::as_wcstr(pipe_name_), kPipeBusyWaitMs)) break;
  }
  return base::win::ScopedHandle();
}

ProtocolMessage CrashGenerationClient::MakeRegistrationRequest() const {
  ProtocolMessage request;
  request.tag = static_cast<uint32_t>(MessageTag::kRegistrationRequest);
  request.id = GetCurrentProcessId();
  request.dump_type = dump_type_;
  request.thread_id_address = AddressOf(&requesting_thread_id_);
  request.exception_pointers_address = AddressOf(&exception_pointers_);
  request.assertion_info_address = AddressOf(&assertion_info_);
  request.custom_info_entries_address = AddressOf(custom_info_.entries);
  request.custom_info_count = custom_info_.count;
  return request;
}

}  // namespace crash_reporter
