#include "desktop/windows/crash_reporter/crash_handling_win.h"

#include <windows.h>
// Needs windows.h first.
#include <psapi.h>
#include <stdio.h>

#include <vector>

#include "base/files/file_util.h"
#include "base/logging.h"
#include "base/strings/string_util_win.h"
#include "base/strings/utf_string_conversions.h"
#include "base/win/scoped_handle.h"
#include "desktop/windows/crash_reporter/counter_file_writer.h"
#include "desktop/windows/crash_reporter/crash_file.h"
#include "desktop/windows/crash_reporter/crash_log_writer.h"
#include "desktop/windows/crash_reporter/crash_metadata_win.h"
#include "desktop/windows/crash_reporter/crash_reporter_features.h"
#include "desktop/windows/crash_reporter/crash_reporter_paths.h"
#include "desktop/windows/crash_reporter/minidump_writer_win.h"
#include "desktop/windows/crash_reporter/module_list.h"
#include "desktop/windows/crash_reporter/own_crash_log.h"
#include "desktop/windows/crash_reporter/process_reading_win.h"
#include "desktop/windows/crash_reporter/process_state_impl_win.h"
#include "desktop/windows/crash_reporter/scoped_log_capture.h"
#include "desktop/windows/crash_reporter/util/crash_upload.h"
#include "desktop/windows/crash_reporter/util/reporter_lifetime.h"

namespace crash_reporter {

namespace {

constexpr char kCrashLoggerHeading[] = "\nCrash Logger:\n";

// Freezes a process as a debugger for the scope's life. A failure is
// logged; the work goes on with the process running.
class ScopedDebugFreeze {
 public:
  explicit ScopedDebugFreeze(uint32_t pid) : pid_(pid) {
    frozen_ = DebugActiveProcess(pid);
    if (!frozen_) {
      PLOG(ERROR) << "DebugActiveProcess failed";
      return;
    }
    // Should this thread end before detaching, the process lives on.
    DebugSetProcessKillOnExit(FALSE);
  }
  ScopedDebugFreeze(const ScopedDebugFreeze&) = delete;
  ScopedDebugFreeze& operator=(const ScopedDebugFreeze&) = delete;
  ~ScopedDebugFreeze() {
    if (frozen_ && !DebugActiveProcessStop(pid_))
      PLOG(ERROR) << "DebugActiveProcessStop failed";
  }

 private:
  const uint32_t pid_;
  bool frozen_ = false;
};

// Holds one unit of the reporter's pending work for the scope's life.
class ScopedPendingWork {
 public:
  ScopedPendingWork() { ReporterLifetime::AddRef(); }
  ScopedPendingWork(const ScopedPendingWork&) = delete;
  ScopedPendingWork& operator=(const ScopedPendingWork&) = delete;
  ~ScopedPendingWork() { ReporterLifetime::Release(); }
};

// Appends what was logged while handling the crash to its text log.
void AppendCapturedLog(const base::FilePath& log_path,
                       ScopedLogCapture* capture) {
  if (capture->text().empty()) return;
  // The log this reporter has just written, and no other file a link at
  // its name might lead to.
  FILE* stream = OpenCrashFile(log_path, CrashFileMode::kAppend, true);
  if (!stream) {
    PLOG(ERROR) << "Could not append to the crash log " << log_path.value();
  } else {
    fputs(kCrashLoggerHeading, stream);
    fwrite(capture->text().data(), 1, capture->text().size(), stream);
    fclose(stream);
  }
  capture->Clear();
}

// Writes "<guid>=<location>" into the crash-id map file of crash |n|.
void RecordCrashLocation(const ResolvedCrashKeys& keys,
                         const std::u16string& location, uint32_t n) {
  std::u16string guid = keys.crash_guid.value_or(std::u16string());
  if (guid.empty() && GetCrashPaths().custom_log_folder)
    guid = kCrashGuidFallback;
  const base::FilePath map_path = GetCrashIdMapPath(n);
  if (guid.empty() || map_path.empty()) return;
  // A map of its own in the crash folder is new; the one in the user-data
  // folder is rewritten at every crash.
  FILE* stream =
      OpenCrashFile(map_path,
                    GetCrashPaths().custom_log_folder ? CrashFileMode::kCreate
                                                      : CrashFileMode::kReplace,
                    true);
  if (!stream) {
    PLOG(ERROR) << "Could not open the crash-id map " << map_path.value();
    return;
  }
  const std::string line =
      base::UTF16ToUTF8(guid) + "=" + base::UTF16ToUTF8(location);
  fwrite(line.data(), 1, line.size(), stream);
  fclose(stream);
}

// The base name of the process's image, from its device path.
std::u16string ImageName(HANDLE process) {
  char16_t path[MAX_PATH] = {};
  const DWORD length = GetProcessImageFileNameW(
      process, base::as_writable_wcstr(path), MAX_PATH);
  if (length == 0) {
    PLOG(ERROR) << "GetProcessImageFileName failed";
    return std::u16string();
  }
  return base::FilePath(std::u16string(path, length)).BaseName().value();
}

// A minidump of |process| through a temporary file, read into memory;
// empty when it could not be written.
std::string MinidumpInMemory(HANDLE process, uint32_t pid,
                             const SelfCrashRecord& record, uint64_t limit) {
  base::FilePath temp_file;
  std::string dump;
  if (!base::GetTempDir(&temp_file)) {
    LOG(ERROR) << "Could not create a file for the minidump";
    return dump;
  }
  // A new name: the dump is written only into a file it creates.
  temp_file = temp_file.Append(GetMinidumpFileName(0).value());
  if (WriteMinidumpFile(process, pid, record, temp_file, limit) &&
      !base::FileUtil::ReadFileToString(temp_file, &dump)) {
    LOG(ERROR) << "Could not read the minidump back";
    dump.clear();
  }
  base::DeleteFileOrDirectory(temp_file, false);
  return dump;
}

}  // namespace

bool WriteCrashLogForClient(ClientInfo* client, const std::u16string& modules,
                            const base::FilePath& log_path) {
  ScopedDebugFreeze freeze(client->pid());
  const CrashKeyEntries entries = client->GetCustomInfo();
  ProcessStateImpl state;
  if (!state.Capture(client->process_handle(), client->pid(),
                     client->exception_pointers_address(),
                     client->thread_id_address(), ParseModuleList(modules))) {
    LOG(ERROR) << "Could not take a snapshot of " << client->pid();
    return false;
  }
  CrashLogInfo info;
  BuildCrashLogMetadata(entries, &info);
  AddMemoryMetadata(state.working_set_size(), state.peak_working_set_size(),
                    state.private_usage(), &info);
  return CrashLogWriter().WriteToFile(&state, info, log_path);
}

bool WriteCrashLogForOwnCrash(HANDLE process, uint32_t pid,
                              uint64_t record_address,
                              const base::FilePath& log_path) {
  ScopedDebugFreeze freeze(pid);
  ProcessStateImpl state;
  if (!state.Capture(
          process, pid,
          record_address + offsetof(SelfCrashRecord, exception_pointers),
          record_address + offsetof(SelfCrashRecord, thread_id), {})) {
    LOG(ERROR) << "Could not take a snapshot of " << pid;
    return false;
  }
  CrashLogInfo info;
  BuildOwnCrashLogMetadata(&info);
  return CrashLogWriter().WriteToFile(&state, info, log_path);
}

bool WriteCrashLogWithEmbeddedMinidump(HANDLE process, uint32_t pid,
                                       uint64_t record_address,
                                       const base::FilePath& log_path,
                                       uint64_t limit) {
  const std::u16string image_name = ImageName(process);
  SelfCrashRecord record;
  if (!ReadProcessMemoryExactly(process, record_address, &record,
                                sizeof(record))) {
    PLOG(ERROR) << "Could not read the own-crash record of " << pid;
    return false;
  }
  // The exception first: the minidump takes long enough for the crashed
  // reporter's wait to run out, and the record goes with the process.
  EXCEPTION_POINTERS pointers = {};
  EXCEPTION_RECORD exception = {};
  if (!ReadProcessMemoryExactly(process, record.exception_pointers, &pointers,
                                sizeof(pointers)) ||
      !ReadProcessMemoryExactly(
          process, reinterpret_cast<uint64_t>(pointers.ExceptionRecord),
          &exception, sizeof(exception))) {
    exception.ExceptionCode = 0;
    exception.ExceptionAddress = nullptr;
  }
  const std::string dump = MinidumpInMemory(process, pid, record, limit);

  CrashLogInfo info;
  BuildOwnCrashLogMetadata(&info);
  FILE* stream = OpenCrashFile(log_path, CrashFileMode::kCreate, false);
  if (!stream) {
    PLOG(ERROR) << "Could not create the crash log " << log_path.value();
    return false;
  }
  const bool written = WriteOwnCrashLog(
      stream, info, image_name, exception.ExceptionCode,
      reinterpret_cast<uint64_t>(exception.ExceptionAddress), dump);
  return CloseCrashFile(stream, log_path, written);
}

void OnCrashDumpRequest(void* context, ClientInfo* client,
                        const std::u16string* dump_path) {
  const ReporterDumpContext* dump_context =
      static_cast<const ReporterDumpContext*>(context);
  ScopedPendingWork pending;
  ScopedLogCapture capture;
  LOG(INFO) << "Crash of " << client->pid();

  const CrashKeyEntries entries = client->GetCustomInfo();
  const ResolvedCrashKeys keys = ResolveCrashKeys(entries);
  if (dump_context->counters && keys.process_type) {
    dump_context->counters->Add(base::UTF16ToUTF8(*keys.process_type), 1,
                                /*wake=*/true);
  }

  const uint32_t n = IncrementCrashNumber();
  base::FilePath log_path = GetCrashLogFileName(n);
  if (!WriteCrashLogForClient(client, keys.modules, log_path)) return;

  // The client's own handle, opened at its registration, serves every read.
  base::FilePath minidump_path;
  if (CrashReporterFeatures::IsAlternativeCrashLoggingEnabled()) {
    minidump_path = GetMinidumpFileName(n);
    if (!WriteMinidumpForClient(client->process_handle(), client->pid(),
                                client->thread_id_address(),
                                client->exception_pointers_address(),
                                client->assertion_info_address(), minidump_path,
                                GetClientMinidumpSizeLimit())) {
      minidump_path = base::FilePath();
    }
  }
  AppendCapturedLog(log_path, &capture);

  std::u16string id;
  std::u16string location;
  if (CheckDuplicateCrash(keys.active_url, keys.origin, &id, &location,
                          kDuplicateCheckTimeoutMs) ==
      DuplicateCheckResult::kSkip) {
    if (!dump_context->keep_logs) base::DeleteFileOrDirectory(log_path, false);
    log_path = base::FilePath();
  }
  const bool delete_files = !dump_context->keep_logs;
  if (!log_path.empty()) {
    FormFields fields;
    AddTextLogFields(keys, &fields);
    AddStacktraceIdField(id, &fields);
    if (!UploadCrashLogAsync(log_path, fields, delete_files)) location.clear();
  }
  if (!minidump_path.empty()) {
    FormFields fields;
    AddMinidumpFields(client->process_handle(), entries, keys, &fields);
    UploadMinidumpAsync(minidump_path, fields, delete_files);
  }
  if (!location.empty()) RecordCrashLocation(keys, location, n);
}

}  // namespace crash_reporter
