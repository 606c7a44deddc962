#include <windows.h>

#include <algorithm>
#include <vector>

#include "base/bind.h"
#include "base/location.h"
#include "base/logging.h"
#include "base/message_loop/message_loop.h"
#include "base/message_loop/message_pump_win.h"
#include "base/strings/string_util_win.h"
#include "base/time/time.h"
#include "base/win/scoped_handle.h"
#include "desktop/windows/installer/ipc/installer_message.h"
#include "desktop/windows/installer/ipc/ipc_receiver.h"

namespace installer {

namespace {

// A writer can keep a mailslot full for ever: a poll reads at most this
// many messages before it lets other tasks of the IPC thread run.
constexpr int kMaxMessagesPerPoll = 1000;

}  // namespace

// Owns the mailslot. Lives on the IPC thread; hands each message read to
// its sender-side callback |deliver|.
class IpcReceiver::MailslotReader : public base::IOHandler {
 public:
  using Deliver = base::Callback<void(const char* data, size_t size)>;

  MailslotReader(base::win::ScopedHandle handle, const Deliver& deliver)
      : handle_(std::move(handle)),
        deliver_(deliver),
        buffer_(kMaxInstallerMessageSize) {}
  ~MailslotReader() override;

  // Reads through the completion port when the IO loop takes the handle,
  // else polls.
  void Start();

  // Hands on every message waiting now.
  void ReadWaiting();

  // base::IOHandler:
  void HandleIoCompletion(base::IOContext* context, DWORD bytes_transferred,
                          DWORD error) override;

 private:
  // Completion-port reading.
  void StartRead();
  // Polling: reads every waiting message, then schedules the next poll.
  void Poll();
  // Reads up to kMaxMessagesPerPoll waiting messages.
  void ReadWaitingByPolling();
  void SchedulePoll(unsigned delay_ms);
  // Hands |size| bytes of |buffer_| on, or drops them when they are more
  // than a message can be.
  void HandleMessage(DWORD size);

  base::win::ScopedHandle handle_;
  Deliver deliver_;
  std::vector<char> buffer_;
  // In use by the system while a read is pending; the destructor waits for
  // that read to end.
  base::IOContext context_ = {};
  bool read_pending_ = false;
  bool polling_ = false;
  base::WeakPtrFactory<MailslotReader> weak_factory_{this};
};

IpcReceiver::MailslotReader::~MailslotReader() {
  VLOG(1) << "Closing mailslot";
  if (read_pending_) {
    VLOG(1) << "I/O still pending on mailslot.";
    CancelIo(handle_.Get());
  }
  handle_.Close();
  while (read_pending_)
    base::MessageLoop::current()->WaitForIOCompletion(INFINITE, this);
}

void IpcReceiver::MailslotReader::Start() {
  if (base::MessageLoop::current()->RegisterIOHandler(handle_.Get(), this)) {
    StartRead();
    return;
  }
  // A synchronous handle: a read must never wait.
  LOG(INFO) << "Polling the mailslot";
  polling_ = true;
  if (!SetMailslotInfo(handle_.Get(), 0))
    PLOG(ERROR) << "Cannot set the mailslot's read time-out";
  SchedulePoll(0);
}

void IpcReceiver::MailslotReader::StartRead() {
  if (!handle_.IsValid()) return;
  context_ = base::IOContext{};
  if (!ReadFile(handle_.Get(), buffer_.data(),
                static_cast<DWORD>(buffer_.size()), nullptr,
                &context_.overlapped) &&
      GetLastError() != ERROR_IO_PENDING) {
    const DWORD error = GetLastError();
    if (error == ERROR_INSUFFICIENT_BUFFER) {
      // A message longer than the limit waits whole at the head; read it
      // into a buffer of its size, to drop it.
      DWORD next_size = MAILSLOT_NO_MESSAGE;
      if (GetMailslotInfo(handle_.Get(), nullptr, &next_size, nullptr,
                          nullptr) &&
          next_size != MAILSLOT_NO_MESSAGE) {
        buffer_.resize(std::max<size_t>(next_size, kMaxInstallerMessageSize));
        StartRead();
        return;
      }
    }
    LOG(ERROR) << "Cannot read from mailslot: error " << error;
    // Tried again later; only closing ends reading.
    base::MessageLoop::current()->PostDelayedTask(
        CURRENT_LOCATION,
        base::Bind(&MailslotReader::StartRead, weak_factory_.GetWeakPtr()),
        base::TimeDelta::FromMilliseconds(kPollIntervalMs));
    return;
  }
  read_pending_ = true;
}

void IpcReceiver::MailslotReader::HandleIoCompletion(base::IOContext* context,
                                                     DWORD bytes_transferred,
                                                     DWORD error) {
  CHECK_EQ(context, &context_);
  read_pending_ = false;
  if (!handle_.IsValid()) return;
  if (error == ERROR_INSUFFICIENT_BUFFER || error == ERROR_MORE_DATA) {
    DWORD next_size = MAILSLOT_NO_MESSAGE;
    if (GetMailslotInfo(handle_.Get(), nullptr, &next_size, nullptr, nullptr) &&
        next_size != MAILSLOT_NO_MESSAGE) {
      buffer_.resize(std::max<size_t>(next_size, kMaxInstallerMessageSize));
    }
  } else if (error) {
    LOG(ERROR) << "Cannot read from mailslot: error " << error;
  } else if (bytes_transferred) {
    HandleMessage(bytes_transferred);
  }
  StartRead();
}

void IpcReceiver::MailslotReader::SchedulePoll(unsigned delay_ms) {
  base::MessageLoop::current()->PostDelayedTask(
      CURRENT_LOCATION,
      base::Bind(&MailslotReader::Poll, weak_factory_.GetWeakPtr()),
      base::TimeDelta::FromMilliseconds(delay_ms));
}

void IpcReceiver::MailslotReader::ReadWaiting() {
  if (polling_) {
    ReadWaitingByPolling();
    return;
  }
  // Completions of messages already waiting are queued at the port.
  while (read_pending_ &&
         base::MessageLoop::current()->WaitForIOCompletion(0, this)) {
  }
}

void IpcReceiver::MailslotReader::Poll() {
  ReadWaitingByPolling();
  SchedulePoll(kPollIntervalMs);
}

void IpcReceiver::MailslotReader::ReadWaitingByPolling() {
  for (int i = 0; i < kMaxMessagesPerPoll; ++i) {
    // The next message's size: a buffer of that size reads it whole (a
    // smaller one would cut it and lose the rest).
    DWORD next_size = MAILSLOT_NO_MESSAGE;
    if (!GetMailslotInfo(handle_.Get(), nullptr, &next_size, nullptr,
                         nullptr)) {
      PLOG(ERROR) << "Cannot query the mailslot";
      break;
    }
    if (next_size == MAILSLOT_NO_MESSAGE) break;
    buffer_.resize(std::max<size_t>(next_size, kMaxInstallerMessageSize));
    DWORD read = 0;
    OVERLAPPED overlapped = {};
    if (!ReadFile(handle_.Get(), buffer_.data(),
                  static_cast<DWORD>(buffer_.size()), &read, &overlapped)) {
      PLOG(ERROR) << "Cannot read from mailslot";
      break;
    }
    if (read) HandleMessage(read);
  }
}

void IpcReceiver::MailslotReader::HandleMessage(DWORD size) {
  if (size > kMaxInstallerMessageSize) {
    LOG(WARNING) << "Dropping a mailslot message of " << size << " bytes";
  } else if (CheckInstallerMessageFraming(buffer_.data(), size)) {
    deliver_.Run(buffer_.data(), size);
  }
  if (buffer_.size() > kMaxInstallerMessageSize)
    buffer_.resize(kMaxInstallerMessageSize);
}

IpcReceiver::IpcReceiver(Delegate* delegate)
    : thread_(kInstallerIpcThreadName), delegate_(delegate) {}

IpcReceiver::~IpcReceiver() { Close(); }

bool IpcReceiver::Connect(const std::u16string& name) {
  VLOG(1) << "Preparing to receive IPC on " << name;
  owner_runner_ = base::MessageLoop::current()->task_runner();
  base::Thread::Options options;
  options.message_loop_type = base::MessageLoop::TYPE_IO;
  if (!thread_.StartWithOptions(options)) {
    LOG(ERROR) << "Could not start IPC thread";
    return false;
  }
  thread_.task_runner()->PostTask(
      base::Location("Connect", __FILE__, __LINE__, nullptr),
      base::Bind(&IpcReceiver::CreateReader, this, name,
                 weak_factory_.GetWeakPtr()));
  return true;
}

void IpcReceiver::Close() {
  if (!thread_.task_runner()) return;
  VLOG(1) << "Stopping RPC receiver";
  thread_.task_runner()->PostTask(
      base::Location("Close", __FILE__, __LINE__, nullptr),
      base::Bind(&IpcReceiver::CloseReader, this));
  thread_.Stop();
  weak_factory_.InvalidateWeakPtrs();
}

void IpcReceiver::CreateReader(const std::u16string& name,
                               const base::WeakPtr<IpcReceiver>& receiver) {
  const std::u16string path = kMailslotPathPrefix + name;
  VLOG(1) << "Creating mailslot " << path;
  base::win::ScopedHandle handle(
      CreateMailslotW(base::as_wcstr(path), kMaxInstallerMessageSize,
                      MAILSLOT_WAIT_FOREVER, nullptr));
  if (!handle.IsValid()) {
    PLOG(ERROR) << "Failed creating " << path;
    return;
  }
  const base::ScopedRefPtr<base::SequencedTaskRunner> owner = owner_runner_;
  reader_ = std::make_unique<MailslotReader>(
      std::move(handle),
      base::Bind(
          [](const base::WeakPtr<IpcReceiver>& receiver,
             const base::ScopedRefPtr<base::SequencedTaskRunner>& owner,
             const char* data, size_t size) {
            // A copy: the reader's buffer is reused at once.
            auto message =
                std::make_shared<base::Pickle>(base::Pickle(data, size));
            owner->PostTask(
                base::Location("OnMessageReceived", __FILE__, __LINE__,
                               nullptr),
                base::Bind(&IpcReceiver::DeliverMessage, receiver, message));
          },
          receiver, owner));
  reader_->Start();
}

void IpcReceiver::CloseReader() { reader_.reset(); }

void IpcReceiver::Flush(const base::Closure& done) {
  if (!thread_.task_runner()) return;
  thread_.task_runner()->PostTask(
      CURRENT_LOCATION, base::Bind(&IpcReceiver::FlushReader, this, done,
                                   weak_factory_.GetWeakPtr()));
}

void IpcReceiver::FlushReader(const base::Closure& done,
                              const base::WeakPtr<IpcReceiver>& receiver) {
  if (reader_) reader_->ReadWaiting();
  // After the messages just read: posts to one runner keep their order.
  owner_runner_->PostTask(CURRENT_LOCATION,
                          base::Bind(&IpcReceiver::RunFlushed, receiver, done));
}

void IpcReceiver::RunFlushed(const base::Closure& done) { done.Run(); }

void IpcReceiver::DeliverMessage(const std::shared_ptr<base::Pickle>& message) {
  delegate_->OnMessageReceived(*message);
}

}  // namespace installer
