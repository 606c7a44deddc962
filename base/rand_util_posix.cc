#include <errno.h>
#include <sys/random.h>

#include "base/logging.h"
#include "base/rand_util.h"

namespace base {

void RandBytes(void* output, size_t size) {
  auto* out = static_cast<char*>(output);
  while (size > 0) {
    // getrandom hands out at most 32 MiB per call and may be interrupted.
    const ssize_t got = getrandom(out, size, 0);
    if (got < 0 && errno == EINTR) continue;
    CHECK_GT(got, 0);
    out += got;
    size -= static_cast<size_t>(got);
  }
}

}  // namespace base
