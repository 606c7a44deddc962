// Feeds arbitrary bytes to the payload trailer search and the PE fields the
// package checks read, and holds them to what their callers rely on: a
// payload found lies inside the file, ends before the signature or at the
// file's end, and is never a 7z archive after a signature.

#include <stddef.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <memory>

#include "crypto/secure_hash.h"
#include "desktop/windows/installer/package_fetcher/payload_reader.h"
#include "desktop/windows/installer/package_fetcher/pe_image_layout.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using installer::PayloadReader;
  const PayloadReader::ScanResult result = PayloadReader::Scan(data, size);
  installer::SecurityDirectory directory;
  const bool has_directory =
      installer::ReadSecurityDirectory(data, size, &directory);
  if (result.outcome == PayloadReader::ScanResult::kFullPackage ||
      result.outcome == PayloadReader::ScanResult::kTrackingData) {
    if (!has_directory) abort();
    if (result.offset < 3 || result.offset > size ||
        result.length > size - result.offset ||
        result.length >= (uint64_t{1} << 31)) {
      abort();
    }
    const uint64_t end = result.offset + result.length + 4;
    const bool at_file_end = end == size;
    const bool at_signature = directory.size != 0 && end == directory.offset;
    if (!at_file_end && !at_signature) abort();
    if (memcmp(data + result.offset - 3, "VLN", 3) != 0) abort();
    if (result.outcome == PayloadReader::ScanResult::kFullPackage &&
        directory.size != 0 && !at_signature) {
      abort();
    }
  }
  std::unique_ptr<crypto::SecureHash> hash =
      crypto::SecureHash::Create(crypto::SecureHash::SHA256);
  if (installer::HashAuthenticodeRegion(data, size, hash.get()) &&
      (directory.size == 0 || directory.offset > size)) {
    abort();
  }
  return 0;
}
