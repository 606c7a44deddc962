#include <windows.h>

// SystemFunction036 is RtlGenRandom; the header only declares it under that
// name.
#include <ntsecapi.h>

#include <algorithm>
#include <limits>

#include "base/logging.h"
#include "base/rand_util.h"

namespace base {

void RandBytes(void* output, size_t size) {
  // The call takes a 32-bit count: larger requests go in chunks.
  constexpr size_t kMaxChunk = std::numeric_limits<ULONG>::max();
  auto* out = static_cast<char*>(output);
  while (size > 0) {
    const ULONG chunk = static_cast<ULONG>(std::min(size, kMaxChunk));
    CHECK(RtlGenRandom(out, chunk));
    out += chunk;
    size -= chunk;
  }
}

}  // namespace base
