// The mailslot between two ends in one process: IpcSender and IpcReceiver
// on their own IPC threads, and raw writes standing for any other process
// that opens the mailslot by name.

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "base/bind.h"
#include "base/message_loop/message_loop.h"
#include "base/run_loop.h"
#include "base/strings/string_util_win.h"
#include "base/strings/utf_string_conversions.h"
#include "base/threading/platform_thread.h"
#include "base/time/time.h"
#include "base/win/scoped_handle.h"
#include "desktop/windows/installer/ipc/installer_message.h"
#include "desktop/windows/installer/ipc/ipc_receiver.h"
#include "desktop/windows/installer/ipc/ipc_sender.h"
#include "desktop/windows/installer/service/test/log_capture.h"
#include "desktop/windows/installer/test/recording_ipc_delegate.h"
#include "gtest/gtest.h"

namespace installer {
namespace {

using test::BytesOf;
using test::RecordingIpcDelegate;

// A name no other test uses.
std::u16string UniqueName() {
  const testing::TestInfo* info =
      testing::UnitTest::GetInstance()->current_test_info();
  return u"velna_installer\\ipc_test\\" +
         base::UTF8ToUTF16(std::string(info->name()) + "_" +
                           std::to_string(GetCurrentProcessId()));
}

// Waits until the receiver's thread has created the mailslot (a minute at
// most, however loaded the machine).
base::win::ScopedHandle OpenMailslot(const std::u16string& name) {
  const std::u16string path = kMailslotPathPrefix + name;
  for (int i = 0; i < 6000; ++i) {
    base::win::ScopedHandle handle(CreateFileW(
        base::as_wcstr(path), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
        nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (handle.IsValid()) return handle;
    base::PlatformThread::Sleep(base::TimeDelta::FromMilliseconds(10));
  }
  return base::win::ScopedHandle();
}

void WriteRaw(HANDLE mailslot, const std::vector<unsigned char>& bytes) {
  DWORD written = 0;
  ASSERT_TRUE(WriteFile(mailslot, bytes.data(),
                        static_cast<DWORD>(bytes.size()), &written, nullptr));
}

class IpcTest : public testing::Test {
 protected:
  base::MessageLoop message_loop_;
  RecordingIpcDelegate delegate_;
};

TEST_F(IpcTest, EveryMessageArrivesInOrderAndTheLastBeforeTheSenderCloses) {
  const std::u16string name = UniqueName();
  IpcReceiver receiver(&delegate_);
  ASSERT_TRUE(receiver.Connect(name));
  ASSERT_TRUE(OpenMailslot(name).IsValid());
  {
    IpcSender sender;
    ASSERT_TRUE(sender.Connect(name));
    // Sent at once: the writer opens first on the IPC thread.
    sender.Send(BuildInstallerMessage(kMessageStarted));
    sender.Send(BuildStartingNewMainProcessMessage(true));
    sender.Send(BuildInstallerMessage(kMessageReturnedToPreviousMainProcess));
    sender.Send(BuildTotalStepsMessage(3));
    for (int i = 0; i < 3; ++i)
      sender.Send(BuildInstallerMessage(kMessageStep));
    sender.Send(BuildErrorMessage(37059, u"D:\\\u00e9", "Failed"));
    sender.Send(BuildInstallerMessage(kMessageSuccess));
    // Destroyed right after the last send: it is still written.
  }
  ASSERT_TRUE(delegate_.WaitForEvents(9));
  EXPECT_EQ((std::vector<std::string>{
                "Started", "StartingNewMainProcess(1)",
                "ReturnedToPreviousMainProcess", "TotalSteps(3)", "Step",
                "Step", "Step", "Error(37059,D:\\\xc3\xa9,Failed)", "Success"}),
            delegate_.events());
}

TEST_F(IpcTest, MalformedMessagesAreDroppedAndTheReaderGoesOn) {
  const std::u16string name = UniqueName();
  IpcReceiver receiver(&delegate_);
  ASSERT_TRUE(receiver.Connect(name));
  base::win::ScopedHandle mailslot = OpenMailslot(name);
  ASSERT_TRUE(mailslot.IsValid());
  const std::vector<unsigned char> step =
      BytesOf(*BuildInstallerMessage(kMessageStep));
  std::vector<unsigned char> wrong_signature = step;
  wrong_signature[8] = ';';
  std::vector<unsigned char> type7 = step;
  type7[28] = 7;
  std::vector<unsigned char> short_error =
      BytesOf(*BuildErrorMessage(37055, u"text", "detail"));
  short_error.resize(short_error.size() - 8);
  short_error[0] = static_cast<unsigned char>(short_error.size() - 4);
  std::vector<unsigned char> size_mismatch = step;
  size_mismatch[0] = 40;
  std::vector<unsigned char> huge = step;
  huge.resize(3000, 'x');
  const uint32_t huge_payload = 3000 - 4;
  memcpy(huge.data(), &huge_payload, 4);

  WriteRaw(mailslot.Get(), BytesOf(*BuildTotalStepsMessage(2)));
  for (const auto* bad :
       {&wrong_signature, &type7, &short_error, &size_mismatch, &huge}) {
    WriteRaw(mailslot.Get(), *bad);
    WriteRaw(mailslot.Get(), step);
  }
  WriteRaw(mailslot.Get(), BytesOf(*BuildInstallerMessage(kMessageSuccess)));
  ASSERT_TRUE(delegate_.WaitForEvents(7));
  EXPECT_EQ((std::vector<std::string>{"TotalSteps(2)", "Step", "Step", "Step",
                                      "Step", "Step", "Success"}),
            delegate_.events());
}

TEST_F(IpcTest, FlushDeliversWhatWaitsBeforeItsReply) {
  const std::u16string name = UniqueName();
  IpcReceiver receiver(&delegate_);
  ASSERT_TRUE(receiver.Connect(name));
  base::win::ScopedHandle mailslot = OpenMailslot(name);
  ASSERT_TRUE(mailslot.IsValid());
  for (int i = 0; i < 20; ++i)
    WriteRaw(mailslot.Get(), BytesOf(*BuildTotalStepsMessage(i)));
  WriteRaw(mailslot.Get(), BytesOf(*BuildErrorMessage(37055, u"", "last")));
  // The reply comes before the next poll would have read them.
  size_t seen_at_reply = 0;
  base::RunLoop run_loop;
  receiver.Flush(base::Bind(
      [](size_t* seen, const RecordingIpcDelegate* delegate,
         const base::Closure& quit) {
        *seen = delegate->events().size();
        quit.Run();
      },
      &seen_at_reply, &delegate_, run_loop.QuitClosure()));
  run_loop.Run();
  EXPECT_EQ(21u, seen_at_reply);
  EXPECT_EQ("Error(37055,,last)", delegate_.events().back());
}

TEST_F(IpcTest, AnOversizedMessageIsShortenedOrDroppedBySender) {
  const std::u16string name = UniqueName();
  IpcReceiver receiver(&delegate_);
  ASSERT_TRUE(receiver.Connect(name));
  ASSERT_TRUE(OpenMailslot(name).IsValid());
  {
    IpcSender sender;
    ASSERT_TRUE(sender.Connect(name));
    // An error text and detail of any length fit once shortened.
    sender.Send(BuildErrorMessage(37062, std::u16string(3000, u'p'),
                                  std::string(5000, 'd')));
    // A message that cannot fit never reaches the mailslot.
    auto oversized = BuildInstallerMessage(kMessageStep);
    oversized->WriteString(std::string(3000, 'x'));
    sender.Send(std::move(oversized));
    sender.Send(BuildInstallerMessage(kMessageSuccess));
  }
  ASSERT_TRUE(delegate_.WaitForEvents(2));
  ASSERT_EQ(2u, delegate_.events().size());
  EXPECT_EQ("Error(37062," + std::string(1002, 'p') + ",)",
            delegate_.events()[0]);
  EXPECT_EQ("Success", delegate_.events()[1]);
}

TEST_F(IpcTest, AMissingMailslotOrAnOverlongNameLeavesTheChannelSilent) {
  test::ScopedLogCapture log;
  const std::u16string long_name =
      UniqueName() + u"\\" + std::u16string(260, u'a');
  IpcReceiver receiver(&delegate_);
  // The thread starts; creating the mailslot fails there.
  EXPECT_TRUE(receiver.Connect(long_name));
  {
    IpcSender sender;
    EXPECT_TRUE(sender.Connect(UniqueName() + u"_nobody"));
    sender.Send(BuildInstallerMessage(kMessageSuccess));
  }
  receiver.Close();
  bool failed_creating = false;
  bool failed_opening = false;
  for (const std::string& line : log.Messages(logging::LOG_ERROR)) {
    failed_creating |= line.rfind("Failed creating \\\\.\\mailslot\\", 0) == 0;
    failed_opening |= line.rfind("Failed opening \\\\.\\mailslot\\", 0) == 0;
  }
  EXPECT_TRUE(failed_creating);
  EXPECT_TRUE(failed_opening);
  EXPECT_EQ(0, delegate_.received());
}

TEST_F(IpcTest, AFullMailslotHoldsWritesUntilClosingGivesUp) {
  // A mailslot nobody reads: the writes pend once it is full, and closing
  // the sender waits its time, then cancels and counts what is left.
  const std::u16string name = UniqueName();
  base::win::ScopedHandle mailslot(
      CreateMailslotW(base::as_wcstr(kMailslotPathPrefix + name),
                      kMaxInstallerMessageSize, 0, nullptr));
  ASSERT_TRUE(mailslot.IsValid());
  test::ScopedLogCapture log;
  constexpr int kSent = 400;
  const base::TimeTicks start = base::TimeTicks::Now();
  {
    IpcSender sender;
    ASSERT_TRUE(sender.Connect(name));
    for (int i = 0; i < kSent; ++i) sender.Send(BuildTotalStepsMessage(i));
  }
  EXPECT_LE(IpcSender::kCloseDrainTimeoutMs,
            (base::TimeTicks::Now() - start).InMilliseconds() + 50);
  // What was written is whole and in order.
  int read_count = 0;
  for (;;) {
    DWORD next = MAILSLOT_NO_MESSAGE;
    ASSERT_TRUE(
        GetMailslotInfo(mailslot.Get(), nullptr, &next, nullptr, nullptr));
    if (next == MAILSLOT_NO_MESSAGE) break;
    std::vector<char> buffer(next);
    DWORD read = 0;
    ASSERT_TRUE(ReadFile(mailslot.Get(), buffer.data(), next, &read, nullptr));
    base::Pickle view(buffer.data(), read);
    InstallerMessage parsed;
    ASSERT_TRUE(ParseInstallerMessage(view, &parsed));
    EXPECT_EQ(static_cast<uint32_t>(read_count), parsed.total_steps);
    ++read_count;
  }
  EXPECT_LT(0, read_count);
  EXPECT_GT(kSent, read_count);
  bool unsent_logged = false;
  for (const std::string& line : log.Messages(-1)) {
    unsent_logged |=
        line == "Messages unsent: " + std::to_string(kSent - read_count - 1) ||
        line == "Messages unsent: " + std::to_string(kSent - read_count);
  }
  EXPECT_TRUE(unsent_logged);
}

}  // namespace
}  // namespace installer
