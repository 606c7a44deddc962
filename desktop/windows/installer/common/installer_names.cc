#include "desktop/windows/installer/common/installer_names.h"

#include "base/strings/string_util.h"
#include "base/strings/stringprintf.h"
#include "base/strings/utf_string_conversions.h"
#include "desktop/windows/installer/common/branding_config.h"

namespace installer {

namespace {

constexpr char16_t kLogSuffix[] = u".log";
constexpr char16_t kPackageRole[] = u"package";
constexpr char16_t kElevatedRole[] = u"elevated";
// "YYYYMMDDhhmmss".
constexpr size_t kTimeDigits = 14;
// A 32-bit process id or random number.
constexpr size_t kMaxNumberDigits = 10;
// A name is handed on twice at most: the backend's to its elevated copy,
// and that copy's to the package's backend.
constexpr int kMaxRoles = 2;

const std::string& CachedProductName() {
  // Never freed: a worker may still format while the process exits.
  static const std::string* const name =
      new std::string(BrandingConfig::GetProductName());
  return *name;
}

// Takes |count| ASCII digits from the front of |text|, or with |up_to| from
// 1 to |count| of them.
bool ConsumeDigits(base::StringPiece16* text, size_t count, bool up_to) {
  size_t digits = 0;
  while (digits < text->size() && digits < count && (*text)[digits] >= u'0' &&
         (*text)[digits] <= u'9') {
    ++digits;
  }
  if (digits == 0 || (!up_to && digits != count)) return false;
  text->remove_prefix(digits);
  return true;
}

bool ConsumePrefix(base::StringPiece16* text, base::StringPiece16 prefix) {
  if (!text->starts_with(prefix)) return false;
  text->remove_prefix(prefix.size());
  return true;
}

// |log_name| with "_" and |role| before its ".log".
std::u16string WithRole(const std::u16string& log_name, const char16_t* role) {
  const std::u16string suffix = kLogSuffix;
  const size_t stem =
      log_name.size() >= suffix.size() ? log_name.size() - suffix.size() : 0;
  return log_name.substr(0, stem) + u"_" + role + suffix;
}

}  // namespace

std::u16string GetCompanyRegistryPath() {
  // Widened unit by unit: the branding names are ASCII.
  return u"Software\\" + base::ASCIIToUTF16(BrandingConfig::GetCompanyName());
}

std::string FormatWithProductName(base::StringPiece format, bool lower_case) {
  std::string text(format);
  const size_t placeholder = text.find("%s");
  if (placeholder != std::string::npos) {
    const std::string& name = CachedProductName();
    text.replace(placeholder, 2, lower_case ? base::ToLowerASCII(name) : name);
  }
  return text;
}

std::u16string GetInstallerFolderName() {
  return base::UTF8ToUTF16(FormatWithProductName("%s Installer", false));
}

bool IsInstallerLogFileName(const std::u16string& name) {
  // Exactly the names the product makes: any other length might not fit
  // the log folder, and a log that cannot be opened there is lost.
  const std::u16string prefix =
      base::UTF8ToUTF16(FormatWithProductName("%s_installer_", true));
  base::StringPiece16 rest(name);
  if (!ConsumePrefix(&rest, prefix) ||
      !ConsumeDigits(&rest, kTimeDigits, false)) {
    return false;
  }
  if (rest.size() > 1 && rest[0] == u'_' && rest[1] >= u'0' &&
      rest[1] <= u'9') {
    rest.remove_prefix(1);
    if (!ConsumeDigits(&rest, kMaxNumberDigits, true)) return false;
  }
  for (int roles = 0; roles < kMaxRoles && ConsumePrefix(&rest, u"_");
       ++roles) {
    if (!ConsumePrefix(&rest, kPackageRole) &&
        !ConsumePrefix(&rest, kElevatedRole)) {
      return false;
    }
  }
  return rest == base::StringPiece16(kLogSuffix);
}

std::u16string GetPackageBackendLogFileName(
    const std::u16string& backend_log_name) {
  return WithRole(backend_log_name, kPackageRole);
}

std::u16string GetElevatedBackendLogFileName(
    const std::u16string& backend_log_name) {
  return WithRole(backend_log_name, kElevatedRole);
}

std::u16string GetInstallerLogFileName(const LogFileTime& time,
                                       uint32_t process_id) {
  std::string name =
      FormatWithProductName("%s_installer", true) +
      base::StringPrintf("_%04d%02d%02d%02d%02d%02d", time.year, time.month,
                         time.day, time.hour, time.minute, time.second);
  if (process_id != 0) name += "_" + std::to_string(process_id);
  return base::UTF8ToUTF16(name + ".log");
}

}  // namespace installer
