#include "desktop/windows/installer/common/branding_config.h"

#include "base/json/json_reader.h"
#include "base/logging.h"
#include "base/strings/stringprintf.h"
#include "base/values.h"

namespace installer {

// Generated at build time from resources/branding.json.
extern const char kBuiltInBrandingDocument[];

std::unique_ptr<base::DictionaryValue> ParseBrandingDocument(
    base::StringPiece json) {
  std::unique_ptr<base::Value> value = base::JSONReader::Read(json);
  base::DictionaryValue* dictionary = nullptr;
  if (!value || !value->GetAsDictionary(&dictionary))
    return nullptr;
  value.release();
  return std::unique_ptr<base::DictionaryValue>(dictionary);
}

base::DictionaryValue& BrandingConfig::Document() {
  // Never freed: workers may still read branding while the process exits.
  static base::DictionaryValue* const document = [] {
    std::unique_ptr<base::DictionaryValue> found =
        LoadBrandingDocumentFromModules();
    if (!found) {
      found = ParseBrandingDocument(GetBuiltInDocument());
      CHECK(found) << "The built-in branding document does not parse";
    }
    return found.release();
  }();
  return *document;
}

std::string BrandingConfig::GetString(base::StringPiece key) {
  std::string value;
  return Document().GetString(key, &value) ? value : std::string();
}

bool BrandingConfig::GetBool(base::StringPiece key) {
  bool value = false;
  return Document().GetBoolean(key, &value) && value;
}

int BrandingConfig::GetInt(base::StringPiece key) {
  int value = 0;
  return Document().GetInteger(key, &value) ? value : 0;
}

void BrandingConfig::OverrideForTesting(base::StringPiece key,
                                        std::unique_ptr<base::Value> value) {
  Document().Set(key, std::move(value));
}

std::string BrandingConfig::GetCompanyName() {
  return GetString("company_name");
}

std::string BrandingConfig::GetCrashLogProductSuffix() {
  return GetString("crash_log_product_sufix");
}

std::string BrandingConfig::GetDefaultProfilePathTemplate() {
  return GetString("default_profile_path_template");
}

std::u16string BrandingConfig::GetDomain() {
  std::u16string value;
  return Document().GetString("domain", &value) ? value : std::u16string();
}

std::string BrandingConfig::GetExpectedSigner() {
  return GetString("expected_signer");
}

std::string BrandingConfig::GetFileNameBase() {
  return GetString("file_name_base");
}

int BrandingConfig::GetMajorDelta() { return GetInt("major_delta"); }

std::string BrandingConfig::GetProductName() {
  return GetString("product_name");
}

std::string BrandingConfig::GetShortcutSuffix() {
  return GetString("shortcut_suffix");
}

bool BrandingConfig::ScheduleAutoupdateTask() {
  return GetBool("schedule_autoupdate_task");
}

std::string BrandingConfig::GetUrl(base::StringPiece name) {
  return GetString(
      base::StringPrintf("%s.%s", "urls", std::string(name).c_str()));
}

bool BrandingConfig::UseCorvaneMajorForMinor() {
  return GetBool("use_corvane_major_for_minor");
}

std::string BrandingConfig::GetUserAgentName() {
  return GetString("user_agent_name");
}

std::string BrandingConfig::GetVisibleProductName() {
  return GetString("visible_product_name");
}

bool BrandingConfig::IsWhiteLabeled() { return GetBool("white_labeled"); }

base::StringPiece BrandingConfig::GetBuiltInDocument() {
  return kBuiltInBrandingDocument;
}

}  // namespace installer
