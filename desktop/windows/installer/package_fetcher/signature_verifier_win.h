// SignatureVerifier: the Authenticode check of a downloaded installer: its
// signature must be valid and made by the signer the branding expects
// (BrandingConfig::GetExpectedSigner(), compared with the certificate's
// simple display name exactly, letter case included), whose certificate
// chains to a trusted root for code signing.
//
// A signer counts only when it is
//  - the primary signer, whose signature WinVerifyTrust checked against
//    the file, or
//  - a signer of a signature nested in the primary signer's unauthenticated
//    attributes (one level only),
// and, for either, its message signs this file's Authenticode SHA-256
// digest (so a signature lifted from another file does not count), its
// signed attributes commit to that content (SHA-256), and its signature
// verifies against its certificate. Signers with other digest algorithms
// do not count.
//
// Every failure is a plain false with a log line; nothing throws. No state;
// any thread.

#ifndef DESKTOP_WINDOWS_INSTALLER_PACKAGE_FETCHER_SIGNATURE_VERIFIER_WIN_H_
#define DESKTOP_WINDOWS_INSTALLER_PACKAGE_FETCHER_SIGNATURE_VERIFIER_WIN_H_

#include <windows.h>
// After windows.h, which it needs.
#include <wincrypt.h>

#include <string>

#include "base/files/file_path.h"

namespace installer {

class SignatureVerifier {
 public:
  SignatureVerifier() = delete;

  // False when the file cannot be mapped or does not start with "MZ"
  // leading to "PE\0\0". Else true, with |*is_signed| telling whether the
  // PE32+ security directory's size is not 0.
  static bool IsSigned(const base::FilePath& path, bool* is_signed);

  // True when the file's signature is valid (WinVerifyTrust, no UI, no
  // revocation checks) and one of its counting signers is the expected
  // signer with a trusted chain.
  static bool VerifySigner(const base::FilePath& path);

  // The signer part of VerifySigner() on a file's signed message and its
  // certificate store (as CryptQueryObject gives them), with
  // |authenticode_sha256| the file's Authenticode SHA-256 digest (empty:
  // no signer counts). Closes |store| and |message| before it returns.
  static bool CheckSigners(HCERTSTORE store, HCRYPTMSG message,
                           DWORD encoding_type,
                           const std::string& authenticode_sha256);
};

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_PACKAGE_FETCHER_SIGNATURE_VERIFIER_WIN_H_
