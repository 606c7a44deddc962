#include "desktop/windows/installer/package_fetcher/signature_verifier_win.h"

// clang-format off
#include <wintrust.h>
#include <softpub.h>
// clang-format on

#include <stdint.h>
#include <string.h>

#include <memory>
#include <vector>

#include "base/files/memory_mapped_file.h"
#include "base/logging.h"
#include "base/strings/string_util_win.h"
#include "base/strings/utf_string_conversions.h"
#include "crypto/secure_hash.h"
#include "desktop/windows/installer/branding_config.h"
#include "desktop/windows/installer/package_fetcher/pe_image_layout.h"

namespace installer {

namespace {

// The unauthenticated attribute that carries a further signature.
constexpr char kNestedSignatureOid[] = "1.3.6.1.4.1.311.2.4.1";

struct StoreCloser {
  void operator()(void* store) const { CertCloseStore(store, 0); }
};
using ScopedStore = std::unique_ptr<void, StoreCloser>;

struct MessageCloser {
  void operator()(void* message) const { CryptMsgClose(message); }
};
using ScopedMessage = std::unique_ptr<void, MessageCloser>;

struct CertificateFreer {
  void operator()(const CERT_CONTEXT* certificate) const {
    CertFreeCertificateContext(certificate);
  }
};
using ScopedCertificate = std::unique_ptr<const CERT_CONTEXT, CertificateFreer>;

struct ChainFreer {
  void operator()(const CERT_CHAIN_CONTEXT* chain) const {
    CertFreeCertificateChain(chain);
  }
};
using ScopedChain = std::unique_ptr<const CERT_CHAIN_CONTEXT, ChainFreer>;

struct LocalFreer {
  void operator()(void* memory) const { LocalFree(memory); }
};

// One parameter of |message| into |*data| (size query, zeroed buffer, data).
bool GetMessageParam(HCRYPTMSG message, DWORD type, DWORD index,
                     std::vector<uint8_t>* data) {
  DWORD size = 0;
  if (!CryptMsgGetParam(message, type, index, nullptr, &size)) return false;
  data->assign(size, 0);
  if (!CryptMsgGetParam(message, type, index, data->data(), &size))
    return false;
  data->resize(size);
  return true;
}

DWORD GetSignerCount(HCRYPTMSG message) {
  DWORD count = 0;
  DWORD size = sizeof(count);
  if (!CryptMsgGetParam(message, CMSG_SIGNER_COUNT_PARAM, 0, &count, &size))
    return 0;
  return count;
}

// The signer's CMSG_SIGNER_INFO, which points into |*buffer|.
const CMSG_SIGNER_INFO* GetSignerInfo(HCRYPTMSG message, DWORD index,
                                      std::vector<uint8_t>* buffer) {
  if (!GetMessageParam(message, CMSG_SIGNER_INFO_PARAM, index, buffer) ||
      buffer->size() < sizeof(CMSG_SIGNER_INFO)) {
    return nullptr;
  }
  return reinterpret_cast<const CMSG_SIGNER_INFO*>(buffer->data());
}

ScopedCertificate FindSignerCertificate(HCERTSTORE store, DWORD encoding,
                                        const CMSG_SIGNER_INFO& signer) {
  CERT_INFO id = {};
  id.Issuer = signer.Issuer;
  id.SerialNumber = signer.SerialNumber;
  return ScopedCertificate(CertFindCertificateInStore(
      store, encoding, 0, CERT_FIND_SUBJECT_CERT, &id, nullptr));
}

bool IsExpectedSigner(const CERT_CONTEXT* certificate) {
  const std::u16string expected =
      base::UTF8ToUTF16(BrandingConfig::GetExpectedSigner());
  // A certificate without a name must not match an unset signer.
  if (expected.empty()) return false;
  const DWORD length = CertGetNameStringW(
      certificate, CERT_NAME_SIMPLE_DISPLAY_TYPE, 0, nullptr, nullptr, 0);
  if (length <= 1) return false;
  std::u16string name(length, u'\0');
  CertGetNameStringW(certificate, CERT_NAME_SIMPLE_DISPLAY_TYPE, 0, nullptr,
                     base::as_writable_wcstr(name), length);
  name.resize(length - 1);
  if (name != expected) {
    VLOG(1) << "Signer " << base::UTF16ToUTF8(name) << " is not the expected "
            << "signer";
    return false;
  }
  return true;
}

// WinVerifyTrust checks the signature but, under Wine, not the root: the
// chain is checked here with the Authenticode policy, for code signing.
bool ChainsToTrustedRoot(const CERT_CONTEXT* certificate,
                         HCERTSTORE message_store) {
  char* usages[] = {const_cast<char*>(szOID_PKIX_KP_CODE_SIGNING)};
  CERT_CHAIN_PARA chain_para = {};
  chain_para.cbSize = sizeof(chain_para);
  chain_para.RequestedUsage.dwType = USAGE_MATCH_TYPE_AND;
  chain_para.RequestedUsage.Usage.cUsageIdentifier = 1;
  chain_para.RequestedUsage.Usage.rgpszUsageIdentifier = usages;
  const CERT_CHAIN_CONTEXT* chain_context = nullptr;
  if (!CertGetCertificateChain(nullptr, certificate, nullptr, message_store,
                               &chain_para, 0, nullptr, &chain_context)) {
    PLOG(ERROR) << "CertGetCertificateChain";
    return false;
  }
  ScopedChain chain(chain_context);
  CERT_CHAIN_POLICY_PARA policy_para = {};
  policy_para.cbSize = sizeof(policy_para);
  CERT_CHAIN_POLICY_STATUS status = {};
  status.cbSize = sizeof(status);
  if (!CertVerifyCertificateChainPolicy(CERT_CHAIN_POLICY_AUTHENTICODE,
                                        chain.get(), &policy_para, &status)) {
    PLOG(ERROR) << "CertVerifyCertificateChainPolicy";
    return false;
  }
  if (status.dwError != 0) {
    LOG(ERROR) << "The signer's certificate chain is not trusted: "
               << logging::SystemErrorCodeToString(status.dwError);
    return false;
  }
  return true;
}

// The SHA-256 digest that |message| signs (its Authenticode indirect data)
// is |authenticode_sha256|.
bool SignsDigest(HCRYPTMSG message, DWORD encoding,
                 const std::string& authenticode_sha256) {
  std::vector<uint8_t> content_type;
  std::vector<uint8_t> content;
  if (authenticode_sha256.empty() ||
      !GetMessageParam(message, CMSG_INNER_CONTENT_TYPE_PARAM, 0,
                       &content_type) ||
      strncmp(reinterpret_cast<const char*>(content_type.data()),
              SPC_INDIRECT_DATA_OBJID, content_type.size()) != 0 ||
      !GetMessageParam(message, CMSG_CONTENT_PARAM, 0, &content)) {
    return false;
  }
  SPC_INDIRECT_DATA_CONTENT* decoded = nullptr;
  DWORD size = 0;
  if (!CryptDecodeObjectEx(encoding, SPC_INDIRECT_DATA_CONTENT_STRUCT,
                           content.data(), content.size(),
                           CRYPT_DECODE_ALLOC_FLAG, nullptr, &decoded, &size)) {
    PLOG(ERROR) << "CryptDecodeObjectEx";
    return false;
  }
  std::unique_ptr<void, LocalFreer> owner(decoded);
  const CRYPT_HASH_BLOB& digest = decoded->Digest;
  return decoded->DigestAlgorithm.pszObjId &&
         strcmp(decoded->DigestAlgorithm.pszObjId, szOID_NIST_sha256) == 0 &&
         digest.cbData == authenticode_sha256.size() &&
         memcmp(digest.pbData, authenticode_sha256.data(), digest.cbData) == 0;
}

// A nested signature counts when it signs this file and one of its signers
// is the expected signer, verified against its certificate, with a trusted
// chain. Its own nested signatures are not followed.
bool CheckNestedSignature(const CRYPT_ATTR_BLOB& blob, DWORD encoding,
                          const std::string& authenticode_sha256) {
  HCERTSTORE store_handle = nullptr;
  HCRYPTMSG message_handle = nullptr;
  CERT_BLOB object = {blob.cbData, blob.pbData};
  if (!CryptQueryObject(CERT_QUERY_OBJECT_BLOB, &object,
                        CERT_QUERY_CONTENT_FLAG_PKCS7_SIGNED,
                        CERT_QUERY_FORMAT_FLAG_BINARY, 0, nullptr, nullptr,
                        nullptr, &store_handle, &message_handle, nullptr)) {
    PLOG(ERROR) << "CryptQueryObject of a nested signature";
    return false;
  }
  ScopedStore store(store_handle);
  ScopedMessage message(message_handle);
  if (!SignsDigest(message.get(), encoding, authenticode_sha256)) {
    LOG(ERROR) << "A nested signature does not sign this file";
    return false;
  }
  const DWORD count = GetSignerCount(message.get());
  for (DWORD i = 0; i < count; ++i) {
    std::vector<uint8_t> buffer;
    const CMSG_SIGNER_INFO* signer = GetSignerInfo(message.get(), i, &buffer);
    if (!signer) continue;
    ScopedCertificate certificate =
        FindSignerCertificate(store.get(), encoding, *signer);
    if (!certificate || !IsExpectedSigner(certificate.get())) continue;
    CMSG_CTRL_VERIFY_SIGNATURE_EX_PARA verify = {};
    verify.cbSize = sizeof(verify);
    verify.dwSignerIndex = i;
    verify.dwSignerType = CMSG_VERIFY_SIGNER_CERT;
    verify.pvSigner = const_cast<CERT_CONTEXT*>(certificate.get());
    if (!CryptMsgControl(message.get(), 0, CMSG_CTRL_VERIFY_SIGNATURE_EX,
                         &verify)) {
      PLOG(ERROR) << "A nested signature does not verify";
      continue;
    }
    if (ChainsToTrustedRoot(certificate.get(), store.get())) return true;
  }
  return false;
}

// The file's Authenticode SHA-256 digest; empty when it cannot be read.
std::string ComputeAuthenticodeSha256(const base::FilePath& path) {
  base::MemoryMappedFile file;
  if (!file.Initialize(path, base::MemoryMappedFile::READ_ONLY)) return {};
  std::unique_ptr<crypto::SecureHash> hash =
      crypto::SecureHash::Create(crypto::SecureHash::SHA256);
  if (!HashAuthenticodeRegion(file.data(), file.length(), hash.get()))
    return {};
  std::string digest(hash->GetHashLength(), '\0');
  hash->Finish(digest.data(), digest.size());
  return digest;
}

}  // namespace

// static
bool SignatureVerifier::IsSigned(const base::FilePath& path, bool* is_signed) {
  base::MemoryMappedFile file;
  SecurityDirectory directory;
  if (!file.Initialize(path, base::MemoryMappedFile::READ_ONLY) ||
      !HasPeSignatures(file.data(), file.length()) ||
      !ReadSecurityDirectory(file.data(), file.length(), &directory)) {
    return false;
  }
  *is_signed = directory.size != 0;
  return true;
}

// static
bool SignatureVerifier::VerifySigner(const base::FilePath& path) {
  WINTRUST_FILE_INFO file_info = {};
  file_info.cbStruct = sizeof(file_info);
  file_info.pcwszFilePath = base::as_wcstr(path.value());
  WINTRUST_DATA trust_data = {};
  trust_data.cbStruct = sizeof(trust_data);
  trust_data.dwUIChoice = WTD_UI_NONE;
  trust_data.fdwRevocationChecks = WTD_REVOKE_NONE;
  trust_data.dwUnionChoice = WTD_CHOICE_FILE;
  trust_data.pFile = &file_info;
  GUID action = WINTRUST_ACTION_GENERIC_VERIFY_V2;
  const LONG trust = WinVerifyTrust(static_cast<HWND>(INVALID_HANDLE_VALUE),
                                    &action, &trust_data);
  if (trust != 0) {
    LOG(ERROR) << "WinVerifyTrust failed: "
               << logging::SystemErrorCodeToString(trust);
    return false;
  }

  DWORD encoding = 0;
  HCERTSTORE store = nullptr;
  HCRYPTMSG message = nullptr;
  if (!CryptQueryObject(CERT_QUERY_OBJECT_FILE, base::as_wcstr(path.value()),
                        CERT_QUERY_CONTENT_FLAG_PKCS7_SIGNED_EMBED,
                        CERT_QUERY_FORMAT_FLAG_BINARY, 0, &encoding, nullptr,
                        nullptr, &store, &message, nullptr)) {
    PLOG(ERROR) << "CryptQueryObject";
    return false;
  }
  return CheckSigners(store, message, encoding,
                      ComputeAuthenticodeSha256(path));
}

// static
bool SignatureVerifier::CheckSigners(HCERTSTORE store_handle,
                                     HCRYPTMSG message_handle,
                                     DWORD encoding_type,
                                     const std::string& authenticode_sha256) {
  ScopedStore store(store_handle);
  ScopedMessage message(message_handle);
  if (GetSignerCount(message.get()) == 0) return false;

  // WinVerifyTrust checked the first signer only.
  std::vector<uint8_t> buffer;
  const CMSG_SIGNER_INFO* primary = GetSignerInfo(message.get(), 0, &buffer);
  if (!primary) return false;
  ScopedCertificate certificate =
      FindSignerCertificate(store.get(), encoding_type, *primary);
  if (certificate && IsExpectedSigner(certificate.get()))
    return ChainsToTrustedRoot(certificate.get(), store.get());

  for (DWORD i = 0; i < primary->UnauthAttrs.cAttr; ++i) {
    const CRYPT_ATTRIBUTE& attribute = primary->UnauthAttrs.rgAttr[i];
    if (!attribute.pszObjId ||
        strcmp(attribute.pszObjId, kNestedSignatureOid) != 0) {
      continue;
    }
    for (DWORD j = 0; j < attribute.cValue; ++j) {
      if (CheckNestedSignature(attribute.rgValue[j], encoding_type,
                               authenticode_sha256))
        return true;
    }
  }
  LOG(ERROR) << "No valid signature of the expected signer";
  return false;
}

}  // namespace installer
