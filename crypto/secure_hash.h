// SecureHash: a streaming message digest over libcrypto. The only algorithm
// is SHA-256; the object is fed with Update() any number of times and read
// once with Finish().
//
// An object is used by one thread at a time; Clone() gives an independent
// copy of the state so far (to hash a common prefix once). The destructor
// wipes the hash state from memory.

#ifndef CRYPTO_SECURE_HASH_H_
#define CRYPTO_SECURE_HASH_H_

#include <stddef.h>

#include <memory>

namespace crypto {

class SecureHash {
 public:
  enum Algorithm : int {
    SHA256 = 0,
  };

  // A new hash of |algorithm|; null (with the error "NOT IMPLEMENTED"
  // logged) for any other value.
  static std::unique_ptr<SecureHash> Create(Algorithm algorithm);

  virtual ~SecureHash() = default;

  // Adds |length| bytes at |data| (any length, 4 GiB and more included).
  virtual void Update(const void* data, size_t length) = 0;
  // Writes the first |length| bytes of the digest to |output| (the whole
  // digest when |length| is GetHashLength() or more; the rest of |output| is
  // left as it was). Call once: afterwards the object holds no useful state
  // and must not be updated again.
  virtual void Finish(void* output, size_t length) = 0;
  // The digest length in bytes: 32.
  virtual size_t GetHashLength() const = 0;
  // A copy of the state so far, to be continued independently.
  virtual std::unique_ptr<SecureHash> Clone() const = 0;
};

}  // namespace crypto

#endif  // CRYPTO_SECURE_HASH_H_
