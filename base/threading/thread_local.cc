#include "base/threading/thread_local.h"

#include "base/lazy_instance.h"
#include "base/logging.h"
#include "base/threading/thread_local_storage.h"

namespace base {
namespace internal {

ThreadLocalPointerBase::~ThreadLocalPointerBase() {
  if (state_.load(std::memory_order_acquire) > LazyInstanceHelper::kCreating)
    FreeTlsKey(key_);
}

void* ThreadLocalPointerBase::Get() const {
  uintptr_t state = state_.load(std::memory_order_acquire);
  // No index yet: this thread never set a value.
  if (state <= LazyInstanceHelper::kCreating) return nullptr;
  return GetTlsValue(*reinterpret_cast<const uint32_t*>(state));
}

void ThreadLocalPointerBase::Set(void* value) {
  SetTlsValue(*GetOrAllocateKey(), value);
}

uint32_t* ThreadLocalPointerBase::GetOrAllocateKey() {
  uintptr_t state = state_.load(std::memory_order_acquire);
  if (state > LazyInstanceHelper::kCreating)
    return reinterpret_cast<uint32_t*>(state);
  if (LazyInstanceHelper::NeedsInstance(&state_)) {
    if (!AllocateTlsKey(&key_, nullptr)) LOG(FATAL) << "No TLS index left";
    LazyInstanceHelper::CompleteInstance(
        &state_, reinterpret_cast<uintptr_t>(&key_), nullptr);
    return &key_;
  }
  return reinterpret_cast<uint32_t*>(
      LazyInstanceHelper::WaitForInstance(&state_));
}

}  // namespace internal
}  // namespace base
