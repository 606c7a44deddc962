#include "desktop/windows/crash_reporter/client_info_win.h"

#include "base/strings/string_number_conversions.h"

namespace crash_reporter {

namespace {

constexpr uint64_t kFileTimeUnitsPerMillisecond = 10000;

uint64_t FileTimeToUint64(const FILETIME& time) {
  return (uint64_t{time.dwHighDateTime} << 32) | time.dwLowDateTime;
}

uint64_t Now() {
  FILETIME now;
  GetSystemTimeAsFileTime(&now);
  return FileTimeToUint64(now);
}

}  // namespace

ClientInfo::ClientInfo(CrashGenerationServer* server,
                       const ProtocolMessage& request)
    : server_(server),
      pid_(request.id),
      dump_type_(request.dump_type),
      thread_id_address_(request.thread_id_address),
      exception_pointers_address_(request.exception_pointers_address),
      assertion_info_address_(request.assertion_info_address),
      custom_info_address_(request.custom_info_entries_address),
      custom_info_count_(request.custom_info_count) {}

ClientInfo::~ClientInfo() {
  // Both waits before the handles they watch close.
  UnregisterProcessExitWait();
  UnregisterDumpRequestWait();
}

bool ClientInfo::Initialize() {
  process_.Set(OpenProcess(GENERIC_ALL, FALSE, pid_));
  if (!process_.IsValid()) return false;
  FILETIME creation, exit, kernel, user;
  start_time_ =
      GetProcessTimes(process_.Get(), &creation, &exit, &kernel, &user)
          ? FileTimeToUint64(creation)
          : Now();
  dump_requested_.Set(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  dump_generated_.Set(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  return dump_requested_.IsValid() && dump_generated_.IsValid();
}

bool ClientInfo::PopulateCustomInfo() {
  if (custom_info_count_ > kMaxCustomInfoEntries) return false;
  const size_t count = static_cast<size_t>(custom_info_count_);
  if (!custom_info_) {
    custom_info_ = std::make_unique<CrashKeyEntry[]>(count + 1);
    SetCrashKeyNames(custom_info_.get(), count, count, kProcessUptimeKey);
  }
  if (count > 0) {
    SIZE_T read = 0;
    const SIZE_T size = count * sizeof(CrashKeyEntry);
    if (!ReadProcessMemory(process_.Get(),
                           reinterpret_cast<const void*>(
                               static_cast<uintptr_t>(custom_info_address_)),
                           custom_info_.get(), size, &read) ||
        read != size) {
      return false;
    }
  }
  const uint64_t now = Now();
  const uint64_t uptime_ms =
      now > start_time_ ? (now - start_time_) / kFileTimeUnitsPerMillisecond
                        : 0;
  SetCrashKeyValue(&custom_info_[count],
                   base::Uint64ToString16(uptime_ms).c_str());
  return true;
}

CrashKeyEntries ClientInfo::GetCustomInfo() const {
  if (!custom_info_) return CrashKeyEntries();
  return CrashKeyEntries{custom_info_.get(),
                         static_cast<size_t>(custom_info_count_) + 1};
}

bool ClientInfo::IsProcessAlive() const {
  return WaitForSingleObject(process_.Get(), 0) == WAIT_TIMEOUT;
}

void ClientInfo::UnregisterDumpRequestWait() {
  dump_request_wait_.Unregister();
}

void ClientInfo::UnregisterProcessExitWait() {
  process_exit_wait_.Unregister();
}

void ClientInfo::UnregisterProcessExitWaitFromItsCallback() {
  process_exit_wait_.UnregisterFromItsCallback();
}

}  // namespace crash_reporter
