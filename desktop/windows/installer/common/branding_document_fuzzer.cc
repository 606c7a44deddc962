// Feeds arbitrary text to the branding document's parser and, when it is a
// JSON object, makes it the process's branding (its keys over the built-in
// document's, so that every run starts from the same state) and reads every
// value through the getters and the version constants derived from them: a
// document of the test harness's module may hold any values of any type.

#include <stddef.h>
#include <stdint.h>
#include <stdlib.h>

#include <memory>
#include <string>

#include "base/strings/string_piece.h"
#include "base/values.h"
#include "desktop/windows/installer/common/branding_config.h"
#include "desktop/windows/installer/common/version_info.h"

namespace {

constexpr const char* kKeys[] = {
    "company_name",
    "product_name",
    "visible_product_name",
    "file_name_base",
    "user_agent_name",
    "domain",
    "expected_signer",
    "default_profile_path_template",
    "major_delta",
    "use_corvane_major_for_minor",
    "schedule_autoupdate_task",
    "white_labeled",
    "crash_log_product_sufix",
    "shortcut_suffix",
    "urls",
};

constexpr const char* kUrls[] = {
    "autoupdate", "crash",    "download",        "download_full_windows",
    "help",       "homepage", "uninstall_survey"};

// Keeps the reads from being left out.
volatile size_t g_sink = 0;

const base::DictionaryValue& BuiltIn() {
  static const base::DictionaryValue* const document =
      installer::ParseBrandingDocument(
          installer::BrandingConfig::GetBuiltInDocument())
          .release();
  return *document;
}

// Each known key of the process's document: |document|'s value, else the
// built-in one.
void UseDocument(const base::DictionaryValue& document) {
  for (const char* key : kKeys) {
    const base::Value* value = nullptr;
    if (!document.GetWithoutPathExpansion(key, &value))
      BuiltIn().GetWithoutPathExpansion(key, &value);
    installer::BrandingConfig::OverrideForTesting(
        key, value ? value->DeepCopy() : base::Value::CreateNullValue());
  }
}

void ReadEverything() {
  using installer::BrandingConfig;
  using installer::VersionInfo;
  std::string text =
      BrandingConfig::GetCompanyName() +
      BrandingConfig::GetCrashLogProductSuffix() +
      BrandingConfig::GetDefaultProfilePathTemplate() +
      BrandingConfig::GetExpectedSigner() + BrandingConfig::GetFileNameBase() +
      BrandingConfig::GetProductName() + BrandingConfig::GetShortcutSuffix() +
      BrandingConfig::GetUserAgentName() +
      BrandingConfig::GetVisibleProductName();
  for (const char* url : kUrls) text += BrandingConfig::GetUrl(url);
  const std::u16string domain = BrandingConfig::GetDomain();
  const bool flags = BrandingConfig::ScheduleAutoupdateTask() ^
                     BrandingConfig::UseCorvaneMajorForMinor() ^
                     BrandingConfig::IsWhiteLabeled();
  text += VersionInfo::GetProductVersion() + VersionInfo::GetProductName() +
          VersionInfo::GetUserAgentEditionSuffix() +
          VersionInfo::GetInstallFolderName();
  // A version's components are never negative.
  if (VersionInfo::GetMajorVersion() < 0) abort();
  g_sink = text.size() + domain.size() + flags;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::unique_ptr<base::DictionaryValue> document =
      installer::ParseBrandingDocument(
          base::StringPiece(reinterpret_cast<const char*>(data), size));
  if (!document) return 0;
  UseDocument(*document);
  ReadEverything();
  return 0;
}
