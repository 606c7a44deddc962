#include "desktop/windows/installer/test/process_test_util_win.h"

#include <windows.h>
// After windows.h.
#include <tlhelp32.h>
#include <winternl.h>

#include <string>
#include <utility>
#include <vector>

#include "base/strings/string_util_win.h"
#include "base/strings/utf_string_conversions.h"
#include "base/win/scoped_handle.h"
#include "desktop/windows/installer/common/installer_switches.h"

namespace installer {
namespace test {

namespace {

// The command line of |process| (opened with PROCESS_VM_READ), read from
// its process parameters; empty when it cannot be read. (Wine does not
// answer the command-line information class.)
std::wstring CommandLineOf(HANDLE process) {
  using QueryFunction =
      NTSTATUS(WINAPI*)(HANDLE, PROCESSINFOCLASS, PVOID, ULONG, PULONG);
  static const auto query = reinterpret_cast<QueryFunction>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"),
                                             "NtQueryInformationProcess")));
  PROCESS_BASIC_INFORMATION basic = {};
  PEB peb = {};
  RTL_USER_PROCESS_PARAMETERS parameters = {};
  if (!query ||
      query(process, ProcessBasicInformation, &basic, sizeof(basic), nullptr) !=
          0 ||
      !ReadProcessMemory(process, basic.PebBaseAddress, &peb, sizeof(peb),
                         nullptr) ||
      !ReadProcessMemory(process, peb.ProcessParameters, &parameters,
                         sizeof(parameters), nullptr)) {
    return std::wstring();
  }
  std::wstring text(parameters.CommandLine.Length / sizeof(wchar_t), L'\0');
  if (!ReadProcessMemory(process, parameters.CommandLine.Buffer, text.data(),
                         parameters.CommandLine.Length, nullptr)) {
    return std::wstring();
  }
  return text;
}

// Every installer process but the version modes starts a crash reporter, a
// copy of its own program: not the child a test looks for. A child whose
// command line cannot be read yet (just created, on a loaded machine) is
// not known to be anything else, so it does not count either: the callers
// look again.
bool IsKnownNotToBeACrashReporter(HANDLE process) {
  const std::wstring marker =
      L"-" + std::wstring(base::as_wcstr(
                 base::ASCIIToUTF16(switches::kCrashReporterParentId)));
  const std::wstring command_line = CommandLineOf(process);
  return !command_line.empty() &&
         command_line.find(marker) == std::wstring::npos;
}

// What the lookups list instead of the system's snapshot, when set.
std::vector<internal::ProcessIds>* g_process_list_for_testing = nullptr;

std::vector<internal::ProcessIds> ListProcesses() {
  if (g_process_list_for_testing) return *g_process_list_for_testing;
  std::vector<internal::ProcessIds> processes;
  base::win::ScopedHandle snapshot(
      CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  if (!snapshot.IsValid()) return processes;
  PROCESSENTRY32W entry = {};
  entry.dwSize = sizeof(entry);
  for (BOOL more = Process32FirstW(snapshot.Get(), &entry); more;
       more = Process32NextW(snapshot.Get(), &entry)) {
    processes.push_back({entry.th32ProcessID, entry.th32ParentProcessID});
  }
  return processes;
}

// A running child of |parent_pid|, not a crash reporter, whose program
// |matches|. The snapshot names a parent by its id alone, which outlives
// the parent: the system soon gives it to a new process, and the orphans of
// the ended one would pass for that process's children. A child is never
// older than its parent.
template <typename Matcher>
base::Process FindChild(uint32_t parent_pid, Matcher matches) {
  const base::win::ScopedHandle parent(
      OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, parent_pid));
  const uint64_t parent_created =
      parent.IsValid() ? CreationTimeOf(parent.Get()) : 0;
  if (parent_created == 0) return base::Process();
  for (const internal::ProcessIds& ids : ListProcesses()) {
    if (ids.parent_pid != parent_pid) continue;
    HANDLE process = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_INFORMATION |
                                     PROCESS_VM_READ | PROCESS_TERMINATE,
                                 FALSE, ids.pid);
    if (!process) continue;
    wchar_t path[MAX_PATH] = {};
    DWORD size = MAX_PATH;
    if (CreationTimeOf(process) >= parent_created &&
        QueryFullProcessImageNameW(process, 0, path, &size) &&
        matches(base::FilePath(base::as_u16cstr(path))) &&
        IsKnownNotToBeACrashReporter(process)) {
      return base::Process(process);
    }
    CloseHandle(process);
  }
  return base::Process();
}

}  // namespace

uint64_t CreationTimeOf(HANDLE process) {
  FILETIME created = {}, exited = {}, kernel = {}, user = {};
  if (!GetProcessTimes(process, &created, &exited, &kernel, &user)) return 0;
  return (static_cast<uint64_t>(created.dwHighDateTime) << 32) |
         created.dwLowDateTime;
}

std::u16string GetProcessCommandLine(const base::Process& process) {
  return base::as_u16cstr(CommandLineOf(process.Handle()).c_str());
}

base::Process FindChildProcess(uint32_t parent_pid,
                               const base::FilePath& program) {
  return FindChild(parent_pid, [&](const base::FilePath& path) {
    return base::FilePath::CompareIgnoreCase(path.value(), program.value()) ==
           0;
  });
}

base::Process WaitForChildProcess(uint32_t parent_pid,
                                  const base::FilePath& program) {
  base::Process child = FindChildProcess(parent_pid, program);
  for (int i = 0; i < 600 && !child.IsValid(); ++i) {
    ::Sleep(100);
    child = FindChildProcess(parent_pid, program);
  }
  return child;
}

base::Process FindChildProcessBelow(uint32_t parent_pid,
                                    const base::FilePath& folder,
                                    const std::u16string& name) {
  const std::u16string prefix =
      folder.StripTrailingSeparators().value() + u"\\";
  return FindChild(parent_pid, [&](const base::FilePath& path) {
    return base::FilePath::CompareIgnoreCase(path.BaseName().value(), name) ==
               0 &&
           base::FilePath::CompareIgnoreCase(
               path.value().substr(0, prefix.size()), prefix) == 0;
  });
}

namespace internal {

ScopedProcessListForTesting::ScopedProcessListForTesting(
    std::vector<ProcessIds> processes)
    : processes_(std::move(processes)) {
  g_process_list_for_testing = &processes_;
}

ScopedProcessListForTesting::~ScopedProcessListForTesting() {
  g_process_list_for_testing = nullptr;
}

}  // namespace internal

}  // namespace test
}  // namespace installer
