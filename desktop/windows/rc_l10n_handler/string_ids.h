// The ids of the installer's localised strings, as the string tables of every
// language carry them (English texts in the comments).

#ifndef DESKTOP_WINDOWS_RC_L10N_HANDLER_STRING_IDS_H_
#define DESKTOP_WINDOWS_RC_L10N_HANDLER_STRING_IDS_H_

#include <cstdint>

namespace installer {

inline constexpr std::uint32_t kIdsFirst = 37000;
inline constexpr std::uint32_t kIdsInstallerTitle = 37000;  // Velna Installer
inline constexpr std::uint32_t kIdsOk = 37001;
inline constexpr std::uint32_t kIdsCancel = 37002;
inline constexpr std::uint32_t kIdsYes = 37003;
inline constexpr std::uint32_t kIdsNo = 37004;
// The terms line: "$1" is the accept label; one <a href="tos"> anchor.
inline constexpr std::uint32_t kIdsTermsLine = 37005;
inline constexpr std::uint32_t kIdsOptions = 37006;
inline constexpr std::uint32_t kIdsAcceptAndInstall = 37007;
inline constexpr std::uint32_t kIdsAcceptAndUpgrade = 37008;
inline constexpr std::uint32_t kIdsBack = 37009;
inline constexpr std::uint32_t kIdsLanguageLabel = 37010;
inline constexpr std::uint32_t kIdsInstallForLabel = 37011;
inline constexpr std::uint32_t kIdsInstallPathLabel = 37012;
inline constexpr std::uint32_t kIdsInstallForAllUsersIn = 37013;
inline constexpr std::uint32_t kIdsInstallForCurrentUserIn = 37014;
inline constexpr std::uint32_t kIdsStandaloneInstallIn = 37015;
inline constexpr std::uint32_t kIdsChangeFolder = 37016;
inline constexpr std::uint32_t kIdsInvalidPath = 37017;
inline constexpr std::uint32_t kIdsMakeDefaultBrowser = 37018;
inline constexpr std::uint32_t kIdsImportData = 37019;
inline constexpr std::uint32_t kIdsShareUsageData = 37020;
inline constexpr std::uint32_t kIdsSecondSlogan = 37021;
inline constexpr std::uint32_t kIdsSlogan = 37022;  // "$1" = kIdsSloganProduct
inline constexpr std::uint32_t kIdsSloganProduct = 37023;
inline constexpr std::uint32_t kIdsThankYou = 37024;
inline constexpr std::uint32_t kIdsDownloading = 37025;
inline constexpr std::uint32_t kIdsExtracting = 37026;
inline constexpr std::uint32_t kIdsInstalling = 37027;
inline constexpr std::uint32_t kIdsInstallingForUser = 37028;  // "$1" = user
inline constexpr std::uint32_t kIdsUninstalling = 37029;
inline constexpr std::uint32_t kIdsSearchEngineOffer = 37030;
inline constexpr std::uint32_t kIdsBrowseForFolder = 37031;
inline constexpr std::uint32_t kIdsAllUsers = 37032;
inline constexpr std::uint32_t kIdsCurrentUser = 37033;
inline constexpr std::uint32_t kIdsStandalone = 37034;
inline constexpr std::uint32_t kIdsUninstallQuestion = 37035;
inline constexpr std::uint32_t kIdsDeleteUserData = 37036;
inline constexpr std::uint32_t kIdsUninstall = 37037;
inline constexpr std::uint32_t kIdsQuitInstall = 37038;
inline constexpr std::uint32_t kIdsQuitUninstall = 37039;
// Install-mode help: caption and explanation for all users, current user
// and stand-alone.
inline constexpr std::uint32_t kIdsHelpAllUsersCaption = 37040;
inline constexpr std::uint32_t kIdsHelpAllUsersText = 37041;
inline constexpr std::uint32_t kIdsHelpCurrentUserCaption = 37042;
inline constexpr std::uint32_t kIdsHelpCurrentUserText = 37043;
inline constexpr std::uint32_t kIdsHelpStandaloneCaption = 37044;
inline constexpr std::uint32_t kIdsHelpStandaloneText = 37045;
inline constexpr std::uint32_t kIdsInstallFailedHeading = 37046;
inline constexpr std::uint32_t kIdsUninstallFailedHeading = 37047;
inline constexpr std::uint32_t kIdsTryAgain = 37048;
inline constexpr std::uint32_t kIdsGetFullInstaller = 37049;
inline constexpr std::uint32_t kIdsCurrentUserNotice = 37050;
inline constexpr std::uint32_t kIdsLanguageName = 37051;  // the own name
inline constexpr std::uint32_t kIdsTaskDescription = 37052;
inline constexpr std::uint32_t kIdsDownloadFailed = 37053;
inline constexpr std::uint32_t kIdsPackageCorrupted = 37054;
inline constexpr std::uint32_t kIdsInstallError = 37055;
inline constexpr std::uint32_t kIdsUninstallError = 37056;
inline constexpr std::uint32_t kIdsFolderBusy = 37057;
inline constexpr std::uint32_t kIdsLocationRefused = 37058;
inline constexpr std::uint32_t kIdsFolderNotCreated = 37059;  // "$1" = folder
inline constexpr std::uint32_t kIdsInsufficientPrivileges = 37060;
inline constexpr std::uint32_t kIdsNoAdministratorPrivileges = 37061;
inline constexpr std::uint32_t kIdsCopyFailed = 37062;  // "$1" = file
inline constexpr std::uint32_t kIdsBrowserRunning = 37063;
// "$1" = the full-installer button's label.
inline constexpr std::uint32_t kIdsUnsupportedWindows = 37064;
inline constexpr std::uint32_t kIdsNoSse2 = 37065;
// The progress caption while a download waits for the network to come back.
inline constexpr std::uint32_t kIdsWaitingForNetwork = 37066;
inline constexpr std::uint32_t kIdsLast = 37066;

}  // namespace installer

#endif  // DESKTOP_WINDOWS_RC_L10N_HANDLER_STRING_IDS_H_
