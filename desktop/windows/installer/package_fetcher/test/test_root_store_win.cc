#include "desktop/windows/installer/package_fetcher/test/test_root_store_win.h"

#include <windows.h>
// After windows.h, which it needs.
#include <wincrypt.h>

#include "base/strings/string_number_conversions.h"
#include "base/strings/string_util_win.h"
#include "base/strings/utf_string_conversions.h"

namespace installer {
namespace test {

namespace {

constexpr char16_t kRootCertificatesKey[] =
    u"Software\\Microsoft\\SystemCertificates\\ROOT\\Certificates\\";

// The key of |certificate|: the root store's key and the SHA-1 thumbprint.
std::u16string KeyOf(const CERT_CONTEXT* certificate) {
  BYTE thumbprint[20];
  DWORD size = sizeof(thumbprint);
  if (!CertGetCertificateContextProperty(certificate, CERT_SHA1_HASH_PROP_ID,
                                         thumbprint, &size)) {
    return std::u16string();
  }
  return kRootCertificatesKey +
         base::ASCIIToUTF16(base::HexEncode(thumbprint, size));
}

}  // namespace

bool AddTrustedRoot(const std::string& der, std::u16string* key,
                    std::string* error) {
  HCERTSTORE store = CertOpenStore(CERT_STORE_PROV_SYSTEM_W, 0, 0,
                                   CERT_SYSTEM_STORE_LOCAL_MACHINE, L"Root");
  if (!store) {
    *error = "CertOpenStore: " + base::UintToString(GetLastError());
    return false;
  }
  const CERT_CONTEXT* certificate = nullptr;
  if (!CertAddEncodedCertificateToStore(
          store, X509_ASN_ENCODING, reinterpret_cast<const BYTE*>(der.data()),
          static_cast<DWORD>(der.size()), CERT_STORE_ADD_USE_EXISTING,
          &certificate)) {
    *error = "CertAddEncodedCertificateToStore: " +
             base::UintToString(GetLastError());
    CertCloseStore(store, 0);
    return false;
  }
  *key = KeyOf(certificate);
  CertFreeCertificateContext(certificate);
  CertCloseStore(store, 0);
  if (key->empty()) {
    *error = "CertGetCertificateContextProperty: " +
             base::UintToString(GetLastError());
    return false;
  }
  HKEY opened = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, base::as_wcstr(*key), 0, KEY_READ,
                    &opened) != ERROR_SUCCESS) {
    *error = "the root's registry key is missing";
    return false;
  }
  RegCloseKey(opened);
  return true;
}

std::u16string GetTrustedRootKey(const std::string& der) {
  const CERT_CONTEXT* certificate = CertCreateCertificateContext(
      X509_ASN_ENCODING, reinterpret_cast<const BYTE*>(der.data()),
      static_cast<DWORD>(der.size()));
  if (!certificate) return std::u16string();
  std::u16string key = KeyOf(certificate);
  CertFreeCertificateContext(certificate);
  return key;
}

bool RemoveTrustedRoot(const std::u16string& key) {
  const LSTATUS status =
      RegDeleteTreeW(HKEY_LOCAL_MACHINE, base::as_wcstr(key));
  return status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND;
}

}  // namespace test
}  // namespace installer
