#include "desktop/windows/crash_reporter/crash_generation_server_win.h"

#include <string.h>

#include <algorithm>
#include <utility>

#include "base/strings/string_util_win.h"

namespace crash_reporter {

namespace {

constexpr DWORD kPipeBufferSize = 64;
constexpr int kShutdownStateChecks = 100;
constexpr DWORD kShutdownStateCheckIntervalMs = 10;

HANDLE ToHandle(uint64_t value) {
  return reinterpret_cast<HANDLE>(static_cast<uintptr_t>(value));
}

uint64_t FromHandle(HANDLE handle) {
  return reinterpret_cast<uintptr_t>(handle);
}

// Places a duplicate of |source| in |process|; 0 on failure.
uint64_t DuplicateIntoProcess(HANDLE process, HANDLE source, DWORD access) {
  HANDLE duplicate = nullptr;
  if (!DuplicateHandle(GetCurrentProcess(), source, process, &duplicate, access,
                       FALSE, 0)) {
    return 0;
  }
  return FromHandle(duplicate);
}

// Closes the reply's handles that were placed in |process|.
void CloseHandlesInProcess(HANDLE process, const ProtocolMessage& reply) {
  for (uint64_t handle :
       {reply.dump_request_handle, reply.dump_generated_handle,
        reply.server_alive_handle}) {
    if (handle == 0) continue;
    DuplicateHandle(process, ToHandle(handle), nullptr, nullptr, 0, FALSE,
                    DUPLICATE_CLOSE_SOURCE);
  }
}

}  // namespace

CrashGenerationServer::CrashGenerationServer(
    std::u16string pipe_name, SECURITY_ATTRIBUTES* pipe_security,
    OnClientDumpRequestCallback dump_callback, void* dump_context,
    base::TimeDelta connection_time_limit)
    : pipe_name_(std::move(pipe_name)),
      pipe_security_(pipe_security),
      dump_callback_(dump_callback),
      dump_context_(dump_context),
      connection_time_limit_(connection_time_limit) {}

CrashGenerationServer::~CrashGenerationServer() {
  {
    base::AutoLock hold(lock_);
    shutting_down_ = true;
    if (pipe_.IsValid()) {
      DisconnectNamedPipe(pipe_.Get());
      // A pending listen may outlive the disconnection.
      CancelIoEx(pipe_.Get(), &overlapped_);
    }
  }
  // The handler moves to the error state on its next run, which the end of
  // the pending operation brings about.
  for (int check = 0; check < kShutdownStateChecks; ++check) {
    {
      base::AutoLock hold(lock_);
      if (!pipe_wait_.IsRegistered() || state_ == State::kError) break;
    }
    Sleep(kShutdownStateCheckIntervalMs);
  }
  // The system must be done with the overlapped structure before it goes.
  // Under Wine the result of an operation reaches it through the thread
  // that started it, a wait thread of the pipe's wait: so this comes before
  // the wait's unregistration, which may end that thread.
  for (int check = 0;
       check < kShutdownStateChecks && !HasOverlappedIoCompleted(&overlapped_);
       ++check) {
    Sleep(kShutdownStateCheckIntervalMs);
  }
  // Unregistered outside the lock, which its callback takes.
  base::win::ScopedRegisteredWait pipe_wait;
  {
    base::AutoLock hold(lock_);
    pipe_wait = std::move(pipe_wait_);
  }
  pipe_wait.Unregister();
  StopConnectionTimer();
  pipe_.Close();

  std::list<std::unique_ptr<ClientInfo>> clients;
  {
    base::AutoLock hold(lock_);
    clients.swap(clients_);
  }
  // Each record unregisters its waits, waiting for their callbacks.
  clients.clear();
  // A client's end that took its record before the shutdown began still
  // holds it; the dump callback it may wait for must finish first.
  while (client_ends_in_progress_.load() != 0) Sleep(1);

  if (server_alive_mutex_.IsValid()) ReleaseMutex(server_alive_mutex_.Get());
}

bool CrashGenerationServer::Start() {
  if (state_ != State::kUninitialized) return false;
  state_ = State::kInitial;
  if (StartListening()) return true;
  // Nothing listens: the shutdown need not wait for the handler.
  state_ = State::kError;
  return false;
}

bool CrashGenerationServer::StartListening() {
  // Owned by this thread until the server goes: a client sees the reporter
  // die as an abandoned mutex.
  server_alive_mutex_.Set(CreateMutexW(nullptr, TRUE, nullptr));
  overlapped_event_.Set(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  if (!server_alive_mutex_.IsValid() || !overlapped_event_.IsValid())
    return false;
  overlapped_.hEvent = overlapped_event_.Get();
  {
    base::AutoLock hold(lock_);
    if (!pipe_wait_.Register(overlapped_event_.Get(), &OnPipeEvent, this,
                             INFINITE, WT_EXECUTEINWAITTHREAD)) {
      return false;
    }
  }
  pipe_.Set(CreateNamedPipeW(
      base::as_wcstr(pipe_name_),
      PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED | FILE_FLAG_FIRST_PIPE_INSTANCE,
      PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT, 1, kPipeBufferSize,
      kPipeBufferSize, 0, pipe_security_));
  // The first run of the handler starts listening.
  return pipe_.IsValid() && SetEvent(overlapped_event_.Get());
}

size_t CrashGenerationServer::GetClientCountForTesting() {
  base::AutoLock hold(lock_);
  return clients_.size();
}

// static
void CALLBACK CrashGenerationServer::OnPipeEvent(void* context,
                                                 BOOLEAN timed_out) {
  auto* server = static_cast<CrashGenerationServer*>(context);
  {
    base::AutoLock hold(server->lock_);
    if (server->shutting_down_) {
      server->state_ = State::kError;
      ResetEvent(server->overlapped_event_.Get());
      return;
    }
  }
  server->HandleConnectionEvent();
}

void CrashGenerationServer::HandleConnectionEvent() {
  switch (state_.load()) {
    case State::kUninitialized:
      state_ = State::kError;
      break;
    case State::kError:
      HandleErrorState();
      break;
    case State::kInitial:
      HandleInitialState();
      break;
    case State::kConnecting:
      HandleConnectingState();
      break;
    case State::kConnected:
      HandleConnectedState();
      break;
    case State::kReading:
      HandleReadingState();
      break;
    case State::kReadDone:
      HandleReadDoneState();
      break;
    case State::kWriting:
      HandleWritingState();
      break;
    case State::kWriteDone:
      HandleWriteDoneState();
      break;
    case State::kReadingAck:
      HandleReadingAckState();
      break;
    case State::kDisconnecting:
      HandleDisconnectingState();
      break;
  }
}

void CrashGenerationServer::EnterState(State state) { state_ = state; }

void CrashGenerationServer::EnterStateImmediately(State state) {
  state_ = state;
  if (!SetEvent(overlapped_event_.Get())) state_ = State::kError;
}

void CrashGenerationServer::StartConnectionTimer() {
  connection_expired_.store(false);
  const DWORD limit_ms = static_cast<DWORD>(
      std::max<int64_t>(1, connection_time_limit_.InMilliseconds()));
  // Without the timer the connection only has no time limit.
  connection_timer_.Start(&OnConnectionTimeout, this, limit_ms, 0,
                          WT_EXECUTEONLYONCE);
}

void CrashGenerationServer::StopConnectionTimer() {
  // Waits for a running time-out, which touches the pipe.
  connection_timer_.Delete();
}

// static
void CALLBACK CrashGenerationServer::OnConnectionTimeout(void* context,
                                                         BOOLEAN timed_out) {
  auto* server = static_cast<CrashGenerationServer*>(context);
  // Either the operation pending now is cancelled here, or the handler sees
  // the flag right after starting the next one (CancelIfConnectionExpired).
  server->connection_expired_.store(true);
  CancelIoEx(server->pipe_.Get(), &server->overlapped_);
}

void CrashGenerationServer::CancelIfConnectionExpired() {
  if (connection_expired_.load()) CancelIoEx(pipe_.Get(), &overlapped_);
}

void CrashGenerationServer::CancelPendingOperation() {
  CancelIoEx(pipe_.Get(), &overlapped_);
  DWORD bytes = 0;
  GetOverlappedResult(pipe_.Get(), &overlapped_, &bytes, TRUE);
}

void CrashGenerationServer::HandleErrorState() {
  // The server gives up: nobody is accepted any more. This runs inside the
  // pipe wait's own callback, so its unregistration must not wait.
  base::AutoLock hold(lock_);
  if (shutting_down_) return;
  pipe_wait_.UnregisterFromItsCallback();
  StopConnectionTimer();
  pipe_.Close();
  overlapped_event_.Close();
}

void CrashGenerationServer::HandleInitialState() {
  ResetEvent(overlapped_event_.Get());
  if (ConnectNamedPipe(pipe_.Get(), &overlapped_)) {
    EnterStateImmediately(State::kError);
    return;
  }
  switch (GetLastError()) {
    case ERROR_IO_PENDING:
      EnterState(State::kConnecting);
      return;
    case ERROR_PIPE_CONNECTED:
      StartConnectionTimer();
      EnterStateImmediately(State::kConnected);
      return;
    default:
      EnterStateImmediately(State::kError);
  }
}

void CrashGenerationServer::HandleConnectingState() {
  DWORD bytes = 0;
  if (GetOverlappedResult(pipe_.Get(), &overlapped_, &bytes, FALSE)) {
    StartConnectionTimer();
    EnterStateImmediately(State::kConnected);
    return;
  }
  if (GetLastError() == ERROR_IO_INCOMPLETE) return;
  EnterStateImmediately(State::kDisconnecting);
}

void CrashGenerationServer::HandleConnectedState() {
  read_buffer_.fill(0);
  bytes_transferred_ = 0;
  if (ReadFile(pipe_.Get(), read_buffer_.data(), kProtocolMessageSize, nullptr,
               &overlapped_) ||
      GetLastError() == ERROR_IO_PENDING) {
    CancelIfConnectionExpired();
    EnterState(State::kReading);
    return;
  }
  // Also a longer message (ERROR_MORE_DATA): message mode keeps the
  // boundaries, so it is refused rather than cut.
  EnterStateImmediately(State::kDisconnecting);
}

void CrashGenerationServer::HandleReadingState() {
  if (GetOverlappedResult(pipe_.Get(), &overlapped_, &bytes_transferred_,
                          FALSE) &&
      bytes_transferred_ == kProtocolMessageSize) {
    EnterStateImmediately(State::kReadDone);
    return;
  }
  EnterStateImmediately(State::kDisconnecting);
}

void CrashGenerationServer::HandleReadDoneState() {
  ProtocolMessage request;
  if (DecodeProtocolMessage(read_buffer_.data(), bytes_transferred_,
                            &request) &&
      RegisterClient(request)) {
    CancelIfConnectionExpired();
    EnterState(State::kWriting);
    return;
  }
  EnterStateImmediately(State::kDisconnecting);
}

void CrashGenerationServer::HandleWritingState() {
  DWORD bytes = 0;
  if (GetOverlappedResult(pipe_.Get(), &overlapped_, &bytes, FALSE)) {
    EnterStateImmediately(State::kWriteDone);
    return;
  }
  EnterStateImmediately(State::kDisconnecting);
}

void CrashGenerationServer::HandleWriteDoneState() {
  read_buffer_.fill(0);
  if (ReadFile(pipe_.Get(), read_buffer_.data(), kProtocolMessageSize, nullptr,
               &overlapped_)) {
    EnterStateImmediately(State::kReadingAck);
    return;
  }
  if (GetLastError() == ERROR_IO_PENDING) {
    CancelIfConnectionExpired();
    EnterState(State::kReadingAck);
    return;
  }
  EnterStateImmediately(State::kDisconnecting);
}

void CrashGenerationServer::HandleReadingAckState() {
  // The client is registered already; what the acknowledgement says does
  // not matter.
  EnterStateImmediately(State::kDisconnecting);
}

void CrashGenerationServer::HandleDisconnectingState() {
  StopConnectionTimer();
  // Whatever the client left pending is over before the structure is
  // reused.
  CancelPendingOperation();
  HANDLE event = overlapped_.hEvent;
  memset(&overlapped_, 0, sizeof(overlapped_));
  overlapped_.hEvent = event;
  if (!ResetEvent(event) || (!DisconnectNamedPipe(pipe_.Get()) &&
                             GetLastError() != ERROR_PIPE_NOT_CONNECTED)) {
    EnterStateImmediately(State::kError);
    return;
  }
  {
    base::AutoLock hold(lock_);
    if (shutting_down_) {
      state_ = State::kError;
      return;
    }
  }
  EnterStateImmediately(State::kInitial);
}

bool CrashGenerationServer::RegisterClient(const ProtocolMessage& request) {
  ULONG client_pid = 0;
  if (!GetNamedPipeClientProcessId(pipe_.Get(), &client_pid)) return false;
  if (CheckRegistrationRequest(request, client_pid) !=
      RegistrationCheck::kAccepted) {
    return false;
  }
  if (HasLiveClient(client_pid)) return false;

  auto client = std::make_unique<ClientInfo>(this, request);
  if (!client->Initialize()) return false;
  ProtocolMessage reply;
  if (!PrepareReply(*client, &reply)) return false;
  reply_buffer_ = EncodeProtocolMessage(reply);
  if (!WriteFile(pipe_.Get(), reply_buffer_.data(), kProtocolMessageSize,
                 nullptr, &overlapped_) &&
      GetLastError() != ERROR_IO_PENDING) {
    CloseHandlesInProcess(client->process_handle(), reply);
    return false;
  }
  if (!AddClient(&client)) {
    // Unknown to the server, the handles would only make the client wait
    // for a dump that nobody writes.
    CancelPendingOperation();
    CloseHandlesInProcess(client->process_handle(), reply);
    return false;
  }
  return true;
}

bool CrashGenerationServer::HasLiveClient(uint32_t pid) {
  base::AutoLock hold(lock_);
  return std::any_of(clients_.begin(), clients_.end(),
                     [pid](const std::unique_ptr<ClientInfo>& client) {
                       return client->pid() == pid && client->IsProcessAlive();
                     });
}

bool CrashGenerationServer::PrepareReply(const ClientInfo& client,
                                         ProtocolMessage* reply) {
  reply->tag = static_cast<uint32_t>(MessageTag::kRegistrationResponse);
  reply->id = GetCurrentProcessId();
  HANDLE process = client.process_handle();
  reply->dump_request_handle = DuplicateIntoProcess(
      process, client.dump_requested_event(), EVENT_MODIFY_STATE);
  reply->dump_generated_handle = DuplicateIntoProcess(
      process, client.dump_generated_event(), SYNCHRONIZE | EVENT_MODIFY_STATE);
  reply->server_alive_handle =
      DuplicateIntoProcess(process, server_alive_mutex_.Get(), SYNCHRONIZE);
  if (reply->dump_request_handle && reply->dump_generated_handle &&
      reply->server_alive_handle) {
    return true;
  }
  CloseHandlesInProcess(process, *reply);
  return false;
}

bool CrashGenerationServer::AddClient(std::unique_ptr<ClientInfo>* client) {
  ClientInfo* record = client->get();
  base::AutoLock hold(lock_);
  if (shutting_down_) return false;
  base::win::ScopedRegisteredWait dump_request_wait;
  if (!dump_request_wait.Register(
          record->dump_requested_event(), &OnDumpRequest, record, INFINITE,
          WT_EXECUTEINWAITTHREAD | WT_EXECUTELONGFUNCTION)) {
    return false;
  }
  record->set_dump_request_wait(std::move(dump_request_wait));
  // The record goes into the list before its end can be handled: the
  // handler takes the lock, and finds it.
  base::win::ScopedRegisteredWait process_exit_wait;
  if (!process_exit_wait.Register(record->process_handle(), &OnClientEnd,
                                  record, INFINITE, WT_EXECUTEONLYONCE)) {
    return false;
  }
  record->set_process_exit_wait(std::move(process_exit_wait));
  clients_.push_back(std::move(*client));
  return true;
}

// static
void CALLBACK CrashGenerationServer::OnDumpRequest(void* context,
                                                   BOOLEAN timed_out) {
  auto* client = static_cast<ClientInfo*>(context);
  client->server()->HandleDumpRequest(client);
}

void CrashGenerationServer::HandleDumpRequest(ClientInfo* client) {
  // Without the keys the callback still runs: a crash without them is
  // worth more than none.
  client->PopulateCustomInfo();
  if (dump_callback_) dump_callback_(dump_context_, client, nullptr);
  SetEvent(client->dump_generated_event());
  ResetEvent(client->dump_requested_event());
}

// static
void CALLBACK CrashGenerationServer::OnClientEnd(void* context,
                                                 BOOLEAN timed_out) {
  auto* client = static_cast<ClientInfo*>(context);
  client->server()->HandleClientEnd(client);
}

void CrashGenerationServer::HandleClientEnd(ClientInfo* client) {
  std::unique_ptr<ClientInfo> owned;
  {
    base::AutoLock hold(lock_);
    // During shutdown the record is the shutdown's to destroy.
    if (shutting_down_) return;
    auto it = std::find_if(clients_.begin(), clients_.end(),
                           [client](const std::unique_ptr<ClientInfo>& entry) {
                             return entry.get() == client;
                           });
    if (it == clients_.end()) return;
    owned = std::move(*it);
    clients_.erase(it);
    client_ends_in_progress_.fetch_add(1);
  }
  owned->UnregisterProcessExitWaitFromItsCallback();
  // Waits for a dump callback that is still running for this client.
  owned->UnregisterDumpRequestWait();
  owned.reset();
  // The last touch of the server: the shutdown may destroy it right after.
  client_ends_in_progress_.fetch_sub(1);
}

}  // namespace crash_reporter
