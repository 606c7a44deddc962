#include <windows.h>

#include "base/process/launch.h"

// Needs windows.h first.
#include <userenv.h>

#include "base/command_line.h"
#include "base/logging.h"
#include "base/process/create_process_win.h"
#include "base/process/kill.h"
#include "base/process/scoped_process_information_win.h"
#include "base/process/startup_information_win.h"
#include "base/strings/string_util_win.h"
#include "base/win/scoped_handle.h"
#include "base/win/windows_version.h"

namespace base {

namespace {

// The attribute list takes the handle list's byte size as a 32-bit count.
constexpr size_t kMaxHandlesToInherit = 0x1FFFFFFF;
constexpr DWORD kJobRefusedExitCode = 1;
constexpr DWORD kJobRefusedWaitMs = 60000;
constexpr DWORD kOutputChunkBytes = 1024;

// Restricts inheritance to the listed handles. False when the launch cannot
// go on.
bool SetUpHandleList(const HandlesToInheritVector& handles,
                     StartupInformation* startup_info) {
  if (handles.size() > kMaxHandlesToInherit) {
    LOG(ERROR) << "Too many handles to inherit: " << handles.size();
    return false;
  }
  for (win::Handle handle : handles) {
    if (!SetHandleInformation(handle, HANDLE_FLAG_INHERIT,
                              HANDLE_FLAG_INHERIT)) {
      PLOG(ERROR) << "Cannot make a handle to inherit inheritable";
      return false;
    }
  }
  if (!startup_info->UpdateProcThreadAttribute(
          PROC_THREAD_ATTRIBUTE_HANDLE_LIST,
          const_cast<win::Handle*>(handles.data()),
          handles.size() * sizeof(HANDLE))) {
    PLOG(ERROR) << "Cannot set up the handle list";
    return false;
  }
  return true;
}

// Whether |options| asks for something a child of another parent cannot
// have: handles and a job are this process's, and a token of its own would
// replace the parent's.
bool ConflictsWithParent(const LaunchOptions& options) {
  return options.parent_process &&
         (options.inherit_handles || options.handles_to_inherit ||
          options.as_user || options.job_handle || options.stdin_handle ||
          options.stdout_handle || options.stderr_handle);
}

// The startup record of a launch with |options|, into |*startup_info|, and
// the inheritance and creation flags it needs. False when the launch cannot
// go on.
bool SetUpStartup(const LaunchOptions& options,
                  StartupInformation* startup_info, BOOL* inherit,
                  DWORD* flags) {
  const bool handle_list =
      options.handles_to_inherit && !options.handles_to_inherit->empty();
  if (options.handles_to_inherit) *inherit = handle_list;
  const bool parent = options.parent_process != nullptr;
  const DWORD attributes = (handle_list ? 1 : 0) + (parent ? 1 : 0);
  if (attributes) {
    if (!startup_info->InitializeProcThreadAttributeList(attributes)) {
      PLOG(ERROR) << "Cannot make a process attribute list";
      return false;
    }
    *flags |= EXTENDED_STARTUPINFO_PRESENT;
  }
  if (handle_list &&
      !SetUpHandleList(*options.handles_to_inherit, startup_info)) {
    return false;
  }
  // The list points at the member, which outlives the creation.
  if (parent && !startup_info->UpdateProcThreadAttribute(
                    PROC_THREAD_ATTRIBUTE_PARENT_PROCESS,
                    const_cast<win::Handle*>(&options.parent_process),
                    sizeof(options.parent_process))) {
    PLOG(ERROR) << "Cannot name the child's parent";
    return false;
  }
  return true;
}

void SetUpStartupRecord(const LaunchOptions& options, STARTUPINFOW* info) {
  info->dwFlags |= STARTF_USESHOWWINDOW;
  info->wShowWindow = options.start_hidden ? SW_HIDE : SW_SHOW;
  if (options.empty_desktop_name) info->lpDesktop = const_cast<wchar_t*>(L"");
  if (options.stdin_handle || options.stdout_handle || options.stderr_handle) {
    info->dwFlags |= STARTF_USESTDHANDLES;
    info->hStdInput = options.stdin_handle;
    info->hStdOutput = options.stdout_handle;
    info->hStdError = options.stderr_handle;
  }
}

bool CreateProcessForOptions(const LaunchOptions& options,
                             std::u16string command_line, BOOL inherit,
                             DWORD flags, STARTUPINFOW* startup_info,
                             PROCESS_INFORMATION* process_info) {
  const wchar_t* current_directory =
      options.current_directory.empty()
          ? nullptr
          : as_wcstr(options.current_directory.value());
  if (!options.as_user && !options.parent_process) {
    return CreateProcessRetryingInternalError(
        nullptr, as_writable_wcstr(command_line), inherit, flags, nullptr,
        current_directory, startup_info, process_info);
  }
  // A child of another parent runs as that parent's user: that user's
  // environment, not ours.
  win::ScopedHandle parent_token;
  if (options.parent_process) {
    HANDLE token = nullptr;
    if (!OpenProcessToken(options.parent_process, TOKEN_QUERY | TOKEN_DUPLICATE,
                          &token)) {
      PLOG(ERROR) << "Cannot read the token of the child's parent";
      return false;
    }
    parent_token.Set(token);
  }
  void* environment = nullptr;
  if (!CreateEnvironmentBlock(
          &environment, options.as_user ? options.as_user : parent_token.Get(),
          FALSE)) {
    PLOG(ERROR) << "CreateEnvironmentBlock failed";
    return false;
  }
  const bool created = CreateProcessRetryingInternalError(
      nullptr, as_writable_wcstr(command_line), inherit,
      flags | CREATE_UNICODE_ENVIRONMENT, environment, current_directory,
      startup_info, process_info, options.as_user);
  const DWORD error = GetLastError();
  DestroyEnvironmentBlock(environment);
  SetLastError(error);
  return created;
}

// Puts the suspended child into its job and lets it run; a child that the
// job refuses is ended before it can do anything.
bool AssignToJobAndResume(win::Handle job,
                          const ScopedProcessInformation& process_info) {
  if (!AssignProcessToJobObject(job, process_info.process_handle())) {
    const DWORD error = GetLastError();
    LOG(ERROR) << "AssignProcessToJobObject failed: " << error;
    if (TerminateProcess(process_info.process_handle(), kJobRefusedExitCode))
      WaitForSingleObject(process_info.process_handle(), kJobRefusedWaitMs);
    SetLastError(error);
    return false;
  }
  ResumeThread(process_info.thread_handle());
  return true;
}

}  // namespace

namespace internal {

uint32_t GetLaunchCreationFlags(const LaunchOptions& options,
                                int windows_version) {
  uint32_t flags = 0;
  if (options.job_handle) {
    flags |= CREATE_SUSPENDED;
    // Before Windows 8 a process can be in one job only: a child of a
    // parent that runs in a job must leave it to join another.
    if (windows_version < win::kVersionWin8) flags |= CREATE_BREAKAWAY_FROM_JOB;
  }
  if (options.force_breakaway_from_job) flags |= CREATE_BREAKAWAY_FROM_JOB;
  return flags;
}

}  // namespace internal

Process LaunchProcess(const std::u16string& command_line,
                      const LaunchOptions& options) {
  if (ConflictsWithParent(options)) {
    LOG(ERROR) << "Cannot start " << command_line
               << ": another parent takes no handles, job or token of ours";
    SetLastError(ERROR_INVALID_PARAMETER);
    return Process();
  }
  StartupInformation startup_info;
  BOOL inherit = options.inherit_handles;
  DWORD flags = internal::GetLaunchCreationFlags(
      options, static_cast<int>(win::GetWindowsVersion()));
  if (!SetUpStartup(options, &startup_info, &inherit, &flags)) return Process();
  SetUpStartupRecord(options, startup_info.startup_info());
  PROCESS_INFORMATION temp_info = {};
  if (!CreateProcessForOptions(options, command_line, inherit, flags,
                               startup_info.startup_info(), &temp_info)) {
    PLOG(ERROR) << "Cannot start " << command_line;
    return Process();
  }
  ScopedProcessInformation process_info(temp_info);

  if (options.job_handle &&
      !AssignToJobAndResume(options.job_handle, process_info)) {
    return Process();
  }
  if (options.wait)
    WaitForSingleObject(process_info.process_handle(), INFINITE);
  return Process(process_info.TakeProcessHandle());
}

Process LaunchProcessFromCommandLine(const CommandLine& command_line,
                                     const LaunchOptions& options) {
  return LaunchProcess(command_line.GetCommandLineString(), options);
}

bool GetAppOutputInternal(const std::u16string& command_line,
                          bool include_stderr, std::string* output) {
  SECURITY_ATTRIBUTES security = {};
  security.nLength = sizeof(security);
  security.bInheritHandle = TRUE;
  HANDLE read_end = nullptr;
  HANDLE write_end = nullptr;
  if (!CreatePipe(&read_end, &write_end, &security, 0)) {
    PLOG(ERROR) << "CreatePipe failed";
    return false;
  }
  win::ScopedHandle scoped_read(read_end);
  win::ScopedHandle scoped_write(write_end);
  // Only the child's end may be inherited.
  if (!SetHandleInformation(read_end, HANDLE_FLAG_INHERIT, 0)) {
    PLOG(ERROR) << "SetHandleInformation failed";
    return false;
  }

  STARTUPINFOW startup_info = {};
  startup_info.cb = sizeof(startup_info);
  startup_info.dwFlags = STARTF_USESTDHANDLES;
  startup_info.hStdOutput = write_end;
  startup_info.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  startup_info.hStdError =
      include_stderr ? write_end : GetStdHandle(STD_ERROR_HANDLE);

  std::u16string writable_command_line = command_line;
  PROCESS_INFORMATION temp_info = {};
  if (!CreateProcessW(nullptr, as_writable_wcstr(writable_command_line),
                      nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                      &startup_info, &temp_info)) {
    PLOG(ERROR) << "Cannot start " << command_line;
    return false;
  }
  ScopedProcessInformation process_info(temp_info);
  // Otherwise the pipe never reports its end: this copy keeps it open.
  scoped_write.Close();

  char buffer[kOutputChunkBytes];
  DWORD bytes_read = 0;
  while (ReadFile(read_end, buffer, sizeof(buffer), &bytes_read, nullptr) &&
         bytes_read > 0) {
    output->append(buffer, bytes_read);
  }

  WaitForSingleObject(process_info.process_handle(), INFINITE);
  int exit_code = 0;
  const TerminationStatus status =
      GetTerminationStatus(process_info.process_handle(), &exit_code);
  return status != TERMINATION_STATUS_ABNORMAL_TERMINATION &&
         status != TERMINATION_STATUS_PROCESS_CRASHED &&
         status != TERMINATION_STATUS_UNKNOWN;
}

bool GetAppOutputFromCommandLine(const CommandLine& command_line,
                                 std::string* output) {
  return GetAppOutputInternal(command_line.GetCommandLineString(), false,
                              output);
}

bool CreateProcessRetryingInternalError(const wchar_t* application,
                                        wchar_t* command_line, BOOL inherit,
                                        DWORD flags, void* environment,
                                        const wchar_t* current_directory,
                                        STARTUPINFOW* startup_info,
                                        PROCESS_INFORMATION* process_info,
                                        HANDLE token) {
  constexpr int kAttempts = 3;
  constexpr DWORD kRetryMs = 200;
  for (int attempt = 1;; ++attempt) {
    const BOOL created =
        token ? CreateProcessAsUserW(token, application, command_line, nullptr,
                                     nullptr, inherit, flags, environment,
                                     current_directory, startup_info,
                                     process_info)
              : CreateProcessW(application, command_line, nullptr, nullptr,
                               inherit, flags, environment, current_directory,
                               startup_info, process_info);
    if (created) return true;
    if (GetLastError() != ERROR_INTERNAL_ERROR || attempt == kAttempts)
      return false;
    Sleep(kRetryMs);
  }
}

}  // namespace base
