#include "base/threading/thread_local_storage.h"

#include <string.h>

#include "base/logging.h"

namespace base {

namespace {

using internal::kInvalidTlsKey;

// The platform index that holds every thread's vector.
std::atomic<uint32_t> g_native_key{kInvalidTlsKey};
// The last slot number handed out; numbers start at 1.
std::atomic<uint32_t> g_last_slot_number{0};
// Destructors by slot number.
std::atomic<ThreadLocalStorage::TLSDestructorFunc>
    g_destructors[ThreadLocalStorage::kThreadLocalStorageSize];

constexpr size_t kVectorBytes =
    sizeof(void*) * ThreadLocalStorage::kThreadLocalStorageSize;

uint32_t GetOrAllocateNativeKey(void (*destructor)(void*)) {
  uint32_t key = g_native_key.load(std::memory_order_acquire);
  if (key != kInvalidTlsKey) return key;
  uint32_t new_key;
  if (!internal::AllocateTlsKey(&new_key, destructor))
    LOG(FATAL) << "No TLS index left for thread-local storage";
  uint32_t expected = kInvalidTlsKey;
  if (g_native_key.compare_exchange_strong(expected, new_key,
                                           std::memory_order_acq_rel)) {
    return new_key;
  }
  // Another thread installed its index first.
  internal::FreeTlsKey(new_key);
  return expected;
}

}  // namespace

// static
void** ThreadLocalStorage::ConstructTlsVector() {
  uint32_t key = GetOrAllocateNativeKey(&PosixKeyDestructor);
  CHECK(!internal::GetTlsValue(key))
      << "Thread-local storage vector built twice for one thread";
  // A zeroed vector on the stack is installed first, so that an allocator
  // that itself uses thread-local storage finds a valid vector while the
  // heap vector is being allocated.
  void* stack_vector[kThreadLocalStorageSize] = {};
  internal::SetTlsValue(key, stack_vector);
  void** heap_vector = new void*[kThreadLocalStorageSize];
  memcpy(heap_vector, stack_vector, kVectorBytes);
  internal::SetTlsValue(key, heap_vector);
  return heap_vector;
}

// static
void** ThreadLocalStorage::GetOrConstructTlsVector() {
  uint32_t key = g_native_key.load(std::memory_order_acquire);
  if (key != kInvalidTlsKey) {
    if (void* vector = internal::GetTlsValue(key))
      return static_cast<void**>(vector);
  }
  return ConstructTlsVector();
}

// static
void ThreadLocalStorage::OnThreadExit() {
  uint32_t key = g_native_key.load(std::memory_order_acquire);
  if (key == kInvalidTlsKey) return;
  void* vector = internal::GetTlsValue(key);
  if (!vector) return;
  OnThreadExitInternal(static_cast<void**>(vector));
}

// static
void ThreadLocalStorage::OnThreadExitInternal(void** heap_vector) {
  uint32_t key = g_native_key.load(std::memory_order_acquire);
  // Destructors may read and set slots; they do so in a stack copy, so the
  // heap vector can go first.
  void* stack_vector[kThreadLocalStorageSize];
  memcpy(stack_vector, heap_vector, kVectorBytes);
  internal::SetTlsValue(key, stack_vector);
  delete[] heap_vector;

  // A destructor may set another slot; repeat until a pass runs none.
  for (int pass = 0; pass < kThreadLocalStorageSize; ++pass) {
    bool ran_destructor = false;
    uint32_t last = g_last_slot_number.load(std::memory_order_acquire);
    if (last >= kThreadLocalStorageSize) last = kThreadLocalStorageSize - 1;
    for (uint32_t slot = last; slot > 0; --slot) {
      void* value = stack_vector[slot];
      TLSDestructorFunc destructor =
          g_destructors[slot].load(std::memory_order_acquire);
      if (!value || !destructor) continue;
      stack_vector[slot] = nullptr;
      destructor(value);
      ran_destructor = true;
    }
    if (!ran_destructor) break;
  }
  internal::SetTlsValue(key, nullptr);
}

// static
void ThreadLocalStorage::PosixKeyDestructor(void* vector) {
  OnThreadExitInternal(static_cast<void**>(vector));
}

// static
void ThreadLocalStorage::ReportSetValueFailure() {
  LOG(FATAL) << "Failed to TlsSetValue().";
  // LOG(FATAL) does not return; this tells the compiler so.
  __builtin_trap();
}

void ThreadLocalStorage::StaticSlot::Initialize(TLSDestructorFunc destructor) {
  GetOrConstructTlsVector();
  uint32_t number =
      g_last_slot_number.fetch_add(1, std::memory_order_acq_rel) + 1;
  if (number >= static_cast<uint32_t>(kThreadLocalStorageSize)) {
    LOG(FATAL) << "All " << kThreadLocalStorageSize - 1
               << " thread-local storage slots are in use";
  }
  g_destructors[number].store(destructor, std::memory_order_release);
  slot_ = number;
  initialized_.store(1, std::memory_order_release);
}

void* ThreadLocalStorage::StaticSlot::Get() const {
  DCHECK(initialized());
  return GetOrConstructTlsVector()[slot_];
}

void ThreadLocalStorage::StaticSlot::Set(void* value) {
  DCHECK(initialized());
  GetOrConstructTlsVector()[slot_] = value;
}

}  // namespace base
