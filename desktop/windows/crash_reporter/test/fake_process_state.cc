#include "desktop/windows/crash_reporter/test/fake_process_state.h"

#include <string.h>

#include <iterator>
#include <utility>

namespace crash_reporter {

namespace {

class FakeMemoryReader : public ProcessMemoryReader {
 public:
  explicit FakeMemoryReader(const FakeProcessState* state) : state_(state) {}

  const uint8_t* Read(uint64_t address, size_t size,
                      size_t* bytes_read) override {
    const uint8_t* bytes = state_->Find(address, size);
    if (!bytes || size == 0) return nullptr;
    buffer_.assign(bytes, bytes + size);
    *bytes_read = size;
    return buffer_.data();
  }

 private:
  const FakeProcessState* const state_;
  std::vector<uint8_t> buffer_;
};

}  // namespace

FakeModule::FakeModule(std::string name, uint64_t base, uint32_t size,
                       uint64_t code_end, std::string version,
                       uint32_t timestamp)
    : name_(std::move(name)),
      base_(base),
      size_(size),
      code_end_(code_end),
      version_(std::move(version)),
      timestamp_(timestamp) {}

FakeProcessState::FakeProcessState() = default;

FakeProcessState::~FakeProcessState() = default;

void FakeProcessState::AddMemory(uint64_t address, std::vector<uint8_t> bytes) {
  memory_[address] = std::move(bytes);
}

void FakeProcessState::AddWords(uint64_t address,
                                const std::vector<uint64_t>& words) {
  std::vector<uint8_t> bytes(words.size() * 8);
  if (!words.empty()) memcpy(bytes.data(), words.data(), bytes.size());
  AddMemory(address, std::move(bytes));
}

void FakeProcessState::AddThread(uint32_t id, const RegisterSet& registers,
                                 uint64_t stack_size, bool crashed,
                                 int32_t priority) {
  threads_.push_back(std::make_unique<ThreadInfoImpl>(id, priority, registers,
                                                      stack_size, crashed));
}

const ModuleInfo* FakeProcessState::AddModule(
    std::unique_ptr<ModuleInfo> module, bool main) {
  const ModuleInfo* added = module.get();
  modules_.push_back(std::move(module));
  if (main) main_module_ = added;
  return added;
}

const uint8_t* FakeProcessState::Find(uint64_t address, size_t size) const {
  auto region = memory_.upper_bound(address);
  if (region == memory_.begin()) return nullptr;
  --region;
  const uint64_t offset = address - region->first;
  if (offset >= region->second.size() ||
      region->second.size() - offset < size) {
    return nullptr;
  }
  return region->second.data() + offset;
}

bool FakeProcessState::IsAddressReadable(uint64_t address) {
  return Find(address, 1) != nullptr;
}

std::unique_ptr<ProcessMemoryReader> FakeProcessState::CreateMemoryReader() {
  if (!reader_available_) return nullptr;
  return std::make_unique<FakeMemoryReader>(this);
}

}  // namespace crash_reporter
