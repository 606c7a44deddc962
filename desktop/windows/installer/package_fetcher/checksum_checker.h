// ChecksumChecker: the SHA-256 check of a downloaded file (the full
// installer, each partner content file) against the checksum the update
// server sent. Portable; no state, any thread.

#ifndef DESKTOP_WINDOWS_INSTALLER_PACKAGE_FETCHER_CHECKSUM_CHECKER_H_
#define DESKTOP_WINDOWS_INSTALLER_PACKAGE_FETCHER_CHECKSUM_CHECKER_H_

#include <stddef.h>
#include <stdint.h>

#include <string>

#include "base/files/file_path.h"

namespace installer {

class ChecksumChecker {
 public:
  ChecksumChecker() = delete;

  // True exactly when the SHA-256 of the file's whole content, written as
  // 64 lower-case hexadecimal digits, equals |expected| byte for byte (an
  // upper-case |expected| never matches). False, with the error
  // "Unable to read " and the path, when the file cannot be read to its end.
  static bool VerifyChecksum(const base::FilePath& path,
                             const std::string& expected);

  // |digest| as lower-case hexadecimal digits, high nibble first.
  static std::string FormatDigest(const uint8_t* digest, size_t length);
};

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_PACKAGE_FETCHER_CHECKSUM_CHECKER_H_
