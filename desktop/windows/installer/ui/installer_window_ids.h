// The resource and control ids of the installer window: the dialog
// templates 101 (main dialog) and 138 (options, a child of the main dialog)
// and the pictures and texts it loads, all resources of the installer
// executable. The templates in resources/main_dialog.rc and
// resources/options_dialog.rc carry the same numbers.

#ifndef DESKTOP_WINDOWS_INSTALLER_UI_INSTALLER_WINDOW_IDS_H_
#define DESKTOP_WINDOWS_INSTALLER_UI_INSTALLER_WINDOW_IDS_H_

namespace installer {

inline constexpr int kMainDialogId = 101;
inline constexpr int kOptionsDialogId = 138;
inline constexpr int kInstallerIconId = 1;
inline constexpr int kBackgroundPictureId = 139;  // "JPG"
inline constexpr int kLogoPictureId = 140;        // "PNG"
inline constexpr int kErrorBadgePictureId = 141;  // "PNG"
inline constexpr int kTermsTextId = 142;          // "TXT", UTF-8

namespace controls {

// The main dialog.
inline constexpr int kLogo = 1000;
inline constexpr int kOptionsButton = 1001;
inline constexpr int kUninstallCancel = 1002;
inline constexpr int kAccept = 1003;
inline constexpr int kFullInstaller = 1004;
inline constexpr int kRetry = 1005;
inline constexpr int kUninstall = 1006;
inline constexpr int kSlogan = 1007;
inline constexpr int kTermsLine = 1008;
inline constexpr int kProgressHeading = 1009;
inline constexpr int kErrorHeading = 1010;
inline constexpr int kMessage = 1011;
inline constexpr int kTermsText = 1012;
inline constexpr int kBack = 1013;
inline constexpr int kProgressBar = 1025;
inline constexpr int kRedText = 1028;
inline constexpr int kUninstallQuestion = 1029;
inline constexpr int kDeleteProfile = 1030;
inline constexpr int kUninstallErrorHeading = 1038;

// The options dialog.
inline constexpr int kLanguageList = 1014;
inline constexpr int kInstallForList = 1015;
inline constexpr int kInstallPath = 1016;
inline constexpr int kChangeFolder = 1018;
inline constexpr int kDefaultBrowser = 1022;
inline constexpr int kImportData = 1023;
inline constexpr int kUsageData = 1024;
inline constexpr int kInvalidPath = 1027;
inline constexpr int kLanguageLabel = 1031;
inline constexpr int kInstallForLabel = 1032;
inline constexpr int kInstallPathLabel = 1033;

}  // namespace controls

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_UI_INSTALLER_WINDOW_IDS_H_
