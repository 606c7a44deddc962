// The installer's help text as a user sees it with the shipped branding,
// character for character (its typos are part of the published text).

#ifndef DESKTOP_WINDOWS_INSTALLER_TEST_GOLDEN_HELP_TEXT_H_
#define DESKTOP_WINDOWS_INSTALLER_TEST_GOLDEN_HELP_TEXT_H_

#include <string>

namespace installer {
namespace test {

// The text before and after the line of available languages.
inline constexpr char kGoldenHelpHead[] =
    "Velna Installer 41.0.2353.23 beta\n"
    "\n"
    "The following command line parameters affect the behavior of the "
    "installer:\n"
    "  silent\n"
    "    Run the installer fully unattended. No dialog will be displayed in "
    "this mode. If it isn't running with sufficient privileges, the installer "
    "will fail instead of prompting the user.\n"
    "  runimmediately\n"
    "    Run the installer mostly unattended. The installation will start "
    "immediately and the progress dialog will be displayed. The installer "
    "will prompt the user for elevation if needed.\n"
    "  language=LANGUAGE\n"
    "    Install Velna in the specified language.This language will also be "
    "used during installation.\n"
    "    Default value: The Operating system UI language.\n"
    "  installfolder=FOLDER\n"
    "    Install Velna in the specified folder.\n"
    "  allusers=[0|1]\n"
    "    If true, install Velna for all users on the system.\n"
    "    Default value: True when running from an administrative acount.\n"
    "  copyonly=[0|1]\n"
    "    If true, the installer will only copy the files to the installation "
    "folder and will otherwise not perform any modification on the system.\n"
    "    Default value: False.\n"
    "  singleprofile=[0|1]\n"
    "    If true, the installer will set up Velna to use a singleprofile "
    "located in the installation folder.\n"
    "    Default value: False.\n"
    "  setdefaultbrowser=[0|1]\n"
    "    If true, make Velna the default browser for this user or computer.\n"
    "    Default value: True for Velna Stable.\n"
    "  desktopshortcut=[0|1]\n"
    "    If true, create a shortcut for Velna on the desktop.\n"
    "    Default value: True.\n"
    "  startmenushortcut=[0|1]\n"
    "    If true, create a shortcut for Velna on the start menu.\n"
    "    Default value: True.\n"
    "  quicklaunchshortcut=[0|1]\n"
    "    If true, create a shortcut for Velna on the quick launch menu.\n"
    "    Default value: False on Window 7 and later. True otherwise\n"
    "  pintotaskbar=[0|1]\n"
    "    If true, pin Velna to the taskbar.\n"
    "    Default value: True on Window 7 and later. False otherwise.\n"
    "  import-browser-data=[0|1]\n"
    "    If true, Velna is set up to import user data from the previously "
    "default browser when creating new user profiles.\n"
    "    Default value: True.\n"
    "  enable-stats=[0|1]\n"
    "    If true, Velna will by default gather and report statistics.\n"
    "    Default value: True.\n"
    "  enable-installer-stats=[0|1]\n"
    "    If true, installer will by default gather and report statistics.\n"
    "    Default value: True.\n"
    "  launchbrowser=[0|1]\n"
    "    If true, Velna is launched once the installation is completed.\n"
    "    Default value: True.\n"
    "\n"
    "Languages available for the language option:\n";
inline constexpr char kGoldenHelpTail[] =
    "\n"
    "\n"
    "Features available through command-line switches:\n"
    "\t--with-feature:installer-experiment-test [Enabled by default: false]\n"
    "\t--with-feature:installer-hide-from-program-and-features [Enabled by "
    "default: false]\n"
    "\t--with-feature:installer-pref-default-overrides-support [Enabled by "
    "default: true]\n"
    "\t--with-feature:installer-support-x64-download [Enabled by default: "
    "false]\n";

// The whole text for the language list |languages| ("en, de").
inline std::string GoldenHelpText(const std::string& languages) {
  return kGoldenHelpHead + languages + kGoldenHelpTail;
}

}  // namespace test
}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_TEST_GOLDEN_HELP_TEXT_H_
