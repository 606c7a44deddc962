#include "desktop/windows/installer/package_fetcher/checksum_checker.h"

#include <stdint.h>
#include <stdio.h>

#include <memory>
#include <vector>

#include "base/files/file_util.h"
#include "base/logging.h"
#include "base/strings/string_number_conversions.h"
#include "base/strings/string_util.h"
#include "crypto/secure_hash.h"

namespace installer {

namespace {

// The file is read in pieces rather than mapped whole: any size works, and
// a read error is a plain failure instead of an in-page exception.
constexpr size_t kReadSize = size_t{1} << 20;

struct FileCloser {
  void operator()(FILE* file) const { fclose(file); }
};

}  // namespace

// static
bool ChecksumChecker::VerifyChecksum(const base::FilePath& path,
                                     const std::string& expected) {
  std::unique_ptr<FILE, FileCloser> file(base::OpenFile(path, "rb"));
  if (!file) {
    LOG(ERROR) << "Unable to read " << path;
    return false;
  }
  std::unique_ptr<crypto::SecureHash> hash =
      crypto::SecureHash::Create(crypto::SecureHash::SHA256);
  std::vector<uint8_t> buffer(kReadSize);
  while (true) {
    const size_t count = fread(buffer.data(), 1, buffer.size(), file.get());
    hash->Update(buffer.data(), count);
    if (count < buffer.size()) break;
  }
  if (ferror(file.get())) {
    LOG(ERROR) << "Unable to read " << path;
    return false;
  }
  uint8_t digest[32];
  hash->Finish(digest, sizeof(digest));
  return FormatDigest(digest, sizeof(digest)) == expected;
}

// static
std::string ChecksumChecker::FormatDigest(const uint8_t* digest,
                                          size_t length) {
  return base::ToLowerASCII(base::HexEncode(digest, length));
}

}  // namespace installer
