#include "desktop/windows/installer/package_fetcher/app_output_win.h"

#include <windows.h>

#include <algorithm>

#include "base/command_line.h"
#include "base/logging.h"
#include "base/process/launch.h"
#include "base/process/process.h"
#include "base/win/scoped_handle.h"

namespace installer {

namespace {

// How often the child and the cancel flag are looked at.
constexpr DWORD kPollMilliseconds = 20;

// Reads what the pipe holds now, without waiting for more. False when more
// than |max_output| bytes arrived.
bool DrainPipe(HANDLE pipe, size_t max_output, std::string* output) {
  char buffer[4096];
  while (true) {
    DWORD available = 0;
    if (!::PeekNamedPipe(pipe, nullptr, 0, nullptr, &available, nullptr) ||
        available == 0) {
      return true;
    }
    DWORD read = 0;
    const DWORD wanted =
        std::min<DWORD>(available, static_cast<DWORD>(sizeof(buffer)));
    if (!::ReadFile(pipe, buffer, wanted, &read, nullptr) || read == 0)
      return true;
    if (output->size() + read > max_output) {
      output->append(buffer, max_output - output->size());
      return false;
    }
    output->append(buffer, read);
  }
}

}  // namespace

AppOutputResult GetAppOutputWithTimeout(const base::CommandLine& command_line,
                                        base::TimeDelta timeout,
                                        size_t max_output,
                                        const std::atomic<bool>* cancel,
                                        std::string* output) {
  output->clear();
  HANDLE read_end = nullptr;
  HANDLE write_end = nullptr;
  if (!::CreatePipe(&read_end, &write_end, nullptr, 0)) {
    PLOG(ERROR) << "CreatePipe failed";
    return AppOutputResult::kLaunchFailed;
  }
  base::win::ScopedHandle scoped_read(read_end);
  base::win::ScopedHandle scoped_write(write_end);

  // The list makes the write end inheritable and keeps every other handle
  // of this process out of the child.
  const base::HandlesToInheritVector inherited = {write_end};
  base::LaunchOptions options;
  options.start_hidden = true;
  options.handles_to_inherit = &inherited;
  options.stdout_handle = write_end;
  base::Process process =
      base::LaunchProcessFromCommandLine(command_line, options);
  if (!process.IsValid()) {
    PLOG(ERROR) << "Could not run " << command_line.GetCommandLineString();
    return AppOutputResult::kLaunchFailed;
  }
  // Otherwise this copy would keep the pipe open after the child ended.
  scoped_write.Close();

  const base::TimeTicks deadline = base::TimeTicks::Now() + timeout;
  while (true) {
    if (!DrainPipe(read_end, max_output, output)) {
      process.Terminate(1, false);
      return AppOutputResult::kTooLong;
    }
    int exit_code = 0;
    if (process.WaitForExitWithTimeout(0, &exit_code)) {
      return DrainPipe(read_end, max_output, output)
                 ? AppOutputResult::kOk
                 : AppOutputResult::kTooLong;
    }
    if (cancel && cancel->load()) {
      process.Terminate(1, false);
      return AppOutputResult::kCancelled;
    }
    if (base::TimeTicks::Now() >= deadline) {
      LOG(ERROR) << "Ending " << command_line.GetCommandLineString()
                 << ": no result after " << timeout.InMilliseconds() << " ms";
      process.Terminate(1, true);
      return AppOutputResult::kTimedOut;
    }
    ::WaitForSingleObject(process.Handle(), kPollMilliseconds);
  }
}

}  // namespace installer
