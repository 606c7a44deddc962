#include "desktop/windows/crash_reporter/test/crash_test_util_win.h"

#include <dbghelp.h>

#include <sstream>

#include "base/command_line.h"
#include "base/files/file_path.h"
#include "base/strings/string_number_conversions.h"
#include "base/strings/string_util_win.h"
#include "base/strings/utf_string_conversions.h"
#include "base/test/child_process_win.h"
#include "base/win/scoped_handle.h"
#include "desktop/windows/crash_reporter/test/crash_client_test_host_switches.h"

namespace crash_reporter {
namespace test {

namespace {

template <typename T>
bool ReadRemote(HANDLE process, uint64_t address, T* value) {
  SIZE_T read = 0;
  return ReadProcessMemory(
             process,
             reinterpret_cast<const void*>(static_cast<uintptr_t>(address)),
             value, sizeof(T), &read) &&
         read == sizeof(T);
}

}  // namespace

std::vector<unsigned long long> HostRun::Values(const char* label) const {
  std::vector<unsigned long long> values;
  std::istringstream lines(output);
  std::string line;
  const std::string prefix = std::string(label) + " ";
  while (std::getline(lines, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    uint64_t value = 0;
    if (line.compare(0, prefix.size(), prefix) == 0 &&
        base::StringToUint64(line.substr(prefix.size()), &value)) {
      values.push_back(value);
    }
  }
  return values;
}

unsigned long long HostRun::Value(const char* label,
                                  unsigned long long missing) const {
  const std::vector<unsigned long long> values = Values(label);
  return values.empty() ? missing : values.front();
}

std::u16string HostCommandLine(const Switches& switches) {
  base::CommandLine command_line(base::FilePath::FromUTF16(
      base::GetTestExecutableFolder() + kHostFileName));
  for (const auto& [name, value] : switches) {
    if (value.empty()) {
      command_line.AppendSwitch(name);
    } else {
      command_line.AppendSwitchASCII(name, value);
    }
  }
  return command_line.GetCommandLineString();
}

HostRun RunHost(
    const Switches& switches,
    const std::vector<std::pair<std::u16string, std::u16string>>& environment) {
  HostRun run;
  run.started = base::RunChildProcess(HostCommandLine(switches), environment,
                                      &run.output, &run.exit_code);
  return run;
}

std::u16string JoinedCrashKeyValue(const std::vector<CrashKeyEntry>& keys,
                                   const char16_t* name) {
  std::u16string value;
  for (const CrashKeyEntry& entry : keys) {
    if (std::u16string(entry.name) == name) value += entry.value;
  }
  return value;
}

CrashRecorder::CrashRecorder(bool write_minidumps)
    : write_minidumps_(write_minidumps) {
  if (write_minidumps_) dump_folder_.CreateUniqueTempDir();
}

CrashRecorder::~CrashRecorder() = default;

// static
void CrashRecorder::OnDumpRequest(void* context, ClientInfo* client,
                                  const std::u16string* dump_path) {
  static_cast<CrashRecorder*>(context)->Record(client);
}

std::vector<ReportedCrash> CrashRecorder::crashes() const {
  base::AutoLock hold(lock_);
  return crashes_;
}

void CrashRecorder::Record(ClientInfo* client) {
  ReportedCrash crash;
  crash.pid = client->pid();
  HANDLE process = client->process_handle();
  ReadRemote(process, client->thread_id_address(), &crash.thread_id);
  uint64_t exception_pointers = 0;
  EXCEPTION_POINTERS pointers = {};
  EXCEPTION_RECORD record = {};
  if (ReadRemote(process, client->exception_pointers_address(),
                 &exception_pointers) &&
      ReadRemote(process, exception_pointers, &pointers) &&
      ReadRemote(process, reinterpret_cast<uintptr_t>(pointers.ExceptionRecord),
                 &record)) {
    crash.exception_code = record.ExceptionCode;
  }
  ReadRemote(process, client->assertion_info_address(), &crash.assertion);
  const CrashKeyEntries keys = client->GetCustomInfo();
  crash.keys.assign(keys.entries, keys.entries + keys.count);
  if (write_minidumps_) ReadBackMinidump(client, exception_pointers, &crash);
  base::AutoLock hold(lock_);
  crashes_.push_back(std::move(crash));
}

void CrashRecorder::ReadBackMinidump(ClientInfo* client,
                                     uint64_t exception_pointers,
                                     ReportedCrash* crash) {
  const base::FilePath path = dump_folder_.GetPath().AppendASCII(
      "crash-" + base::UintToString(client->pid()) + ".dmp");
  base::win::ScopedHandle file(
      CreateFileW(base::as_wcstr(path.value()), GENERIC_READ | GENERIC_WRITE, 0,
                  nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.IsValid()) return;
  MINIDUMP_EXCEPTION_INFORMATION exception = {};
  exception.ThreadId = crash->thread_id;
  exception.ExceptionPointers = reinterpret_cast<EXCEPTION_POINTERS*>(
      static_cast<uintptr_t>(exception_pointers));
  exception.ClientPointers = TRUE;
  if (!MiniDumpWriteDump(client->process_handle(), client->pid(), file.Get(),
                         MiniDumpNormal, &exception, nullptr, nullptr)) {
    return;
  }
  base::win::ScopedHandle mapping(
      CreateFileMappingW(file.Get(), nullptr, PAGE_READONLY, 0, 0, nullptr));
  if (!mapping.IsValid()) return;
  void* view = MapViewOfFile(mapping.Get(), FILE_MAP_READ, 0, 0, 0);
  if (!view) return;
  MINIDUMP_DIRECTORY* directory = nullptr;
  void* stream = nullptr;
  ULONG stream_size = 0;
  if (MiniDumpReadDumpStream(view, ExceptionStream, &directory, &stream,
                             &stream_size) &&
      stream_size >= sizeof(MINIDUMP_EXCEPTION_STREAM)) {
    const auto* exception_stream =
        static_cast<const MINIDUMP_EXCEPTION_STREAM*>(stream);
    crash->dump_read = true;
    crash->dump_thread_id = exception_stream->ThreadId;
    crash->dump_exception_code =
        exception_stream->ExceptionRecord.ExceptionCode;
  }
  UnmapViewOfFile(view);
}

}  // namespace test
}  // namespace crash_reporter
