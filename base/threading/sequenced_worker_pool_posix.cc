#include "base/threading/sequenced_worker_pool.h"

namespace base {
namespace internal {

bool EnterWorkerApartment() { return false; }

void LeaveWorkerApartment() {}

}  // namespace internal
}  // namespace base
