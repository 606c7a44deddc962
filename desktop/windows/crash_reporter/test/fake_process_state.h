// FakeProcessState: a ProcessState over memory, threads and modules that a
// test lays out, for the crash log writer's tests.
//
// Memory is a set of readable regions; a read succeeds only when every byte
// it asks for lies in one region, as a read across an unreadable page does
// in a real process.

#ifndef DESKTOP_WINDOWS_CRASH_REPORTER_TEST_FAKE_PROCESS_STATE_H_
#define DESKTOP_WINDOWS_CRASH_REPORTER_TEST_FAKE_PROCESS_STATE_H_

#include <stdint.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "desktop/windows/crash_reporter/process_state.h"
#include "desktop/windows/crash_reporter/thread_info_impl.h"

namespace crash_reporter {

// A module with fixed fields.
class FakeModule : public ModuleInfo {
 public:
  FakeModule(std::string name, uint64_t base, uint32_t size, uint64_t code_end,
             std::string version = "", uint32_t timestamp = 0);

  std::string GetName() const override { return name_; }
  uint64_t GetBaseAddress() const override { return base_; }
  uint32_t GetSize() const override { return size_; }
  uint64_t GetStartAddress() const override { return base_; }
  uint64_t GetCodeEnd() const override { return code_end_; }
  std::string GetVersion() const override { return version_; }
  uint32_t GetTimestamp() const override { return timestamp_; }

 private:
  std::string name_;
  uint64_t base_;
  uint32_t size_;
  uint64_t code_end_;
  std::string version_;
  uint32_t timestamp_;
};

class FakeProcessState : public ProcessState {
 public:
  FakeProcessState();
  ~FakeProcessState() override;

  // Makes [address, address + bytes.size()) readable with these bytes.
  void AddMemory(uint64_t address, std::vector<uint8_t> bytes);
  // The same with 64-bit words.
  void AddWords(uint64_t address, const std::vector<uint64_t>& words);
  void AddThread(uint32_t id, const RegisterSet& registers, uint64_t stack_size,
                 bool crashed, int32_t priority = 0);
  // Returns the module; |main| makes it the main module.
  const ModuleInfo* AddModule(std::unique_ptr<ModuleInfo> module,
                              bool main = false);
  void SetException(uint32_t code, uint64_t address) {
    exception_code_ = code;
    exception_address_ = address;
  }
  // Without a reader, the writer cannot read memory at all.
  void set_reader_available(bool available) { reader_available_ = available; }

  // Reads of the bytes at [address, address + size) in one region.
  const uint8_t* Find(uint64_t address, size_t size) const;

  // ProcessState:
  bool IsAddressReadable(uint64_t address) override;
  uint32_t GetExceptionCode() const override { return exception_code_; }
  uint64_t GetExceptionAddress() const override { return exception_address_; }
  const ThreadList& GetThreads() const override { return threads_; }
  const ModuleInfo* GetMainModule() const override { return main_module_; }
  const ModuleList& GetModules() const override { return modules_; }
  std::unique_ptr<ProcessMemoryReader> CreateMemoryReader() override;

 private:
  std::map<uint64_t, std::vector<uint8_t>> memory_;
  ThreadList threads_;
  ModuleList modules_;
  const ModuleInfo* main_module_ = nullptr;
  uint32_t exception_code_ = 0;
  uint64_t exception_address_ = 0;
  bool reader_available_ = true;
};

}  // namespace crash_reporter

#endif  // DESKTOP_WINDOWS_CRASH_REPORTER_TEST_FAKE_PROCESS_STATE_H_
