#include <windows.h>

#include "desktop/windows/installer/test/installation_test_util.h"
// After windows.h.
#include <objbase.h>

#include "base/files/file_util.h"
#include "desktop/windows/installer/service/xml_document_win.h"

namespace installer {
namespace test {

InstallLog MakeInstallLog(const base::FilePath& folder, bool all_users) {
  InstallLog log;
  log.all_users = all_users;
  log.path = folder.value();
  log.version = "41.0.2353.22";
  log.files = {u"velna.exe"};
  return log;
}

bool WriteInstallationLog(const base::FilePath& folder, const InstallLog& log,
                          bool former_engine) {
  if (!base::FileUtil::CreateDirectory(folder)) return false;
  XmlDocument document;
  return WriteInstallLog(&document, log,
                         folder.Append(former_engine ? kFormerInstallLogFileName
                                                     : kInstallLogFileName));
}

bool WriteTextFile(const base::FilePath& path, const std::string& contents) {
  return base::FileUtil::CreateDirectory(path.DirName()) &&
         base::WriteBufferToFile(path, contents.data(),
                                 static_cast<int>(contents.size())) ==
             static_cast<int>(contents.size());
}

}  // namespace test
}  // namespace installer
