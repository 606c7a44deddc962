// pthread keys; the key destructor of the slot vector runs the slot
// destructors when a thread ends.

#include <pthread.h>

#include "base/threading/thread_local_storage.h"

namespace base {
namespace internal {

bool AllocateTlsKey(uint32_t* key, void (*destructor)(void*)) {
  pthread_key_t new_key;
  if (pthread_key_create(&new_key, destructor) != 0) return false;
  *key = static_cast<uint32_t>(new_key);
  return true;
}

void FreeTlsKey(uint32_t key) { pthread_key_delete(key); }

void* GetTlsValue(uint32_t key) { return pthread_getspecific(key); }

void SetTlsValue(uint32_t key, void* value) {
  if (pthread_setspecific(key, value) != 0)
    ThreadLocalStorage::ReportSetValueFailure();
}

}  // namespace internal
}  // namespace base
