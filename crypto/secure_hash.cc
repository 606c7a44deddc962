#include "crypto/secure_hash.h"

#include <string.h>

#include <algorithm>

#include "base/logging.h"

// The one-shot SHA-256 functions are the fastest route into libcrypto's
// assembly (SHA extensions where the processor has them); they are marked
// deprecated in favour of the EVP layer, whose per-call dispatch buys
// nothing for a single fixed algorithm.
#define OPENSSL_SUPPRESS_DEPRECATED
#include <openssl/crypto.h>
#include <openssl/sha.h>

namespace crypto {

namespace {

class SecureHashSHA256 : public SecureHash {
 public:
  SecureHashSHA256() { SHA256_Init(&context_); }
  SecureHashSHA256(const SecureHashSHA256& other) = default;
  SecureHashSHA256& operator=(const SecureHashSHA256&) = delete;
  ~SecureHashSHA256() override { OPENSSL_cleanse(&context_, sizeof(context_)); }

  void Update(const void* data, size_t length) override {
    SHA256_Update(&context_, data, length);
  }

  void Finish(void* output, size_t length) override {
    unsigned char digest[SHA256_DIGEST_LENGTH];
    SHA256_Final(digest, &context_);
    memcpy(output, digest, std::min(length, sizeof(digest)));
    OPENSSL_cleanse(digest, sizeof(digest));
  }

  size_t GetHashLength() const override { return SHA256_DIGEST_LENGTH; }

  std::unique_ptr<SecureHash> Clone() const override {
    return std::make_unique<SecureHashSHA256>(*this);
  }

 private:
  SHA256_CTX context_;
};

}  // namespace

// static
std::unique_ptr<SecureHash> SecureHash::Create(Algorithm algorithm) {
  switch (algorithm) {
    case SHA256:
      return std::make_unique<SecureHashSHA256>();
  }
  LOG(ERROR) << "NOT IMPLEMENTED";
  return nullptr;
}

}  // namespace crypto
