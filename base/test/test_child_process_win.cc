// A child process for tests of process launching: it reports what it sees
// of its own start-up on standard output, waits when asked, and ends with a
// chosen exit code. The switches are in test_child_process.h.

#include <windows.h>

#include <string>
#include <vector>

#include "base/command_line.h"
#include "base/feature_list.h"
#include "base/features/command_line_feature_reader.h"
#include "base/strings/string_number_conversions.h"
#include "base/strings/string_split.h"
#include "base/strings/string_util_win.h"
#include "base/strings/utf_string_conversions.h"
#include "base/test/test_child_process.h"

namespace {

using namespace base::test;

constexpr DWORD kMaxEventWaitMs = 60000;

void Write(DWORD std_handle, const std::string& text) {
  DWORD written = 0;
  WriteFile(GetStdHandle(std_handle), text.data(),
            static_cast<DWORD>(text.size()), &written, nullptr);
}

void Print(const std::string& text) { Write(STD_OUTPUT_HANDLE, text); }

std::string Ascii(const base::CommandLine& command_line, const char* name) {
  return command_line.GetSwitchValueASCII(name);
}

unsigned ParseUnsigned(const std::string& text) {
  unsigned value = 0;
  base::StringToUint(text, &value);
  return value;
}

void PrintStartup() {
  STARTUPINFOW info = {};
  info.cb = sizeof(info);
  GetStartupInfoW(&info);
  Print("show=" + base::UintToString(info.wShowWindow) + " usestdhandles=" +
        ((info.dwFlags & STARTF_USESTDHANDLES) ? "1" : "0") + " desktop=" +
        (info.lpDesktop ? base::WideToUTF8(base::as_u16cstr(info.lpDesktop))
                        : std::string("(null)")));
}

// Sets each event named by a handle value; prints "1" for every call that
// worked. A value that was not inherited sets nothing of the parent's.
void SetEvents(const std::string& list) {
  for (const std::string& text :
       base::SplitString(list, ",", base::SplitWhitespace::kTrim,
                         base::SplitFilter::kNonEmpty)) {
    uint64_t value = 0;
    base::StringToUint64(text, &value);
    const bool set =
        SetEvent(reinterpret_cast<HANDLE>(static_cast<uintptr_t>(value)));
    Print(set ? "1" : "0");
  }
}

void PrintFeature(const base::CommandLine& command_line,
                  const std::string& name) {
  base::FeatureList features;
  features.AddFeature(name, false, true);
  features.ReadOverrides(base::CommandLineFeatureReader(command_line));
  Print(features.IsEnabled(name) ? "on" : "off");
}

void WaitForEvent(const std::u16string& name) {
  HANDLE event = OpenEventW(SYNCHRONIZE, FALSE, base::as_wcstr(name));
  if (!event) ExitProcess(90);
  const DWORD result = WaitForSingleObject(event, kMaxEventWaitMs);
  CloseHandle(event);
  if (result != WAIT_OBJECT_0) ExitProcess(91);
}

void SignalEvent(const std::u16string& name) {
  HANDLE event = OpenEventW(EVENT_MODIFY_STATE, FALSE, base::as_wcstr(name));
  if (!event || !SetEvent(event)) ExitProcess(92);
  CloseHandle(event);
}

int Run(const base::CommandLine& command_line) {
  if (command_line.HasSwitch(kChildSignalEvent))
    SignalEvent(command_line.GetSwitchValueNative(kChildSignalEvent));
  if (command_line.HasSwitch(kChildPrint)) {
    const unsigned repeat =
        command_line.HasSwitch(kChildPrintRepeat)
            ? ParseUnsigned(Ascii(command_line, kChildPrintRepeat))
            : 1;
    const std::string text =
        base::WideToUTF8(command_line.GetSwitchValueNative(kChildPrint));
    for (unsigned i = 0; i < repeat; ++i) Print(text);
  }
  if (command_line.HasSwitch(kChildPrintStderr))
    Write(STD_ERROR_HANDLE, Ascii(command_line, kChildPrintStderr));
  if (command_line.HasSwitch(kChildPrintCwd)) {
    wchar_t folder[MAX_PATH] = {};
    GetCurrentDirectoryW(MAX_PATH, folder);
    Print(base::WideToUTF8(base::as_u16cstr(folder)));
  }
  if (command_line.HasSwitch(kChildPrintEnv)) {
    const std::u16string name =
        command_line.GetSwitchValueNative(kChildPrintEnv);
    wchar_t value[1024] = {};
    if (GetEnvironmentVariableW(base::as_wcstr(name), value, 1024))
      Print(base::WideToUTF8(base::as_u16cstr(value)));
  }
  if (command_line.HasSwitch(kChildPrintStartup)) PrintStartup();
  if (command_line.HasSwitch(kChildSetEvents))
    SetEvents(Ascii(command_line, kChildSetEvents));
  if (command_line.HasSwitch(kChildPrintFeature))
    PrintFeature(command_line, Ascii(command_line, kChildPrintFeature));
  if (command_line.HasSwitch(kChildPrintInJob)) {
    BOOL in_job = FALSE;
    IsProcessInJob(GetCurrentProcess(), nullptr, &in_job);
    Print(in_job ? "in job" : "no job");
  }
  if (command_line.HasSwitch(kChildWaitEvent))
    WaitForEvent(command_line.GetSwitchValueNative(kChildWaitEvent));
  if (command_line.HasSwitch(kChildWaitMs))
    Sleep(ParseUnsigned(Ascii(command_line, kChildWaitMs)));
  return static_cast<int>(ParseUnsigned(Ascii(command_line, kChildExitCode)));
}

}  // namespace

int main() {
  base::CommandLine::Init();
  const int exit_code = Run(*base::CommandLine::ForCurrentProcess());
  // ExitProcess passes every 32-bit code through unchanged.
  ExitProcess(static_cast<UINT>(exit_code));
}
