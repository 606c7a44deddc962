#include "desktop/windows/installer/service/registry_entry_tables_win.h"

namespace installer {

namespace {

// A row for every root key.
const HKEY kAnyRoot = nullptr;

// Rows: key, value name (null: the default value), type, data, minimum
// Windows version index, root key, minimum release channel, clean depth.
const RegistryEntryTemplate kMainRegistryTable[] = {
    // 0
    {u"Software\\Classes\\{Product}{Stream}", u"FriendlyTypeName", REG_SZ,
     TextData(u"{Product} Web Document"), 1, kAnyRoot, 0, 1},
    // 1
    {u"Software\\Classes\\{Product}{Stream}", u"URL Protocol", REG_SZ, kNoData,
     1, kAnyRoot, 0, 1},
    // 2
    {u"Software\\Classes\\{Product}{Stream}\\DefaultIcon", nullptr, REG_SZ,
     TextData(u"{InstallFolder}\\Launcher.exe,0"), 1, kAnyRoot, 0, 1},
    // 3
    {u"Software\\Classes\\{Product}{Stream}\\shell\\open\\command", nullptr,
     REG_SZ,
     TextData(u"\"{InstallFolder}\\Launcher.exe\" -noautoupdate -- \"%1\""), 1,
     kAnyRoot, 0, 2},
    // 4
    {u"Software\\Classes\\{Product}{Stream}\\shell\\open\\ddeexec", nullptr,
     kRegTypeDeleteKey, kNoData, 1, HKEY_LOCAL_MACHINE, 0, 0},
    // 5
    {u"Software\\Classes\\{Product}{Stream}\\shell\\open\\ddeexec", nullptr,
     REG_SZ, TextData(u""), 1, HKEY_CURRENT_USER, 0, 2},
    // 6
    {u"Software\\Classes\\{Product}{Stream}\\shell\\open\\ddeexec\\Application",
     nullptr, REG_SZ, TextData(u""), 1, HKEY_CURRENT_USER, 0, 1},
    // 7
    {u"Software\\Classes\\{Product}{Stream}\\shell\\open\\ddeexec\\Topic",
     nullptr, REG_SZ, TextData(u""), 1, HKEY_CURRENT_USER, 0, 1},
    // 8
    {u"Software\\Classes\\.vnx", nullptr, REG_SZ,
     TextData(u"{Product}{Stream}.Extension"), 1, kAnyRoot, 0, 1},
    // 9
    {u"Software\\Classes\\.vnx\\OpenWithProgIDs", u"{Product}{Stream}",
     REG_NONE, kNoData, 1, kAnyRoot, 0, 1},
    // 10
    {u"Software\\Classes\\.vldownload\\OpenWithProgIDs", u"{Product}{Stream}",
     REG_NONE, kNoData, 1, kAnyRoot, 0, 0},
    // 11
    {u"Software\\Classes\\.htm\\OpenWithProgIDs", u"{Product}{Stream}",
     REG_NONE, kNoData, 1, kAnyRoot, 0, 0},
    // 12
    {u"Software\\Classes\\.html\\OpenWithProgIDs", u"{Product}{Stream}",
     REG_NONE, kNoData, 1, kAnyRoot, 0, 0},
    // 13
    {u"Software\\Classes\\.pdf\\OpenWithProgIDs", u"{Product}{Stream}",
     REG_NONE, kNoData, 1, kAnyRoot, 0, 0},
    // 14
    {u"Software\\Classes\\.shtml\\OpenWithProgIDs", u"{Product}{Stream}",
     REG_NONE, kNoData, 1, kAnyRoot, 0, 0},
    // 15
    {u"Software\\Classes\\.xht\\OpenWithProgIDs", u"{Product}{Stream}",
     REG_NONE, kNoData, 1, kAnyRoot, 0, 0},
    // 16
    {u"Software\\Classes\\.xhtml\\OpenWithProgIDs", u"{Product}{Stream}",
     REG_NONE, kNoData, 1, kAnyRoot, 0, 0},
    // 17
    {u"Software\\Classes\\Applications\\{Executable}\\shell\\open\\command",
     nullptr, REG_SZ, TextData(u"\"{InstallFolder}\\Launcher.exe\" \"%1\""), 1,
     kAnyRoot, 4, 4},
    // 18
    {u"Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\{Executable}",
     nullptr, REG_SZ, TextData(u"\"{InstallFolder}\\Launcher.exe\""), 1,
     kAnyRoot, 4, 0},
    // 19
    {u"Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\{Executable}",
     u"Path", REG_SZ, TextData(u"\"{InstallFolder}\""), 1, kAnyRoot, 4, 0},
    // 20
    {u"Software\\Microsoft\\Windows "
     u"NT\\CurrentVersion\\AppCompatFlags\\Compatibility Assistant\\Persisted",
     u"{InstallFolder}\\Launcher.exe", REG_DWORD, DwordData(32), 3, kAnyRoot, 0,
     0},
    // 21
    {u"Software\\RegisteredApplications", u"{Product} {Stream}", REG_SZ,
     TextData(u"Software\\Clients\\StartMenuInternet\\{Product}{Stream}"
              u"\\Capabilities"),
     3, kAnyRoot, 0, 0},
    // 22
    {u"Software\\Clients\\StartMenuInternet\\{Product}{Stream}", nullptr,
     REG_SZ, TextData(u"{Product} {Stream}"), 1, kAnyRoot, 0, 1},
    // 23
    {u"Software\\Clients\\StartMenuInternet\\{Product}{Stream}\\DefaultIcon",
     nullptr, REG_SZ, TextData(u"{InstallFolder}\\Launcher.exe,0"), 1, kAnyRoot,
     0, 1},
    // 24
    {u"Software\\Clients\\StartMenuInternet\\{Product}{Stream}\\InstallInfo",
     u"ShowIconsCommand", REG_SZ,
     TextData(u"\"{InstallFolder}\\Launcher.exe\" --showicons"), 1, kAnyRoot, 0,
     1},
    // 25
    {u"Software\\Clients\\StartMenuInternet\\{Product}{Stream}\\InstallInfo",
     u"HideIconsCommand", REG_SZ,
     TextData(u"\"{InstallFolder}\\Launcher.exe\" --hideicons"), 1, kAnyRoot, 0,
     1},
    // 26
    {u"Software\\Clients\\StartMenuInternet\\{Product}{Stream}\\InstallInfo",
     u"ReinstallCommand", REG_SZ,
     TextData(u"\"{InstallFolder}\\Launcher.exe\" --makedefaultbrowser"), 1,
     kAnyRoot, 0, 1},
    // 27
    {u"Software\\Clients\\StartMenuInternet\\{Product}{Stream}\\InstallInfo",
     u"IconsVisible", REG_DWORD, DwordData(1), 1, kAnyRoot, 0, 1},
    // 28
    {u"Software\\Clients\\StartMenuInternet\\{Product}{Stream}"
     u"\\shell\\open\\command",
     nullptr, REG_SZ, TextData(u"\"{InstallFolder}\\Launcher.exe\""), 1,
     kAnyRoot, 0, 2},
    // 29
    {u"Software\\Clients\\StartMenuInternet\\{Product}{Stream}\\Capabilities",
     u"ApplicationDescription", REG_SZ, TextData(u"Do more on the web"), 3,
     kAnyRoot, 0, 1},
    // 30
    {u"Software\\Clients\\StartMenuInternet\\{Product}{Stream}\\Capabilities",
     u"ApplicationIcon", REG_SZ,
     TextData(u"\"{InstallFolder}\\Launcher.exe\",0"), 3, kAnyRoot, 0, 1},
    // 31
    {u"Software\\Clients\\StartMenuInternet\\{Product}{Stream}\\Capabilities",
     u"ApplicationName", REG_SZ, TextData(u"{Product} {Stream}"), 3, kAnyRoot,
     0, 1},
    // 32
    {u"Software\\Clients\\StartMenuInternet\\{Product}{Stream}"
     u"\\Capabilities\\FileAssociations",
     u".crx", REG_SZ, TextData(u"{Product}{Stream}"), 3, kAnyRoot, 0, 1},
    // 33
    {u"Software\\Clients\\StartMenuInternet\\{Product}{Stream}"
     u"\\Capabilities\\FileAssociations",
     u".htm", REG_SZ, TextData(u"{Product}{Stream}"), 3, kAnyRoot, 0, 1},
    // 34
    {u"Software\\Clients\\StartMenuInternet\\{Product}{Stream}"
     u"\\Capabilities\\FileAssociations",
     u".html", REG_SZ, TextData(u"{Product}{Stream}"), 3, kAnyRoot, 0, 1},
    // 35
    {u"Software\\Clients\\StartMenuInternet\\{Product}{Stream}"
     u"\\Capabilities\\FileAssociations",
     u".nex", REG_SZ, TextData(u"{Product}{Stream}"), 3, kAnyRoot, 0, 1},
    // 36
    {u"Software\\Clients\\StartMenuInternet\\{Product}{Stream}"
     u"\\Capabilities\\FileAssociations",
     u".vldownload", REG_SZ, TextData(u"{Product}{Stream}"), 3, kAnyRoot, 0, 1},
    // 37
    {u"Software\\Clients\\StartMenuInternet\\{Product}{Stream}"
     u"\\Capabilities\\FileAssociations",
     u".pdf", REG_SZ, TextData(u"{Product}{Stream}"), 3, kAnyRoot, 0, 1},
    // 38
    {u"Software\\Clients\\StartMenuInternet\\{Product}{Stream}"
     u"\\Capabilities\\FileAssociations",
     u".shtml", REG_SZ, TextData(u"{Product}{Stream}"), 3, kAnyRoot, 0, 1},
    // 39
    {u"Software\\Clients\\StartMenuInternet\\{Product}{Stream}"
     u"\\Capabilities\\FileAssociations",
     u".xht", REG_SZ, TextData(u"{Product}{Stream}"), 3, kAnyRoot, 0, 1},
    // 40
    {u"Software\\Clients\\StartMenuInternet\\{Product}{Stream}"
     u"\\Capabilities\\FileAssociations",
     u".xhtml", REG_SZ, TextData(u"{Product}{Stream}"), 3, kAnyRoot, 0, 1},
    // 41
    {u"Software\\Clients\\StartMenuInternet\\{Product}{Stream}"
     u"\\Capabilities\\Startmenu",
     u"StartMenuInternet", REG_SZ, TextData(u"{Product}{Stream}"), 3, kAnyRoot,
     0, 1},
    // 42
    {u"Software\\Clients\\StartMenuInternet\\{Product}{Stream}"
     u"\\Capabilities\\UrlAssociations",
     u"http", REG_SZ, TextData(u"{Product}{Stream}"), 3, kAnyRoot, 0, 1},
    // 43
    {u"Software\\Clients\\StartMenuInternet\\{Product}{Stream}"
     u"\\Capabilities\\UrlAssociations",
     u"https", REG_SZ, TextData(u"{Product}{Stream}"), 3, kAnyRoot, 0, 1},
    // 44
    {u"Software\\Clients\\StartMenuInternet\\{Product}{Stream}"
     u"\\Capabilities\\UrlAssociations",
     u"ftp", REG_SZ, TextData(u"{Product}{Stream}"), 3, kAnyRoot, 0, 1},
    // 45
    {u"Software\\Clients\\StartMenuInternet\\{Product}{Stream}"
     u"\\Capabilities\\UrlAssociations",
     u"mailto", REG_SZ, TextData(u"{Product}{Stream}"), 3, kAnyRoot, 0, 1},
    // 46: first, so that an entry cut short names its folder
    {u"{Uninstall}", u"InstallLocation", REG_SZ, TextData(u"{InstallFolder}"),
     1, kAnyRoot, 0, 1},
    // 47
    {u"{Uninstall}", u"DisplayName", REG_SZ,
     TextData(u"{Product} {Stream} {Version}"), 1, kAnyRoot, 0, 1},
    // 48
    {u"{Uninstall}", u"DisplayIcon", REG_SZ,
     TextData(u"\"{InstallFolder}\\Launcher.exe\",0"), 1, kAnyRoot, 0, 1},
    // 49
    {u"{Uninstall}", u"DisplayVersion", REG_SZ, TextData(u"{Version}"), 1,
     kAnyRoot, 0, 1},
    // 50
    {u"{Uninstall}", u"HelpLink", REG_SZ, TextData(u"{HelpURL}"), 1, kAnyRoot,
     0, 1},
    // 51
    {u"{Uninstall}", u"NoModify", REG_DWORD, DwordData(1), 1, kAnyRoot, 0, 1},
    // 52
    {u"{Uninstall}", u"NoRepair", REG_DWORD, DwordData(1), 1, kAnyRoot, 0, 1},
    // 53
    {u"{Uninstall}", u"Publisher", REG_SZ, TextData(u"{Company}"), 1, kAnyRoot,
     0, 1},
    // 54
    {u"{Uninstall}", u"UninstallString", REG_SZ,
     TextData(u"\"{InstallFolder}\\Launcher.exe\" /uninstall"), 1, kAnyRoot, 0,
     1},
    // 55
    {u"{Uninstall}", u"URLInfoAbout", REG_SZ, TextData(u"{CompanyURL}"), 1,
     kAnyRoot, 0, 1},
    // 56
    {u"{Uninstall}", u"URLUpdateInfo", REG_SZ, TextData(u"{DownloadsURL}"), 1,
     kAnyRoot, 0, 1},
};

// The first rows of the main table.
constexpr size_t kProgIdRowCount = 8;

}  // namespace

std::span<const RegistryEntryTemplate> GetMainRegistryTable() {
  return kMainRegistryTable;
}

std::span<const RegistryEntryTemplate> GetProgIdRegistryTable() {
  return std::span<const RegistryEntryTemplate>(kMainRegistryTable)
      .first(kProgIdRowCount);
}

const RegistryEntryTemplate kSetLastInstallPathRegOp = {
    u"{CompanyRegistryKey}",
    u"Last {Stream} Install Path",
    REG_SZ,
    TextData(u"{InstallFolder}\\"),
    1,
    kAnyRoot,
    0,
    0};

const RegistryEntryTemplate kHideFromProgramsRegOp = {u"{Uninstall}",
                                                      u"SystemComponent",
                                                      REG_DWORD,
                                                      DwordData(1),
                                                      1,
                                                      kAnyRoot,
                                                      0,
                                                      1};

const RegistryEntryTemplate kStartMenuInternetDefaultRegOp = {
    u"Software\\Clients\\StartMenuInternet",
    nullptr,
    REG_SZ,
    TextData(u"{Product}{Stream}"),
    1,
    kAnyRoot,
    0,
    0};

}  // namespace installer
