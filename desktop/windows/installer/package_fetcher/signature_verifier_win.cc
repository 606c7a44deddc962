#include "desktop/windows/installer/package_fetcher/signature_verifier_win.h"

// clang-format off
#include <wintrust.h>
#include <softpub.h>
// clang-format on

#include <stddef.h>
#include <stdint.h>
#include <string.h>

#include <memory>
#include <type_traits>
#include <vector>

#include "base/files/memory_mapped_file.h"
#include "base/logging.h"
#include "base/strings/string_util_win.h"
#include "base/strings/utf_string_conversions.h"
#include "crypto/secure_hash.h"
#include "desktop/windows/installer/common/branding_config.h"
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

struct EngineFreer {
  void operator()(HCERTCHAINENGINE engine) const {
    CertFreeCertificateChainEngine(engine);
  }
};
using ScopedChainEngine =
    std::unique_ptr<std::remove_pointer_t<HCERTCHAINENGINE>, EngineFreer>;

// WinVerifyTrust checks the signature but, under Wine, not the root: the
// chain is checked here with the Authenticode policy, for code signing. A
// chain engine of its own sees the trusted roots as they are now (the
// process's default engine keeps the roots it first read).
bool ChainsToTrustedRoot(const CERT_CONTEXT* certificate,
                         HCERTSTORE message_store) {
  CERT_CHAIN_ENGINE_CONFIG config = {};
  // The size without the exclusive-root fields, which every version (and
  // Wine, which knows no other) accepts.
  config.cbSize = offsetof(CERT_CHAIN_ENGINE_CONFIG, hExclusiveRoot);
  HCERTCHAINENGINE engine_handle = nullptr;
  if (!CertCreateCertificateChainEngine(&config, &engine_handle)) {
    PLOG(ERROR) << "CertCreateCertificateChainEngine";
    return false;
  }
  ScopedChainEngine engine(engine_handle);
  char* usages[] = {const_cast<char*>(szOID_PKIX_KP_CODE_SIGNING)};
  CERT_CHAIN_PARA chain_para = {};
  chain_para.cbSize = sizeof(chain_para);
  chain_para.RequestedUsage.dwType = USAGE_MATCH_TYPE_AND;
  chain_para.RequestedUsage.Usage.cUsageIdentifier = 1;
  chain_para.RequestedUsage.Usage.rgpszUsageIdentifier = usages;
  const CERT_CHAIN_CONTEXT* chain_context = nullptr;
  if (!CertGetCertificateChain(engine.get(), certificate, nullptr,
                               message_store, &chain_para, 0, nullptr,
                               &chain_context)) {
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

std::string Sha256(const uint8_t* data, size_t size) {
  std::unique_ptr<crypto::SecureHash> hash =
      crypto::SecureHash::Create(crypto::SecureHash::SHA256);
  hash->Update(data, size);
  std::string digest(hash->GetHashLength(), '\0');
  hash->Finish(digest.data(), digest.size());
  return digest;
}

// The value octets of the DER element at the start of |der| (its tag and
// length dropped); false when the length does not fit.
bool DerValue(const std::vector<uint8_t>& der, size_t* start) {
  if (der.size() < 2) return false;
  size_t header = 2;
  size_t length = der[1];
  if (length & 0x80) {
    const size_t count = length & 0x7F;
    if (count == 0 || count > 4 || der.size() < 2 + count) return false;
    length = 0;
    for (size_t i = 0; i < count; ++i) length = length << 8 | der[2 + i];
    header += count;
  }
  if (der.size() - header != length) return false;
  *start = header;
  return true;
}

// The signer's authenticated attributes commit to the message's content:
// their message digest is the SHA-256 of the content's value octets. Wine's
// signature verification checks the signature over the attributes but not
// this, so a signature whose content was replaced would pass it.
bool AttributesMatchContent(HCRYPTMSG message, DWORD encoding,
                            const CMSG_SIGNER_INFO& signer) {
  if (!signer.HashAlgorithm.pszObjId ||
      strcmp(signer.HashAlgorithm.pszObjId, szOID_NIST_sha256) != 0) {
    LOG(ERROR) << "A signer's digest is not SHA-256";
    return false;
  }
  const CRYPT_ATTRIBUTE* digest_attribute = nullptr;
  for (DWORD i = 0; i < signer.AuthAttrs.cAttr; ++i) {
    const CRYPT_ATTRIBUTE& attribute = signer.AuthAttrs.rgAttr[i];
    if (attribute.pszObjId &&
        strcmp(attribute.pszObjId, szOID_PKCS_9_MESSAGE_DIGEST) == 0) {
      if (digest_attribute) return false;  // one, and only one
      digest_attribute = &attribute;
    }
  }
  std::vector<uint8_t> content;
  size_t value_start = 0;
  if (!digest_attribute || digest_attribute->cValue != 1 ||
      !GetMessageParam(message, CMSG_CONTENT_PARAM, 0, &content) ||
      !DerValue(content, &value_start)) {
    return false;
  }
  CRYPT_DATA_BLOB* signed_digest = nullptr;
  DWORD size = 0;
  const CRYPT_ATTR_BLOB& value = digest_attribute->rgValue[0];
  if (!CryptDecodeObjectEx(encoding, X509_OCTET_STRING, value.pbData,
                           value.cbData, CRYPT_DECODE_ALLOC_FLAG, nullptr,
                           &signed_digest, &size)) {
    PLOG(ERROR) << "CryptDecodeObjectEx";
    return false;
  }
  std::unique_ptr<void, LocalFreer> owner(signed_digest);
  const std::string digest =
      Sha256(content.data() + value_start, content.size() - value_start);
  if (signed_digest->cbData != digest.size() ||
      memcmp(signed_digest->pbData, digest.data(), digest.size()) != 0) {
    LOG(ERROR) << "A signature's content does not match its signed digest";
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

// Signer |index| of |message| counts: it is the expected signer, its
// attributes commit to the message's content, its signature verifies
// against its certificate, and the certificate chains to a trusted root.
bool SignerCounts(HCRYPTMSG message, HCERTSTORE store, DWORD encoding,
                  DWORD index) {
  std::vector<uint8_t> buffer;
  const CMSG_SIGNER_INFO* signer = GetSignerInfo(message, index, &buffer);
  if (!signer) return false;
  ScopedCertificate certificate =
      FindSignerCertificate(store, encoding, *signer);
  if (!certificate || !IsExpectedSigner(certificate.get()) ||
      !AttributesMatchContent(message, encoding, *signer)) {
    return false;
  }
  CMSG_CTRL_VERIFY_SIGNATURE_EX_PARA verify = {};
  verify.cbSize = sizeof(verify);
  verify.dwSignerIndex = index;
  verify.dwSignerType = CMSG_VERIFY_SIGNER_CERT;
  verify.pvSigner = const_cast<CERT_CONTEXT*>(certificate.get());
  if (!CryptMsgControl(message, 0, CMSG_CTRL_VERIFY_SIGNATURE_EX, &verify)) {
    PLOG(ERROR) << "A signature does not verify";
    return false;
  }
  return ChainsToTrustedRoot(certificate.get(), store);
}

// A nested signature counts when it signs this file and one of its signers
// counts. Its own nested signatures are not followed (crafted recursion
// could exhaust the stack).
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
    if (SignerCounts(message.get(), store.get(), encoding, i)) return true;
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

  // WinVerifyTrust checked the first signer only. Its checks are repeated
  // for the expected signer (Wine's leave the signed digest out).
  std::vector<uint8_t> buffer;
  const CMSG_SIGNER_INFO* primary = GetSignerInfo(message.get(), 0, &buffer);
  if (!primary) return false;
  if (SignsDigest(message.get(), encoding_type, authenticode_sha256) &&
      SignerCounts(message.get(), store.get(), encoding_type, 0)) {
    return true;
  }

  for (DWORD i = 0; i < primary->UnauthAttrs.cAttr; ++i) {
    const CRYPT_ATTRIBUTE& attribute = primary->UnauthAttrs.rgAttr[i];
    if (!attribute.pszObjId ||
        strcmp(attribute.pszObjId, kNestedSignatureOid) != 0) {
      continue;
    }
    for (DWORD j = 0; j < attribute.cValue; ++j) {
      if (CheckNestedSignature(attribute.rgValue[j], encoding_type,
                               authenticode_sha256)) {
        return true;
      }
    }
  }
  LOG(ERROR) << "No valid signature of the expected signer";
  return false;
}

}  // namespace installer
