#include "desktop/windows/crash_reporter/process_state_impl_win.h"

#include <psapi.h>

#include <utility>

#include "base/files/file_path.h"
#include "base/logging.h"
#include "base/strings/string_util_win.h"
#include "base/strings/stringprintf.h"
#include "desktop/windows/crash_reporter/module_info_impl.h"
#include "desktop/windows/crash_reporter/process_reading_win.h"
#include "desktop/windows/crash_reporter/thread_info_impl.h"
#include "desktop/windows/crash_reporter/thread_info_impl_win.h"

namespace crash_reporter {

namespace {

// The smallest thread entry that still holds the owning process's id.
constexpr DWORD kMinThreadEntrySize =
    offsetof(THREADENTRY32, th32OwnerProcessID) + sizeof(DWORD);
constexpr DWORD kThreadContextFlags =
    CONTEXT_CONTROL | CONTEXT_INTEGER | CONTEXT_FLOATING_POINT;
constexpr int kThreadPriorityError = 0x7FFFFFFF;

std::string Hex(uint64_t value) {
  return base::StringPrintf("%llx", static_cast<unsigned long long>(value));
}

// True when |ancestor| names |path| or a folder above it, comparing whole
// components without regard to case.
bool IsComponentAncestor(const std::u16string& ancestor,
                         const std::u16string& path) {
  if (ancestor.empty() || ancestor.size() > path.size()) return false;
  if (base::FilePath::CompareIgnoreCase(
          ancestor, base::StringPiece16(path).substr(0, ancestor.size())) != 0)
    return false;
  return ancestor.size() == path.size() || path[ancestor.size()] == u'\\';
}

int ThreadPriority(HANDLE thread, uint32_t id) {
  const int priority = GetThreadPriority(thread);
  if (priority == kThreadPriorityError) {
    PLOG(ERROR) << "GetThreadPriority failed for 0x" << Hex(id);
    return 0;
  }
  return priority;
}

}  // namespace

// --- ProcessMemoryReaderImpl

ProcessMemoryReaderImpl::ProcessMemoryReaderImpl(HANDLE process)
    : process_(process) {}

ProcessMemoryReaderImpl::~ProcessMemoryReaderImpl() = default;

const uint8_t* ProcessMemoryReaderImpl::Read(uint64_t address, size_t size,
                                             size_t* bytes_read) {
  if (size > capacity_) {
    buffer_.reset();
    capacity_ = 0;
    buffer_.reset(new (std::nothrow) uint8_t[size]);
    if (!buffer_) return nullptr;
    capacity_ = size;
  }
  SIZE_T read = 0;
  ReadProcessMemory(process_, reinterpret_cast<const void*>(address),
                    buffer_.get(), size, &read);
  // A partial read reports failure with the bytes it did read.
  if (read > 0) {
    *bytes_read = read;
    return buffer_.get();
  }
  const DWORD error = GetLastError();
  if (++failures_ <= kMaxLoggedFailures) {
    LOG(ERROR) << "ReadProcessMemory failed for address 0x" << Hex(address)
               << " and size " << size << ", bytes_read=" << read << ": "
               << logging::SystemErrorCodeToString(error);
    if (failures_ == kMaxLoggedFailures)
      LOG(INFO) << "Reached limit of logged memory read errors";
  }
  return nullptr;
}

// --- ProcessStateImpl

ProcessStateImpl::ProcessStateImpl(SnapshotFunction create_snapshot)
    : create_snapshot_(create_snapshot) {}

ProcessStateImpl::~ProcessStateImpl() = default;

bool ProcessStateImpl::Capture(
    uint32_t pid, uint64_t exception_pointers_address,
    uint64_t thread_id_address,
    const std::vector<ModuleListRecord>& fallback_modules) {
  opened_process_ = OpenProcessForReading(pid);
  if (!opened_process_.IsValid()) return false;
  return Capture(opened_process_.Get(), pid, exception_pointers_address,
                 thread_id_address, fallback_modules);
}

bool ProcessStateImpl::Capture(
    HANDLE process, uint32_t pid, uint64_t exception_pointers_address,
    uint64_t thread_id_address,
    const std::vector<ModuleListRecord>& fallback_modules) {
  if (!process) return false;
  process_ = process;
  ReadMemoryCounters();
  ReadImagePath();
  ReadModules(pid, fallback_modules);

  alignas(16) CONTEXT context = {};
  if (!ReadException(exception_pointers_address, &context)) return false;
  AddCrashedThread(thread_id_address, context);
  AddOtherThreads(pid);
  return true;
}

void ProcessStateImpl::ReadMemoryCounters() {
  PROCESS_MEMORY_COUNTERS_EX counters = {};
  counters.cb = sizeof(counters);
  if (!GetProcessMemoryInfo(
          process_, reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters),
          sizeof(counters))) {
    PLOG(ERROR) << "GetProcessMemoryInfo failed";
    return;
  }
  working_set_size_ = counters.WorkingSetSize;
  peak_working_set_size_ = counters.PeakWorkingSetSize;
  private_usage_ = counters.PrivateUsage;
}

void ProcessStateImpl::ReadImagePath() {
  char16_t path[MAX_PATH] = {};
  const DWORD length = GetProcessImageFileNameW(
      process_, base::as_writable_wcstr(path), MAX_PATH);
  if (length == 0) {
    PLOG(ERROR) << "GetProcessImageFileName failed";
    return;
  }
  image_path_ = ConvertDevicePathToDrivePath(std::u16string(path, length));
}

void ProcessStateImpl::ReadModules(
    uint32_t pid, const std::vector<ModuleListRecord>& fallback_modules) {
  std::vector<std::u16string> paths;
  base::win::ScopedHandle snapshot;
  for (int retries_left = kModuleSnapshotAttempts - 1; retries_left >= 0;
       --retries_left) {
    snapshot.Set(create_snapshot_(TH32CS_SNAPMODULE, pid));
    if (snapshot.IsValid()) break;
    const DWORD error = GetLastError();
    LOG(ERROR) << "TH32CS_SNAPMODULE failed, retries_left=" << retries_left
               << ": " << logging::SystemErrorCodeToString(error);
    if (error != ERROR_BAD_LENGTH) break;
  }
  if (snapshot.IsValid()) {
    MODULEENTRY32W entry = {};
    entry.dwSize = sizeof(entry);
    if (!Module32FirstW(snapshot.Get(), &entry)) {
      PLOG(ERROR) << "Module32First failed";
    } else {
      do {
        const std::u16string path(
            reinterpret_cast<const char16_t*>(entry.szExePath));
        const bool is_main =
            !main_module_ && !image_path_.empty() &&
            base::FilePath::CompareIgnoreCase(path, image_path_) == 0;
        AddModule(reinterpret_cast<const char16_t*>(entry.szModule), path,
                  reinterpret_cast<uint64_t>(entry.modBaseAddr),
                  entry.modBaseSize, is_main);
        paths.push_back(path);
        entry.dwSize = sizeof(entry);
      } while (Module32NextW(snapshot.Get(), &entry));
    }
  }
  if (modules_.empty()) {
    LOG(INFO) << "Using fallback modules";
    for (const ModuleListRecord& record : fallback_modules) {
      const bool is_main =
          !main_module_ && !image_path_.empty() &&
          base::FilePath::CompareIgnoreCase(record.path, image_path_) == 0;
      AddModule(record.name, record.path, record.base,
                static_cast<uint32_t>(record.size), is_main);
      paths.push_back(record.path);
    }
  }
  if (!main_module_ && !image_path_.empty()) {
    LOG(WARNING) << "Couldn't find main module for '" << image_path_ << "'";
    for (const std::u16string& path : paths)
      LOG(WARNING) << "Module path: " << path;
  }
}

void ProcessStateImpl::AddModule(const std::u16string& name,
                                 const std::u16string& path, uint64_t base,
                                 uint32_t size, bool is_main) {
  if (name.empty()) LOG(WARNING) << "Module " << path << " has no name";
  auto module = std::make_unique<ModuleInfoImpl>(name, base, size);
  base::win::ScopedHandle file(CreateFileW(base::as_wcstr(path), GENERIC_READ,
                                           FILE_SHARE_READ, nullptr,
                                           OPEN_EXISTING, 0, nullptr));
  if (file.IsValid())
    module->ReadImageFile(file.Get());
  else
    PLOG(ERROR) << "CreateFile failed for " << path;
  if (is_main) main_module_ = module.get();
  modules_.push_back(std::move(module));
}

bool ProcessStateImpl::ReadExactly(uint64_t address, void* data, size_t size) {
  if (ReadProcessMemoryExactly(process_, address, data, size)) return true;
  PLOG(ERROR) << "ReadProcessMemory failed for address 0x" << Hex(address)
              << " and size " << size;
  return false;
}

bool ProcessStateImpl::ReadException(uint64_t exception_pointers_address,
                                     CONTEXT* context) {
  uint64_t pointers_address = 0;
  EXCEPTION_POINTERS pointers = {};
  uint64_t exception_address = 0;
  if (!ReadExactly(exception_pointers_address, &pointers_address,
                   sizeof(pointers_address)) ||
      !ReadExactly(pointers_address, &pointers, sizeof(pointers))) {
    return false;
  }
  const uint64_t record = reinterpret_cast<uint64_t>(pointers.ExceptionRecord);
  if (!ReadExactly(record + offsetof(EXCEPTION_RECORD, ExceptionCode),
                   &exception_code_, sizeof(exception_code_)) ||
      !ReadExactly(record + offsetof(EXCEPTION_RECORD, ExceptionAddress),
                   &exception_address, sizeof(exception_address)) ||
      !ReadExactly(reinterpret_cast<uint64_t>(pointers.ContextRecord), context,
                   sizeof(*context))) {
    return false;
  }
  exception_address_ = exception_address;
  return true;
}

void ProcessStateImpl::AddCrashedThread(uint64_t thread_id_address,
                                        const CONTEXT& context) {
  if (!ReadExactly(thread_id_address, &crashed_thread_id_,
                   sizeof(crashed_thread_id_))) {
    LOG(WARNING) << "Could not read ID of crashed thread";
    crashed_thread_id_ = 0;
  }
  int priority = 0;
  base::win::ScopedHandle thread(
      OpenThread(THREAD_QUERY_INFORMATION, FALSE, crashed_thread_id_));
  if (thread.IsValid())
    priority = ThreadPriority(thread.Get(), crashed_thread_id_);
  threads_.push_back(std::make_unique<ThreadInfoImpl>(
      crashed_thread_id_, priority, RegisterSetFromContext(context),
      GetStackSizeInUse(process_, context.Rsp), /*crashed=*/true));
}

void ProcessStateImpl::AddOtherThreads(uint32_t pid) {
  base::win::ScopedHandle snapshot(create_snapshot_(TH32CS_SNAPTHREAD, 0));
  if (!snapshot.IsValid()) {
    PLOG(ERROR) << "TH32CS_SNAPTHREAD failed";
    return;
  }
  THREADENTRY32 entry = {};
  entry.dwSize = sizeof(entry);
  for (BOOL more = Thread32First(snapshot.Get(), &entry); more;
       entry.dwSize = sizeof(entry),
            more = Thread32Next(snapshot.Get(), &entry)) {
    if (entry.dwSize < kMinThreadEntrySize) {
      LOG(ERROR) << "Thread32First failed, te.dwSize=" << entry.dwSize
                 << ", min size=" << kMinThreadEntrySize;
      return;
    }
    if (entry.th32OwnerProcessID != pid ||
        entry.th32ThreadID == crashed_thread_id_) {
      continue;
    }
    const uint32_t id = entry.th32ThreadID;
    base::win::ScopedHandle thread(
        OpenThread(THREAD_GET_CONTEXT | THREAD_QUERY_INFORMATION, FALSE, id));
    if (!thread.IsValid()) {
      PLOG(ERROR) << "OpenThread failed for 0x" << Hex(id);
      continue;
    }
    alignas(16) CONTEXT context = {};
    context.ContextFlags = kThreadContextFlags;
    if (!GetThreadContext(thread.Get(), &context)) {
      PLOG(ERROR) << "GetThreadContext failed for 0x" << Hex(id);
      continue;
    }
    threads_.push_back(std::make_unique<ThreadInfoImpl>(
        id, ThreadPriority(thread.Get(), id), RegisterSetFromContext(context),
        GetStackSizeInUse(process_, context.Rsp), /*crashed=*/false));
  }
}

bool ProcessStateImpl::IsAddressReadable(uint64_t address) {
  uint8_t byte;
  SIZE_T read = 0;
  return process_ &&
         ReadProcessMemory(process_, reinterpret_cast<const void*>(address),
                           &byte, 1, &read) &&
         read == 1;
}

std::unique_ptr<ProcessMemoryReader> ProcessStateImpl::CreateMemoryReader() {
  if (!process_) return nullptr;
  return std::make_unique<ProcessMemoryReaderImpl>(process_);
}

std::u16string ConvertDevicePathToDrivePath(const std::u16string& device_path) {
  char16_t drives[512] = {};
  const DWORD length = GetLogicalDriveStringsW(std::size(drives) - 1,
                                               base::as_writable_wcstr(drives));
  if (length == 0) {
    PLOG(ERROR) << "GetLogicalDriveStrings failed";
    return device_path;
  }
  if (length >= std::size(drives) - 1) {
    LOG(ERROR) << "GetLogicalDriveStrings failed, result=" << length
               << ", length=" << std::size(drives) - 1;
    return device_path;
  }
  struct Drive {
    std::u16string letter;  // "C:"
    std::u16string device;  // "\Device\HarddiskVolume1"
  };
  std::vector<Drive> mapped;
  for (const char16_t* drive = drives; *drive;
       drive += std::char_traits<char16_t>::length(drive) + 1) {
    const std::u16string text(drive);
    if (text.size() != 3 || text[1] != u':' || text[2] != u'\\') {
      LOG(WARNING) << "GetDeviceName: '" << text << "'";
      continue;
    }
    const std::u16string letter = text.substr(0, 2);
    char16_t device[MAX_PATH] = {};
    if (!QueryDosDeviceW(base::as_wcstr(letter),
                         base::as_writable_wcstr(device), MAX_PATH)) {
      PLOG(ERROR) << "QueryDosDevice failed for '" << letter << "' (from '"
                  << text << "')";
      continue;
    }
    mapped.push_back({letter, device});
    if (IsComponentAncestor(mapped.back().device, device_path))
      return letter + device_path.substr(mapped.back().device.size());
  }
  LOG(WARNING) << "Could not convert process image file name '" << device_path
               << "'";
  for (const Drive& drive : mapped) {
    LOG(INFO) << "Logical drive: " << drive.letter;
    LOG(INFO) << "Device name: " << drive.device;
  }
  return device_path;
}

}  // namespace crash_reporter
