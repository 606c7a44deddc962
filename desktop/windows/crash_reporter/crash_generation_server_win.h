// CrashGenerationServer: the crash reporter's end of the crash pipe
// (protocol_message.h). It registers watched processes one connection at a
// time, waits for their dump requests and their ends, and on a dump request
// calls the reporter's dump callback while the client waits. It writes no
// dump itself.
//
// Threads: Start and the destructor run on one thread, the reporter's main
// thread (it owns the server-alive mutex, which clients watch: while that
// thread lives and the server exists, the mutex stays owned). The pipe's
// connection handler runs on a wait thread of the system thread pool; each
// client's dump requests run on the wait thread of that client's event, so
// the dump callback may run for several clients at once; a client's end is
// handled on a pool thread.
//
// What a registration must pass: the message checks of
// CheckRegistrationRequest, with the process id taken from the pipe itself
// (a client can only register itself), and no live record for that process
// (re-registering would multiply handles and waits). A connection that has
// not finished within the connection time limit is cut, so that a silent
// client cannot hold the single pipe instance.

#ifndef DESKTOP_WINDOWS_CRASH_REPORTER_CRASH_GENERATION_SERVER_WIN_H_
#define DESKTOP_WINDOWS_CRASH_REPORTER_CRASH_GENERATION_SERVER_WIN_H_

#include <windows.h>

#include <atomic>
#include <list>
#include <memory>
#include <string>

#include "base/synchronization/lock.h"
#include "base/time/time.h"
#include "base/win/scoped_handle.h"
#include "base/win/scoped_registered_wait.h"
#include "base/win/scoped_timer_queue_timer.h"
#include "desktop/windows/crash_reporter/client_info_win.h"
#include "desktop/windows/crash_reporter/protocol_message.h"

namespace crash_reporter {

class CrashGenerationServer {
 public:
  // Called for each dump request with the client's record; |dump_path| is
  // always null (the server writes no dump). When it returns, the client is
  // told that the dump is done.
  using OnClientDumpRequestCallback = void (*)(void* context,
                                               ClientInfo* client_info,
                                               const std::u16string* dump_path);

  static constexpr base::TimeDelta kDefaultConnectionTimeLimit =
      base::TimeDelta::FromMicroseconds(base::kMicrosecondsPerSecond);

  // |pipe_security| may be null (the pipe's default security) and must
  // outlive Start.
  CrashGenerationServer(
      std::u16string pipe_name, SECURITY_ATTRIBUTES* pipe_security,
      OnClientDumpRequestCallback dump_callback, void* dump_context,
      base::TimeDelta connection_time_limit = kDefaultConnectionTimeLimit);
  CrashGenerationServer(const CrashGenerationServer&) = delete;
  CrashGenerationServer& operator=(const CrashGenerationServer&) = delete;
  // Shuts down: stops listening, unregisters every wait (waiting for running
  // callbacks), destroys every client record and releases the alive mutex.
  ~CrashGenerationServer();

  // Creates the pipe and starts listening. Only once; false on failure.
  bool Start();

  // The number of registered clients.
  size_t GetClientCountForTesting();

 private:
  enum class State {
    kUninitialized = 0,
    kError = 1,
    kInitial = 2,
    kConnecting = 3,
    kConnected = 4,
    kReading = 5,
    kReadDone = 6,
    kWriting = 7,
    kWriteDone = 8,
    kReadingAck = 9,
    kDisconnecting = 10,
  };

  // Start's work: the mutex, the event and its wait, the pipe.
  bool StartListening();

  static void CALLBACK OnPipeEvent(void* context, BOOLEAN timed_out);
  static void CALLBACK OnDumpRequest(void* context, BOOLEAN timed_out);
  static void CALLBACK OnClientEnd(void* context, BOOLEAN timed_out);

  // The connection handler and its states.
  void HandleConnectionEvent();
  void HandleErrorState();
  void HandleInitialState();
  void HandleConnectingState();
  void HandleConnectedState();
  void HandleReadingState();
  void HandleReadDoneState();
  void HandleWritingState();
  void HandleWriteDoneState();
  void HandleReadingAckState();
  void HandleDisconnectingState();

  // Sets |state| and waits for the overlapped operation to signal.
  void EnterState(State state);
  // Sets |state| and signals the event, so that the handler runs again.
  void EnterStateImmediately(State state);
  // The connection's time limit: a one-shot timer that cancels the pending
  // operation, which the handler then sees fail and disconnects.
  void StartConnectionTimer();
  void StopConnectionTimer();
  static void CALLBACK OnConnectionTimeout(void* context, BOOLEAN timed_out);
  // Called after an operation went pending: cancels it when the time-out
  // came before it started.
  void CancelIfConnectionExpired();
  // Cancels the pending operation and waits until the system is done with
  // the overlapped structure. On the handler's thread only: under Wine an
  // operation's result reaches the structure through the thread that
  // started it.
  void CancelPendingOperation();

  // Registration: the checks, the record, the reply and the waits.
  bool RegisterClient(const ProtocolMessage& request);
  bool HasLiveClient(uint32_t pid);
  bool PrepareReply(const ClientInfo& client, ProtocolMessage* reply);
  // Registers the record's waits and lists it; takes |*client| only on
  // success.
  bool AddClient(std::unique_ptr<ClientInfo>* client);

  void HandleDumpRequest(ClientInfo* client);
  void HandleClientEnd(ClientInfo* client);

  const std::u16string pipe_name_;
  SECURITY_ATTRIBUTES* const pipe_security_;
  const OnClientDumpRequestCallback dump_callback_;
  void* const dump_context_;
  const base::TimeDelta connection_time_limit_;

  base::win::ScopedHandle server_alive_mutex_;
  base::win::ScopedHandle overlapped_event_;
  base::win::ScopedHandle pipe_;
  base::win::ScopedRegisteredWait pipe_wait_;  // guarded by |lock_|
  OVERLAPPED overlapped_ = {};

  // Written by the connection handler, read by the shutdown.
  std::atomic<State> state_{State::kUninitialized};
  // The connection being served.
  base::win::ScopedTimerQueueTimer connection_timer_;
  std::atomic<bool> connection_expired_{false};
  ProtocolMessageBytes read_buffer_ = {};
  ProtocolMessageBytes reply_buffer_ = {};
  DWORD bytes_transferred_ = 0;

  // Guards the client list, the shutting-down flag and the pipe wait.
  base::Lock lock_;
  std::list<std::unique_ptr<ClientInfo>> clients_;
  bool shutting_down_ = false;
  // Client ends that took their record out of the list and are still
  // destroying it; raised under the lock.
  std::atomic<int> client_ends_in_progress_{0};
};

}  // namespace crash_reporter

#endif  // DESKTOP_WINDOWS_CRASH_REPORTER_CRASH_GENERATION_SERVER_WIN_H_
