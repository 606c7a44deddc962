#include "desktop/windows/installer/installer_help.h"

#include <iterator>

#include "base/feature_list.h"
#include "base/strings/stringprintf.h"
#include "base/strings/utf_string_conversions.h"
#include "desktop/windows/installer/common/installer_experiments.h"
#include "desktop/windows/installer/common/installer_names.h"
#include "desktop/windows/installer/common/installer_switches.h"
#include "desktop/windows/installer/common/version_info.h"

namespace installer {

namespace {

constexpr char kBoolean[] = "[0|1]";

// The texts are the installer's published help, word for word.
constexpr HelpRow kHelpRows[] = {
    {switches::kSilent, nullptr,
     "Run the installer fully unattended. No dialog will be displayed in this "
     "mode. If it isn't running with sufficient privileges, the installer "
     "will fail instead of prompting the user.",
     nullptr},
    {switches::kRunImmediately, nullptr,
     "Run the installer mostly unattended. The installation will start "
     "immediately and the progress dialog will be displayed. The installer "
     "will prompt the user for elevation if needed.",
     nullptr},
    {switches::kLanguage, "LANGUAGE",
     "Install %s in the specified language.This language will also be used "
     "during installation.",
     "The Operating system UI language."},
    {switches::kInstallFolder, "FOLDER", "Install %s in the specified folder.",
     nullptr},
    {switches::kAllUsers, kBoolean,
     "If true, install %s for all users on the system.",
     "True when running from an administrative acount."},
    {switches::kCopyOnly, kBoolean,
     "If true, the installer will only copy the files to the installation "
     "folder and will otherwise not perform any modification on the system.",
     "False."},
    {switches::kSingleProfile, kBoolean,
     "If true, the installer will set up %s to use a singleprofile located "
     "in the installation folder.",
     "False."},
    {switches::kSetDefaultBrowser, kBoolean,
     "If true, make %s the default browser for this user or computer.",
     "True for %s Stable."},
    {switches::kDesktopShortcut, kBoolean,
     "If true, create a shortcut for %s on the desktop.", "True."},
    {switches::kStartMenuShortcut, kBoolean,
     "If true, create a shortcut for %s on the start menu.", "True."},
    {switches::kQuickLaunchShortcut, kBoolean,
     "If true, create a shortcut for %s on the quick launch menu.",
     "False on Window 7 and later. True otherwise"},
    {switches::kPinToTaskbar, kBoolean, "If true, pin %s to the taskbar.",
     "True on Window 7 and later. False otherwise."},
    {switches::kImportBrowserData, kBoolean,
     "If true, %s is set up to import user data from the previously default "
     "browser when creating new user profiles.",
     "True."},
    {switches::kEnableStats, kBoolean,
     "If true, %s will by default gather and report statistics.", "True."},
    {switches::kEnableInstallerStats, kBoolean,
     "If true, installer will by default gather and report statistics.",
     "True."},
    {switches::kLaunchBrowser, kBoolean,
     "If true, %s is launched once the installation is completed.", "True."},
};

}  // namespace

const HelpRow* GetHelpRows(size_t* count) {
  *count = std::size(kHelpRows);
  return kHelpRows;
}

std::string BuildHelpText(const std::vector<std::u16string>& languages) {
  std::string text = base::StringPrintf(
      "%s Installer %s %s\n\n", VersionInfo::GetProductName().c_str(),
      VersionInfo::GetProductVersion().c_str(),
      VersionInfo::GetStream().c_str());
  text +=
      "The following command line parameters affect the behavior of the "
      "installer:\n";
  for (const HelpRow& row : kHelpRows) {
    text += base::StringPrintf("  %s", row.switch_name);
    if (row.placeholder) text += base::StringPrintf("=%s", row.placeholder);
    text += base::StringPrintf(
        "\n    %s\n", FormatWithProductName(row.description, false).c_str());
    if (row.default_value) {
      text += base::StringPrintf(
          "    Default value: %s\n",
          FormatWithProductName(row.default_value, false).c_str());
    }
  }
  text += base::StringPrintf("\nLanguages available for the %s option:\n",
                             switches::kLanguage);
  for (size_t i = 0; i < languages.size(); ++i) {
    if (i) text += ", ";
    text += base::UTF16ToUTF8(languages[i]);
  }
  text += "\n\nFeatures available through command-line switches:\n";
  size_t count = 0;
  const ExperimentFeature* experiments = InstallerExperiments::GetAll(&count);
  for (size_t i = 0; i < count; ++i) {
    text += base::StringPrintf(
        "\t--%s [Enabled by default: %s]\n",
        base::MakeFeatureSwitchName(experiments[i].name).c_str(),
        ExperimentFeatures::IsInFirstMask(experiments[i]) ? "true" : "false");
  }
  return text;
}

}  // namespace installer
