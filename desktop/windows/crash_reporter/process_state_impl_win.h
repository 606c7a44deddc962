// ProcessStateImpl: the snapshot of a crashed (and frozen) process: its
// exception, the crashed thread first and then every other thread, its
// modules with the main module, and its memory counters. Reads the process
// through the debugging APIs, ToolHelp and psapi.
//
// Captured once by one thread, then read by the crash log writer. Failures
// of single modules or threads only leave them out or leave fields empty;
// only failing to open the process or to read the exception pointers, the
// exception record or the context fails the capture.

#ifndef DESKTOP_WINDOWS_CRASH_REPORTER_PROCESS_STATE_IMPL_WIN_H_
#define DESKTOP_WINDOWS_CRASH_REPORTER_PROCESS_STATE_IMPL_WIN_H_

#include <windows.h>
// Needs windows.h first.
#include <tlhelp32.h>

#include <memory>
#include <string>
#include <vector>

#include "base/win/scoped_handle.h"
#include "desktop/windows/crash_reporter/module_list.h"
#include "desktop/windows/crash_reporter/process_state.h"

namespace crash_reporter {

// Reads another process's memory into a buffer of its own.
class ProcessMemoryReaderImpl : public ProcessMemoryReader {
 public:
  // Failed reads logged at most; the last of them also says so.
  static constexpr int kMaxLoggedFailures = 100;

  // |process| is not owned and must outlive the reader.
  explicit ProcessMemoryReaderImpl(HANDLE process);
  ProcessMemoryReaderImpl(const ProcessMemoryReaderImpl&) = delete;
  ProcessMemoryReaderImpl& operator=(const ProcessMemoryReaderImpl&) = delete;
  ~ProcessMemoryReaderImpl() override;

  // ProcessMemoryReader:
  const uint8_t* Read(uint64_t address, size_t size,
                      size_t* bytes_read) override;

 private:
  const HANDLE process_;
  std::unique_ptr<uint8_t[]> buffer_;
  size_t capacity_ = 0;
  int failures_ = 0;
};

class ProcessStateImpl : public ProcessState {
 public:
  // CreateToolhelp32Snapshot's signature; replaceable in tests.
  using SnapshotFunction = HANDLE(WINAPI*)(DWORD flags, DWORD pid);
  static constexpr int kModuleSnapshotAttempts = 10;

  explicit ProcessStateImpl(
      SnapshotFunction create_snapshot = &CreateToolhelp32Snapshot);
  ProcessStateImpl(const ProcessStateImpl&) = delete;
  ProcessStateImpl& operator=(const ProcessStateImpl&) = delete;
  ~ProcessStateImpl() override;

  // Snapshots process |pid|. The two addresses lie in that process: the
  // variable holding its EXCEPTION_POINTERS address, and the 32-bit id of
  // its crashed thread. |fallback_modules| stand in when the process's own
  // module list cannot be read. Opens the process for reading.
  bool Capture(uint32_t pid, uint64_t exception_pointers_address,
               uint64_t thread_id_address,
               const std::vector<ModuleListRecord>& fallback_modules);
  // The same through |process|, a handle to |pid| with at least
  // PROCESS_QUERY_INFORMATION and PROCESS_VM_READ that the caller already
  // holds; it is not owned and must outlive the snapshot.
  bool Capture(HANDLE process, uint32_t pid,
               uint64_t exception_pointers_address, uint64_t thread_id_address,
               const std::vector<ModuleListRecord>& fallback_modules);

  // The process's memory counters; 0 when they could not be read.
  uint64_t working_set_size() const { return working_set_size_; }
  uint64_t peak_working_set_size() const { return peak_working_set_size_; }
  uint64_t private_usage() const { return private_usage_; }
  // The image path, with a drive letter when it could be mapped.
  const std::u16string& image_path() const { return image_path_; }

  // ProcessState:
  bool IsAddressReadable(uint64_t address) override;
  uint32_t GetExceptionCode() const override { return exception_code_; }
  uint64_t GetExceptionAddress() const override { return exception_address_; }
  const ThreadList& GetThreads() const override { return threads_; }
  const ModuleInfo* GetMainModule() const override { return main_module_; }
  const ModuleList& GetModules() const override { return modules_; }
  std::unique_ptr<ProcessMemoryReader> CreateMemoryReader() override;

 private:
  void ReadMemoryCounters();
  void ReadImagePath();
  void ReadModules(uint32_t pid,
                   const std::vector<ModuleListRecord>& fallback_modules);
  void AddModule(const std::u16string& name, const std::u16string& path,
                 uint64_t base, uint32_t size, bool is_main);
  bool ReadException(uint64_t exception_pointers_address, CONTEXT* context);
  void AddCrashedThread(uint64_t thread_id_address, const CONTEXT& context);
  void AddOtherThreads(uint32_t pid);
  // Reads exactly |size| bytes at |address|.
  bool ReadExactly(uint64_t address, void* data, size_t size);

  const SnapshotFunction create_snapshot_;
  // Set when Capture opened the process itself.
  base::win::ScopedHandle opened_process_;
  HANDLE process_ = nullptr;
  const ModuleInfo* main_module_ = nullptr;
  ModuleList modules_;
  ThreadList threads_;
  uint32_t crashed_thread_id_ = 0;
  uint32_t exception_code_ = 0;
  uint64_t exception_address_ = 0;
  uint64_t working_set_size_ = 0;
  uint64_t peak_working_set_size_ = 0;
  uint64_t private_usage_ = 0;
  std::u16string image_path_;
};

// |device_path| ("\Device\HarddiskVolume1\dir\file") with its device
// replaced by the drive letter that QueryDosDeviceW maps to it, when a
// logical drive's device is a component-wise ancestor of it; else the path
// unchanged (the drives are logged).
std::u16string ConvertDevicePathToDrivePath(const std::u16string& device_path);

}  // namespace crash_reporter

#endif  // DESKTOP_WINDOWS_CRASH_REPORTER_PROCESS_STATE_IMPL_WIN_H_
