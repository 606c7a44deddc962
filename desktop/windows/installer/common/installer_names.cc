#include "desktop/windows/installer/common/installer_names.h"

#include "base/strings/string_util.h"
#include "base/strings/stringprintf.h"
#include "base/strings/utf_string_conversions.h"
#include "desktop/windows/installer/common/branding_config.h"

namespace installer {

namespace {

const std::string& CachedProductName() {
  // Never freed: a worker may still format while the process exits.
  static const std::string* const name =
      new std::string(BrandingConfig::GetProductName());
  return *name;
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
  const std::u16string prefix =
      base::UTF8ToUTF16(FormatWithProductName("%s_installer_", true));
  const std::u16string suffix = u".log";
  if (name.size() <= prefix.size() + suffix.size() ||
      name.compare(0, prefix.size(), prefix) != 0 ||
      name.compare(name.size() - suffix.size(), suffix.size(), suffix) != 0) {
    return false;
  }
  for (size_t i = prefix.size(); i < name.size() - suffix.size(); ++i) {
    const char16_t c = name[i];
    if (!(c >= u'0' && c <= u'9') && !(c >= u'a' && c <= u'z') &&
        !(c >= u'A' && c <= u'Z') && c != u'_') {
      return false;
    }
  }
  return true;
}

namespace {

// |log_name| with "_" and |role| before its ".log".
std::u16string WithRole(const std::u16string& log_name,
                        const std::u16string& role) {
  const std::u16string suffix = u".log";
  const size_t stem =
      log_name.size() >= suffix.size() ? log_name.size() - suffix.size() : 0;
  return log_name.substr(0, stem) + u"_" + role + suffix;
}

}  // namespace

std::u16string GetPackageBackendLogFileName(
    const std::u16string& backend_log_name) {
  return WithRole(backend_log_name, u"package");
}

std::u16string GetElevatedBackendLogFileName(
    const std::u16string& backend_log_name) {
  return WithRole(backend_log_name, u"elevated");
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
