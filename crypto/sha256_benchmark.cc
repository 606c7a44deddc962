// SHA-256 throughput of SecureHash, in GB/s (10^9 bytes per second), over a
// 256 MiB buffer hashed a few times; prints whether the processor has the
// SHA extensions that libcrypto's assembly uses. Run by hand:
//   sha256_benchmark [rounds]

#include <cpuid.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>

#include <chrono>
#include <memory>
#include <vector>

#include "crypto/secure_hash.h"

namespace {

bool HasShaExtensions() {
  unsigned int eax, ebx, ecx, edx;
  if (!__get_cpuid_count(7, 0, &eax, &ebx, &ecx, &edx)) return false;
  return (ebx >> 29) & 1;
}

}  // namespace

int main(int argc, char** argv) {
  const int rounds = argc > 1 ? atoi(argv[1]) : 8;
  std::vector<uint8_t> buffer(size_t{256} << 20);
  for (size_t i = 0; i < buffer.size(); ++i)
    buffer[i] = static_cast<uint8_t>(i * 2654435761u >> 13);

  printf("SHA extensions: %s\n", HasShaExtensions() ? "yes" : "no");
  double best = 0;
  for (int round = 0; round < rounds; ++round) {
    std::unique_ptr<crypto::SecureHash> hash =
        crypto::SecureHash::Create(crypto::SecureHash::SHA256);
    const auto start = std::chrono::steady_clock::now();
    hash->Update(buffer.data(), buffer.size());
    uint8_t digest[32];
    hash->Finish(digest, sizeof(digest));
    const std::chrono::duration<double> elapsed =
        std::chrono::steady_clock::now() - start;
    const double rate = buffer.size() / elapsed.count() / 1e9;
    if (rate > best) best = rate;
  }
  printf("SHA-256: %.2f GB/s (best of %d rounds of %zu MiB)\n", best, rounds,
         buffer.size() >> 20);
  return 0;
}
