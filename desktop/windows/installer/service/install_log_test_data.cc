#include "desktop/windows/installer/service/install_log_test_data.h"

namespace installer {

InstallLog MakeReferenceInstallLog() {
  InstallLog log;
  log.version = "1.2.3.4";
  log.copy_only = false;
  log.all_users = true;
  log.pinned = true;
  log.app_id = "velna-app";
  log.path = u"C:\\Program Files\\Velna Beta";
  log.subfolder = u"Application";
  log.files = {u"C:\\Program Files\\Velna Beta\\Application\\velna.exe",
               u"C:\\Program Files\\Velna Beta\\Application\\Résumé.txt"};
  log.root_files = {u"C:\\Program Files\\Velna Beta\\Launcher.exe"};
  log.hklm_keys = {
      {1,
       "Software\\Classes\\VelnaBeta",
       {{"REG_SZ", "FriendlyTypeName", "Velna Web Document"},
        {"REG_SZ", "URL Protocol", ""}}},
      {0,
       "Software\\Classes\\.htm\\OpenWithProgIDs",
       {{"REG_NONE", "VelnaBeta", ""}}},
  };
  log.hkcu_keys = {
      {0,
       "Software\\Velna",
       {{"REG_SZ", "Last Beta Install Path",
         "C:\\Program Files\\Velna Beta\\"}}},
      {2,
       "Software\\VelnaTest\\Data",
       {{"REG_BINARY", "Bin", "0a,1b"}, {"REG_DWORD", "Count", "00000020"}}},
  };
  log.desktop_shortcut = u"C:\\Users\\Public\\Desktop\\Velna Beta.lnk";
  log.start_menu_shortcut =
      u"C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs\\Velna "
      u"Beta.lnk";
  log.quick_launch_shortcut =
      u"C:\\Users\\Tom & Jerry\\AppData\\Roaming\\Microsoft\\Internet "
      u"Explorer\\Quick Launch\\Velna Beta.lnk";
  return log;
}

const char kReferenceInstallLogText[] =
    R"(<?xml version="1.0"?>
<install_log version="1.2.3.4" copy_only="False" all_users="True" pinned="True" app_id="velna-app">
 <path subfolder="Application">C:\Program Files\Velna Beta</path>
 <files>
  <file>C:\Program Files\Velna Beta\Application\velna.exe</file>
  <file>C:\Program Files\Velna Beta\Application\Résumé.txt</file>
 </files>
 <root_files>
  <file>C:\Program Files\Velna Beta\Launcher.exe</file>
 </root_files>
 <registry hive="HKLM">
  <key path="Software\Classes\VelnaBeta" clean="1">
   <value name="FriendlyTypeName" type="REG_SZ">Velna Web Document</value>
   <value name="URL Protocol" type="REG_SZ"/>
  </key>
  <key path="Software\Classes\.htm\OpenWithProgIDs" clean="0">
   <value name="VelnaBeta" type="REG_NONE"/>
  </key>
 </registry>
 <registry hive="HKCU">
  <key path="Software\Velna" clean="0">
   <value name="Last Beta Install Path" type="REG_SZ">C:\Program Files\Velna Beta\</value>
  </key>
  <key path="Software\VelnaTest\Data" clean="2">
   <value name="Bin" type="REG_BINARY">0a,1b</value>
   <value name="Count" type="REG_DWORD">00000020</value>
  </key>
 </registry>
 <shortcut type="SC_DEST_COMMON_DESKTOP">C:\Users\Public\Desktop\Velna Beta.lnk</shortcut>
 <shortcut type="SC_DEST_COMMON_MENU">C:\ProgramData\Microsoft\Windows\Start Menu\Programs\Velna Beta.lnk</shortcut>
 <shortcut type="SC_DEST_QUICK_LAUNCH">C:\Users\Tom &amp; Jerry\AppData\Roaming\Microsoft\Internet Explorer\Quick Launch\Velna Beta.lnk</shortcut>
</install_log>
)";

}  // namespace installer
