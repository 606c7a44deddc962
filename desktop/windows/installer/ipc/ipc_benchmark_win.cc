// Throughput and latency of the installer mailslot between two processes,
// run by hand under Wine. The parent creates the mailslot (IpcReceiver),
// starts itself as a child that sends 2,000 STEP messages (IpcSender) and
// writes the tick count of each send into a file; the parent notes the tick
// count of each arrival on its owner thread. Two ways of sending: a burst
// (as fast as the child can queue them: the latency is then mostly the
// wait behind the messages before) and paced at 2,000 per second. Prints
// the messages received in order, the rate (messages per second from the
// first send to the last arrival) and the median and 95th percentile
// latency, for five runs of each.
//
//   wine installer_ipc_benchmark.exe

#include <stdio.h>
#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "base/command_line.h"
#include "base/files/file_util.h"
#include "base/message_loop/message_loop.h"
#include "base/process/launch.h"
#include "base/process/process.h"
#include "base/run_loop.h"
#include "base/strings/string_util_win.h"
#include "base/strings/utf_string_conversions.h"
#include "base/test/scoped_temp_dir.h"
#include "base/time/time.h"
#include "desktop/windows/installer/ipc/installer_message.h"
#include "desktop/windows/installer/ipc/ipc_receiver.h"
#include "desktop/windows/installer/ipc/ipc_sender.h"

namespace {

constexpr int kMessages = 2000;
constexpr int kRuns = 5;
constexpr char kChild[] = "child";
constexpr char kName[] = "name";
constexpr char kTimes[] = "times";
constexpr char kPaced[] = "paced";
// Paced sending: one message every half millisecond.
constexpr int64_t kPacedIntervalUs = 500;

int64_t Now() { return base::TimeTicks::Now().ToInternalValue(); }

// Sends the messages and writes their send times.
int RunChild(const base::CommandLine& command_line) {
  base::MessageLoop message_loop;
  std::vector<int64_t> sent(kMessages);
  {
    installer::IpcSender sender;
    if (!sender.Connect(command_line.GetSwitchValueNative(kName))) return 1;
    const bool paced = command_line.HasSwitch(kPaced);
    const int64_t start = Now();
    for (int i = 0; i < kMessages; ++i) {
      while (paced && Now() < start + i * kPacedIntervalUs) Sleep(0);
      sent[i] = Now();
      // The count orders the messages: each carries its index.
      sender.Send(installer::BuildTotalStepsMessage(i));
    }
  }
  const int size = static_cast<int>(sent.size() * sizeof(sent[0]));
  return base::WriteBufferToFile(command_line.GetSwitchValuePath(kTimes),
                                 reinterpret_cast<const char*>(sent.data()),
                                 size) == size
             ? 0
             : 2;
}

class Arrivals : public installer::IpcReceiver::Delegate {
 public:
  void OnMessageReceived(const base::Pickle& message) override {
    installer::InstallerMessage parsed;
    if (installer::ParseInstallerMessage(message, &parsed)) {
      in_order &= parsed.total_steps == times.size();
      times.push_back(Now());
    }
  }
  std::vector<int64_t> times;
  bool in_order = true;
};

void RunOnce(int run, bool paced, const base::FilePath& folder) {
  base::MessageLoop message_loop;
  const std::u16string name =
      u"velna_installer\\benchmark\\" +
      base::UTF8ToUTF16(std::to_string(GetCurrentProcessId()) + "_" +
                        std::to_string(run));
  Arrivals arrivals;
  installer::IpcReceiver receiver(&arrivals);
  receiver.Connect(name);
  // The mailslot exists once a writer can open it.
  for (int i = 0; i < 500; ++i) {
    HANDLE probe = CreateFileW(
        base::as_wcstr(installer::kMailslotPathPrefix + name), GENERIC_WRITE,
        FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    if (probe != INVALID_HANDLE_VALUE) {
      CloseHandle(probe);
      break;
    }
    Sleep(5);
  }
  const base::FilePath times =
      folder.Append(u"times" + base::UTF8ToUTF16(std::to_string(run)));
  wchar_t self[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  base::Process child = base::LaunchProcess(
      u"\"" + std::u16string(base::as_u16cstr(self)) + u"\" --child --name=\"" +
          name + u"\" --times=\"" + times.value() + u"\"" +
          (paced ? u" --paced" : u""),
      base::LaunchOptions());
  int exit_code = -1;
  const base::TimeTicks deadline =
      base::TimeTicks::Now() + base::TimeDelta::FromSeconds(60);
  while (base::TimeTicks::Now() < deadline &&
         (static_cast<int>(arrivals.times.size()) < kMessages ||
          !child.WaitForExitWithTimeout(0, &exit_code))) {
    base::RunLoop run_loop;
    message_loop.PostDelayedTask(CURRENT_LOCATION, run_loop.QuitClosure(),
                                 base::TimeDelta::FromMilliseconds(1));
    run_loop.Run();
  }
  std::string data;
  base::FileUtil::ReadFileToString(times, &data);
  std::vector<int64_t> sent(data.size() / sizeof(int64_t));
  memcpy(sent.data(), data.data(), sent.size() * sizeof(int64_t));
  if (exit_code != 0 || sent.size() != kMessages ||
      arrivals.times.size() != kMessages) {
    printf("run %d: child exit %d, %zu sent, %zu received\n", run, exit_code,
           sent.size(), arrivals.times.size());
    return;
  }
  std::vector<double> latency_ms(kMessages);
  for (int i = 0; i < kMessages; ++i)
    latency_ms[i] = (arrivals.times[i] - sent[i]) / 1000.0;
  std::sort(latency_ms.begin(), latency_ms.end());
  const double seconds = (arrivals.times.back() - sent.front()) / 1e6;
  printf(
      "%s run %d: %d received%s in %.3f s, %.0f messages/s, latency "
      "median %.2f ms, 95th percentile %.2f ms\n",
      paced ? "paced" : "burst", run, kMessages,
      arrivals.in_order ? " in order" : " OUT OF ORDER", seconds,
      kMessages / seconds, latency_ms[kMessages / 2],
      latency_ms[kMessages * 95 / 100]);
}

}  // namespace

int main() {
  base::CommandLine::Init();
  const base::CommandLine& command_line =
      *base::CommandLine::ForCurrentProcess();
  if (command_line.HasSwitch(kChild)) return RunChild(command_line);
  base::ScopedTempDir folder;
  if (!folder.CreateUniqueTempDir()) return 1;
  for (int run = 0; run < kRuns; ++run) RunOnce(run, false, folder.GetPath());
  for (int run = 0; run < kRuns; ++run)
    RunOnce(kRuns + run, true, folder.GetPath());
  return 0;
}
