#include "desktop/windows/installer/package_fetcher/test/scoped_test_root_win.h"

#include <windows.h>
// After windows.h, which it needs.
#include <wincrypt.h>

#include "base/strings/string_number_conversions.h"
#include "base/strings/string_util_win.h"
#include "base/strings/utf_string_conversions.h"
#include "gtest/gtest.h"

namespace installer {
namespace test {

ScopedTestRoot::ScopedTestRoot(const std::string& der) {
  HCERTSTORE store = CertOpenStore(CERT_STORE_PROV_SYSTEM_W, 0, 0,
                                   CERT_SYSTEM_STORE_LOCAL_MACHINE, L"Root");
  if (!store) {
    ADD_FAILURE() << "CertOpenStore: " << GetLastError();
    return;
  }
  const CERT_CONTEXT* certificate = nullptr;
  if (!CertAddEncodedCertificateToStore(
          store, X509_ASN_ENCODING, reinterpret_cast<const BYTE*>(der.data()),
          static_cast<DWORD>(der.size()), CERT_STORE_ADD_REPLACE_EXISTING,
          &certificate)) {
    ADD_FAILURE() << "CertAddEncodedCertificateToStore: " << GetLastError();
    CertCloseStore(store, 0);
    return;
  }
  BYTE thumbprint[20];
  DWORD size = sizeof(thumbprint);
  if (CertGetCertificateContextProperty(certificate, CERT_SHA1_HASH_PROP_ID,
                                        thumbprint, &size)) {
    key_ = u"Software\\Microsoft\\SystemCertificates\\ROOT\\Certificates\\" +
           base::ASCIIToUTF16(base::HexEncode(thumbprint, size));
  } else {
    ADD_FAILURE() << "CertGetCertificateContextProperty: " << GetLastError();
  }
  CertFreeCertificateContext(certificate);
  CertCloseStore(store, 0);
  HKEY key = nullptr;
  if (!key_.empty()) {
    EXPECT_EQ(ERROR_SUCCESS,
              RegOpenKeyExW(HKEY_LOCAL_MACHINE, base::as_wcstr(key_), 0,
                            KEY_READ, &key))
        << "the root's registry key";
    if (key) RegCloseKey(key);
  }
}

ScopedTestRoot::~ScopedTestRoot() { Remove(); }

bool ScopedTestRoot::Remove() {
  if (key_.empty()) return true;
  const LSTATUS status =
      RegDeleteTreeW(HKEY_LOCAL_MACHINE, base::as_wcstr(key_));
  if (status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND) {
    key_.clear();
    return true;
  }
  return false;
}

}  // namespace test
}  // namespace installer
