// BrandingConfig: every product-specific word of the installer (names,
// company, signer, domain, service URLs, file-name base, version offsets),
// read from the branding document, a JSON object.
//
// The document is found once per process, on the first call of any getter:
// resource "TXT" 133 of the main executable, else of the test-harness module
// "_velautolib.pyd" beside it, else the document built into the engine (the
// same file the installer executable carries). It is never freed.
//
// The first call must come from the main thread during start-up; afterwards
// any thread may read. Keys are dotted paths ("urls.autoupdate"); a missing
// key or a value of another type reads as the getter's default.

#ifndef DESKTOP_WINDOWS_INSTALLER_COMMON_BRANDING_CONFIG_H_
#define DESKTOP_WINDOWS_INSTALLER_COMMON_BRANDING_CONFIG_H_

#include <memory>
#include <string>

#include "base/strings/string_piece.h"

namespace base {
class DictionaryValue;
class Value;
}  // namespace base

namespace installer {

class BrandingConfig {
 public:
  BrandingConfig() = delete;

  static std::string GetCompanyName();            // "company_name"
  static std::string GetCrashLogProductSuffix();  // "crash_log_product_sufix"
  // "default_profile_path_template": '/' separators, "{InternalStream}".
  static std::string GetDefaultProfilePathTemplate();
  static std::u16string GetDomain();             // "domain"
  static std::string GetExpectedSigner();        // "expected_signer"
  static std::string GetFileNameBase();          // "file_name_base"
  static int GetMajorDelta();                    // "major_delta"
  static std::string GetProductName();           // "product_name"
  static std::string GetShortcutSuffix();        // "shortcut_suffix"
  static bool ScheduleAutoupdateTask();          // "schedule_autoupdate_task"
  // "urls." + |name|: "autoupdate", "crash", "download_full_windows", "help",
  // "homepage", "download", "uninstall_survey".
  static std::string GetUrl(base::StringPiece name);
  static bool UseCorvaneMajorForMinor();  // "use_corvane_major_for_minor"
  static std::string GetUserAgentName();       // "user_agent_name"
  static std::string GetVisibleProductName();  // "visible_product_name"
  static bool IsWhiteLabeled();                // "white_labeled"

  // The typed lookups under the getters: the value at |key| or the default.
  static std::string GetString(base::StringPiece key);
  static bool GetBool(base::StringPiece key);
  static int GetInt(base::StringPiece key);

  // The text of the document built into the engine.
  static base::StringPiece GetBuiltInDocument();

  // Replaces the value at the dotted |key| of this process's document. Only
  // for tests and test hosts, before other threads read the branding.
  static void OverrideForTesting(base::StringPiece key,
                                 std::unique_ptr<base::Value> value);

 private:
  // The process's document, found and parsed on first use.
  static base::DictionaryValue& Document();
};

// Parses |json| as a branding document: the dictionary, or null when the text
// is not a JSON object.
std::unique_ptr<base::DictionaryValue> ParseBrandingDocument(
    base::StringPiece json);

// The platform's search for the document text (the resources on Windows).
// Empty when no module holds a document that parses to an object.
std::unique_ptr<base::DictionaryValue> LoadBrandingDocumentFromModules();

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_COMMON_BRANDING_CONFIG_H_
