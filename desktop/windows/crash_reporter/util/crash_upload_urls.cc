#include "desktop/windows/crash_reporter/util/crash_upload_urls.h"

#include "base/strings/string_number_conversions.h"
#include "base/strings/string_util.h"
#include "base/strings/stringprintf.h"
#include "base/strings/utf_string_conversions.h"
#include "desktop/windows/installer/common/branding_config.h"
#include "desktop/windows/installer/common/version_info.h"

namespace crash_reporter {

namespace {

CrashUploadUrls& Urls() {
  static CrashUploadUrls* urls = new CrashUploadUrls;
  return *urls;
}

bool IsUnreserved(unsigned char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
         (c >= '0' && c <= '9') || c == '-' || c == '.' || c == '_' || c == '~';
}

}  // namespace

void InitCrashUploadUrls() {
  CrashUploadUrls& urls = Urls();
  urls.crash_server_url = ReadEnvironmentString(kCrashServerUrlVariable);
  if (urls.crash_server_url.empty()) {
    urls.crash_server_url =
        base::UTF8ToUTF16(installer::BrandingConfig::GetUrl("crash"));
  }
  urls.crash_server_url = AppendEmailToUrl(
      urls.crash_server_url,
      ReadEnvironmentString(GetCrashEmailVariableName().c_str()));

  urls.collector_url =
      ReadEnvironmentString(kAlternativeCrashServerUrlVariable);
  if (urls.collector_url.empty()) urls.collector_url = kBuiltInCollectorUrl;

  urls.user_agent_suffix =
      base::UTF8ToUTF16(installer::VersionInfo::GetUserAgentEditionSuffix());
}

const CrashUploadUrls& GetCrashUploadUrls() { return Urls(); }

std::u16string GetCrashEmailVariableName() {
  return base::UTF8ToUTF16(
      base::ToUpperASCII(installer::BrandingConfig::GetProductName()) +
      "_CRASH_EMAIL");
}

std::u16string AppendEmailToUrl(const std::u16string& url,
                                const std::u16string& email) {
  if (email.empty()) return url;
  const char16_t separator =
      url.find(u'?') == std::u16string::npos ? u'?' : u'&';
  return url + separator + u"email=" +
         base::ASCIIToUTF16(PercentEncodeQueryValue(base::UTF16ToUTF8(email)));
}

std::string PercentEncodeQueryValue(base::StringPiece utf8) {
  std::string encoded;
  for (const char c : utf8) {
    const unsigned char byte = static_cast<unsigned char>(c);
    if (IsUnreserved(byte))
      encoded += c;
    else
      encoded += base::StringPrintf("%%%02X", byte);
  }
  return encoded;
}

bool ParseDuplicateCheckLocation(base::StringPiece16 location,
                                 std::u16string* id) {
  constexpr base::StringPiece16 kIdMarker = u"?id=";
  const size_t marker = location.find(kIdMarker);
  if (marker == base::StringPiece16::npos) return false;
  const size_t start = marker + kIdMarker.size();
  const size_t end = location.find(u'&', start);
  if (end == base::StringPiece16::npos) return false;
  *id = location.substr(start, end - start).as_string();
  return true;
}

std::u16string UintToWString(uint32_t value) {
  return base::UintToString16(value);
}

std::u16string Uint64ToWString(uint64_t value) {
  return base::Uint64ToString16(value);
}

}  // namespace crash_reporter
