#include "desktop/windows/crash_reporter/crash_generation_server_win.h"

#include <windows.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "base/strings/string_number_conversions.h"
#include "base/strings/string_util_win.h"
#include "base/strings/utf_string_conversions.h"
#include "base/win/scoped_handle.h"
#include "desktop/windows/crash_reporter/crash_generation_client_win.h"
#include "desktop/windows/crash_reporter/crash_reporter_constants.h"
#include "desktop/windows/crash_reporter/test/crash_client_test_host_switches.h"
#include "desktop/windows/crash_reporter/test/crash_test_util_win.h"
#include "desktop/windows/installer/common/installer_switches.h"
#include "gtest/gtest.h"

namespace crash_reporter {
namespace test {
namespace {

constexpr DWORD kWaitMs = 20000;

// What a client keeps where the server reads it.
struct ClientFields {
  DWORD thread_id = 0;
  EXCEPTION_POINTERS* exception_pointers = nullptr;
  AssertionRecord assertion = {};
  CrashKeyEntry keys[2] = {};
};

ProtocolMessage RequestFor(uint32_t pid, ClientFields* fields,
                           uint64_t key_count) {
  ProtocolMessage request;
  request.tag = static_cast<uint32_t>(MessageTag::kRegistrationRequest);
  request.id = pid;
  request.thread_id_address = reinterpret_cast<uintptr_t>(&fields->thread_id);
  request.exception_pointers_address =
      reinterpret_cast<uintptr_t>(&fields->exception_pointers);
  request.assertion_info_address =
      reinterpret_cast<uintptr_t>(&fields->assertion);
  request.custom_info_entries_address =
      reinterpret_cast<uintptr_t>(fields->keys);
  request.custom_info_count = key_count;
  return request;
}

std::vector<uint8_t> Bytes(const ProtocolMessage& message, size_t size) {
  const ProtocolMessageBytes encoded = EncodeProtocolMessage(message);
  std::vector<uint8_t> bytes(size, 0xAB);
  std::copy_n(encoded.begin(), std::min(size, encoded.size()), bytes.begin());
  return bytes;
}

// A client that speaks to the pipe directly, byte by byte.
class RawClient {
 public:
  explicit RawClient(const std::u16string& pipe_name) {
    for (int attempt = 0; attempt < 5 && !pipe_.IsValid(); ++attempt) {
      pipe_.Set(CreateFileW(base::as_wcstr(pipe_name),
                            GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                            OPEN_EXISTING, 0, nullptr));
      if (!pipe_.IsValid() && GetLastError() == ERROR_PIPE_BUSY)
        WaitNamedPipeW(base::as_wcstr(pipe_name), 2000);
    }
    DWORD mode = PIPE_READMODE_MESSAGE;
    if (pipe_.IsValid())
      SetNamedPipeHandleState(pipe_.Get(), &mode, nullptr, nullptr);
  }

  bool connected() const { return pipe_.IsValid(); }

  bool Send(const std::vector<uint8_t>& bytes) {
    DWORD written = 0;
    return WriteFile(pipe_.Get(), bytes.data(),
                     static_cast<DWORD>(bytes.size()), &written, nullptr) &&
           written == bytes.size();
  }

  // True with the reply when the server answered with one whole message;
  // false when it disconnected instead.
  bool Receive(ProtocolMessage* reply) {
    ProtocolMessageBytes bytes = {};
    DWORD read = 0;
    return ReadFile(pipe_.Get(), bytes.data(), kProtocolMessageSize, &read,
                    nullptr) &&
           DecodeProtocolMessage(bytes.data(), read, reply);
  }

 private:
  base::win::ScopedHandle pipe_;
};

void CloseReplyHandles(const ProtocolMessage& reply) {
  for (uint64_t handle :
       {reply.dump_request_handle, reply.dump_generated_handle,
        reply.server_alive_handle}) {
    CloseHandle(reinterpret_cast<HANDLE>(static_cast<uintptr_t>(handle)));
  }
}

// A process that others can name; ended when the object goes.
class SleepingProcess {
 public:
  SleepingProcess() {
    const std::u16string ready_name =
        u"VelnaCrashTestSleeping" + base::UintToString16(GetCurrentProcessId());
    base::win::ScopedHandle ready(
        CreateEventW(nullptr, TRUE, FALSE, base::as_wcstr(ready_name)));
    std::u16string command = HostCommandLine(
        {{kMode, kModeSleep}, {kReadyEvent, base::UTF16ToUTF8(ready_name)}});
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info = {};
    if (CreateProcessW(nullptr, base::as_writable_wcstr(command), nullptr,
                       nullptr, FALSE, 0, nullptr, nullptr, &startup, &info)) {
      process_.Set(info.hProcess);
      CloseHandle(info.hThread);
      pid_ = info.dwProcessId;
      // Started up: its own handles are open.
      const HANDLE started[] = {ready.Get(), process_.Get()};
      WaitForMultipleObjects(2, started, FALSE, kWaitMs);
    }
  }
  ~SleepingProcess() {
    if (!process_.IsValid()) return;
    TerminateProcess(process_.Get(), 0);
    WaitForSingleObject(process_.Get(), kWaitMs);
  }

  uint32_t pid() const { return pid_; }

  // The handles open in the process, counted from outside: Wine's
  // GetProcessHandleCount answers 0.
  int HandleCount() const {
    int count = 0;
    for (uintptr_t value = 4; value < 0x4000; value += 4) {
      HANDLE duplicate = nullptr;
      if (DuplicateHandle(process_.Get(), reinterpret_cast<HANDLE>(value),
                          GetCurrentProcess(), &duplicate, 0, FALSE,
                          DUPLICATE_SAME_ACCESS)) {
        CloseHandle(duplicate);
        ++count;
      }
    }
    return count;
  }

  // The count once it holds for 50 ms: Wine's own start-up may still close
  // a handle in the process after it said it was ready.
  int SettledHandleCount() const {
    int count = HandleCount();
    for (int i = 0; i < 40; ++i) {
      Sleep(50);
      const int again = HandleCount();
      if (again == count) break;
      count = again;
    }
    return count;
  }

 private:
  base::win::ScopedHandle process_;
  uint32_t pid_ = 0;
};

class CrashGenerationServerTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(
        FormatObjectName(kPipeNamePrefix, GetCurrentProcessId(), &pipe_name_));
  }

  void StartServer(base::TimeDelta limit =
                       CrashGenerationServer::kDefaultConnectionTimeLimit) {
    server_.reset();
    recorder_ = std::make_unique<CrashRecorder>(/*write_minidumps=*/false);
    server_ = std::make_unique<CrashGenerationServer>(
        pipe_name_, nullptr, &CrashRecorder::OnDumpRequest, recorder_.get(),
        limit);
    ASSERT_TRUE(server_->Start());
  }

  // A real client: the test host's start-up against this server.
  bool HostRegisters() {
    const HostRun run = RunHost({{kMode, kModeStart},
                                 {installer::switches::kCrashReporterPid,
                                  base::UintToString(GetCurrentProcessId())}});
    return run.started && run.exit_code == 0 && run.Value(kConnectedLabel) == 1;
  }

  bool WaitForClientCount(size_t count) {
    for (DWORD waited = 0; waited < kWaitMs; waited += 10) {
      if (server_->GetClientCountForTesting() == count) return true;
      Sleep(10);
    }
    return false;
  }

  std::u16string pipe_name_;
  std::unique_ptr<CrashRecorder> recorder_;
  std::unique_ptr<CrashGenerationServer> server_;
};

TEST_F(CrashGenerationServerTest, RawClientsAreRefusedThenARealOneRegisters) {
  const uint32_t own_pid = GetCurrentProcessId();
  const struct {
    const char* name;
    // Talks to the server; true when the server behaved as it should.
    std::function<bool(RawClient*, ClientFields*)> talk;
  } cases[] = {
      {"40-byte message",
       [&](RawClient* client, ClientFields* fields) {
         ProtocolMessage reply;
         client->Send(Bytes(RequestFor(own_pid, fields, 0), 40));
         return !client->Receive(&reply);
       }},
      {"100-byte message",
       [&](RawClient* client, ClientFields* fields) {
         ProtocolMessage reply;
         client->Send(Bytes(RequestFor(own_pid, fields, 0), 100));
         return !client->Receive(&reply);
       }},
      {"upload request",
       [&](RawClient* client, ClientFields* fields) {
         ProtocolMessage request = RequestFor(own_pid, fields, 0);
         request.tag = static_cast<uint32_t>(MessageTag::kUploadRequest);
         ProtocolMessage reply;
         client->Send(Bytes(request, kProtocolMessageSize));
         return !client->Receive(&reply);
       }},
      {"zero thread-id address",
       [&](RawClient* client, ClientFields* fields) {
         ProtocolMessage request = RequestFor(own_pid, fields, 0);
         request.thread_id_address = 0;
         ProtocolMessage reply;
         client->Send(Bytes(request, kProtocolMessageSize));
         return !client->Receive(&reply);
       }},
      {"forged process id",
       [&](RawClient* client, ClientFields* fields) {
         // Another process of the user, named instead of the sender: the
         // server must not open it or put handles into it.
         SleepingProcess victim;
         const int handles_before = victim.SettledHandleCount();
         EXPECT_GT(handles_before, 0);
         ProtocolMessage reply;
         client->Send(
             Bytes(RequestFor(victim.pid(), fields, 0), kProtocolMessageSize));
         const bool refused = !client->Receive(&reply);
         // A registration would put several handles into it; Wine may
         // still close one of its own.
         EXPECT_LE(victim.HandleCount(), handles_before);
         return refused && victim.pid() != 0;
       }},
      {"silent connection",
       [&](RawClient* client, ClientFields*) {
         // It holds the only pipe instance until the limit cuts it; the
         // real client waits for the pipe meanwhile.
         ProtocolMessage reply;
         const bool registered = HostRegisters();
         return registered && !client->Receive(&reply);
       }},
      {"no acknowledgement",
       [&](RawClient* client, ClientFields* fields) {
         ProtocolMessage reply;
         client->Send(
             Bytes(RequestFor(own_pid, fields, 0), kProtocolMessageSize));
         if (!client->Receive(&reply) || !IsValidRegistrationResponse(reply))
           return false;
         CloseReplyHandles(reply);
         // Registered; the connection is still cut when it lingers.
         return HostRegisters() && !client->Receive(&reply);
       }},
  };
  for (const auto& test : cases) {
    SCOPED_TRACE(test.name);
    // The default limit (1 s): a real client's registration must fit in
    // it even on a loaded machine, and it cuts a lingering one well within
    // the 4 s that a waiting client tries for.
    StartServer();
    ClientFields fields;
    RawClient client(pipe_name_);
    ASSERT_TRUE(client.connected());
    EXPECT_TRUE(test.talk(&client, &fields));
    EXPECT_TRUE(HostRegisters());
    server_.reset();
  }
}

// A client that takes 3 s to send its request: cut under the default
// limit, served under a far longer one (however slowly a loaded machine
// runs the client after its pause).
TEST_F(CrashGenerationServerTest, ConnectionTimeLimitIsAParameter) {
  const struct {
    base::TimeDelta limit;
    bool served;
  } cases[] = {
      {CrashGenerationServer::kDefaultConnectionTimeLimit, false},
      {base::TimeDelta::FromSeconds(60), true},
  };
  for (const auto& test : cases) {
    SCOPED_TRACE(test.limit.InMilliseconds());
    StartServer(test.limit);
    ClientFields fields;
    RawClient client(pipe_name_);
    ASSERT_TRUE(client.connected());
    Sleep(3000);
    client.Send(Bytes(RequestFor(GetCurrentProcessId(), &fields, 0),
                      kProtocolMessageSize));
    ProtocolMessage reply;
    const bool served = client.Receive(&reply);
    EXPECT_EQ(served, test.served);
    if (served) CloseReplyHandles(reply);
  }
}

TEST_F(CrashGenerationServerTest, AProcessWithALiveRecordIsRefused) {
  StartServer();
  ClientFields fields;
  ProtocolMessage reply;
  {
    RawClient first(pipe_name_);
    ASSERT_TRUE(first.Send(Bytes(RequestFor(GetCurrentProcessId(), &fields, 0),
                                 kProtocolMessageSize)));
    ASSERT_TRUE(first.Receive(&reply));
    ASSERT_TRUE(IsValidRegistrationResponse(reply));
    EXPECT_EQ(reply.id, GetCurrentProcessId());
    CloseReplyHandles(reply);
    ProtocolMessage ack;
    ack.tag = static_cast<uint32_t>(MessageTag::kRegistrationAck);
    first.Send(Bytes(ack, kProtocolMessageSize));
  }
  ASSERT_TRUE(WaitForClientCount(1));
  {
    RawClient second(pipe_name_);
    ASSERT_TRUE(second.Send(Bytes(RequestFor(GetCurrentProcessId(), &fields, 0),
                                  kProtocolMessageSize)));
    EXPECT_FALSE(second.Receive(&reply));
  }
  EXPECT_EQ(server_->GetClientCountForTesting(), 1u);
  EXPECT_TRUE(HostRegisters());
}

TEST_F(CrashGenerationServerTest, AnEndedClientIsRemoved) {
  StartServer();
  ASSERT_TRUE(HostRegisters());
  EXPECT_TRUE(WaitForClientCount(0));
}

// Registers this process with |key_count| crash keys and requests a dump.
TEST_F(CrashGenerationServerTest, CrashKeysAreCopiedWithTheUptimeLast) {
  const struct {
    uint64_t key_count;
    size_t copied;  // 0: no keys at all
  } cases[] = {{2, 3}, {0, 1}, {5000, 0}};
  for (const auto& test : cases) {
    SCOPED_TRACE(test.key_count);
    StartServer();
    ClientFields fields;
    fields.thread_id = 1234;
    SetCrashKeyNames(fields.keys, 0, 1, u"version");
    SetCrashKeyValues(fields.keys, 0, 1, u"41.0");
    ProtocolMessage reply;
    {
      RawClient client(pipe_name_);
      ASSERT_TRUE(client.Send(
          Bytes(RequestFor(GetCurrentProcessId(), &fields, test.key_count),
                kProtocolMessageSize)));
      ASSERT_TRUE(client.Receive(&reply));
    }
    ASSERT_TRUE(IsValidRegistrationResponse(reply));
    auto handle = [](uint64_t value) {
      return reinterpret_cast<HANDLE>(static_cast<uintptr_t>(value));
    };
    ASSERT_TRUE(SetEvent(handle(reply.dump_request_handle)));
    EXPECT_EQ(WaitForSingleObject(handle(reply.dump_generated_handle), kWaitMs),
              WAIT_OBJECT_0);
    CloseReplyHandles(reply);

    const std::vector<ReportedCrash> crashes = recorder_->crashes();
    ASSERT_EQ(crashes.size(), 1u);
    EXPECT_EQ(crashes[0].thread_id, 1234u);
    ASSERT_EQ(crashes[0].keys.size(), test.copied);
    if (test.copied > 0) {
      EXPECT_EQ(std::u16string(crashes[0].keys.back().name), u"ptime");
      EXPECT_NE(crashes[0].keys.back().value[0], 0);
    }
    if (test.copied == 3) {
      EXPECT_EQ(JoinedCrashKeyValue(crashes[0].keys, u"version"), u"41.0");
    }
  }
}

// Clients that end while the server shuts down: every record is destroyed
// once, by one side, and the shutdown does not hang.
TEST_F(CrashGenerationServerTest, ShutdownRacesClientEnds) {
  for (int round = 0; round < 3; ++round) {
    StartServer();
    std::vector<base::win::ScopedHandle> hosts;
    for (int i = 0; i < 3; ++i) {
      std::u16string command =
          HostCommandLine({{kMode, kModeStart},
                           {installer::switches::kCrashReporterPid,
                            base::UintToString(GetCurrentProcessId())}});
      STARTUPINFOW startup = {};
      startup.cb = sizeof(startup);
      PROCESS_INFORMATION info = {};
      ASSERT_TRUE(CreateProcessW(nullptr, base::as_writable_wcstr(command),
                                 nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                                 &startup, &info));
      CloseHandle(info.hThread);
      hosts.emplace_back(info.hProcess);
    }
    // Wait for the first to end, then shut down while the others register
    // or end.
    WaitForSingleObject(hosts[0].Get(), kWaitMs);
    server_.reset();
    for (const auto& host : hosts)
      EXPECT_EQ(WaitForSingleObject(host.Get(), kWaitMs), WAIT_OBJECT_0);
  }
}

// A reporter that takes the connection and never answers holds up a
// registering process for the registration's time limit, not for good.
TEST(CrashGenerationClientTest, ARegistrationNobodyAnswersEndsInTime) {
  const std::u16string name = u"\\\\.\\pipe\\velna-test-silent-reporter-" +
                              base::UintToString16(GetCurrentProcessId());
  base::win::ScopedHandle pipe(CreateNamedPipeW(
      base::as_wcstr(name), PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED,
      PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT, 1,
      kProtocolMessageSize, kProtocolMessageSize, 0, nullptr));
  ASSERT_TRUE(pipe.IsValid());
  base::win::ScopedHandle connected(
      CreateEventW(nullptr, TRUE, FALSE, nullptr));
  OVERLAPPED connect = {};
  connect.hEvent = connected.Get();
  ConnectNamedPipe(pipe.Get(), &connect);

  CrashGenerationClient::SetRegistrationStepTimeoutForTesting(300);
  CrashGenerationClient client(name, 0, CrashKeyEntries());
  const DWORD start = GetTickCount();
  EXPECT_FALSE(client.Register());
  const DWORD elapsed = GetTickCount() - start;
  CrashGenerationClient::SetRegistrationStepTimeoutForTesting(
      CrashGenerationClient::kRegistrationStepTimeoutMs);
  EXPECT_FALSE(client.IsRegistered());
  // The test's limit, not the default one, ended it.
  EXPECT_LT(elapsed, CrashGenerationClient::kRegistrationStepTimeoutMs);
  EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(connected.Get(), 0));
  CancelIoEx(pipe.Get(), &connect);
  DWORD unused = 0;
  GetOverlappedResult(pipe.Get(), &connect, &unused, TRUE);
}

}  // namespace
}  // namespace test
}  // namespace crash_reporter
