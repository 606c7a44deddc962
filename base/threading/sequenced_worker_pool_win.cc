#include <objbase.h>

#include "base/threading/sequenced_worker_pool.h"

namespace base {
namespace internal {

bool EnterWorkerApartment() {
  // Work items may use COM (shell links, the task scheduler); each worker
  // is its own single-threaded apartment.
  return SUCCEEDED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
}

void LeaveWorkerApartment() { ::CoUninitialize(); }

}  // namespace internal
}  // namespace base
