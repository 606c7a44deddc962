#include <string>

#include "base/files/file_util.h"
#include "base/files/important_file_writer.h"
#include "desktop/windows/installer/service/install_log.h"
#include "desktop/windows/installer/service/xml_document_win.h"

namespace installer {

bool WriteInstallLog(XmlDocument* document, const InstallLog& log,
                     const base::FilePath& path) {
  std::string text;
  // The uninstaller trusts this file: an interrupted write must not leave a
  // truncated one in place of the previous log.
  return document->Create() && WriteInstallLogElements(log, document) &&
         document->SaveToString(&text) &&
         base::ImportantFileWriter::WriteFileAtomically(path, text);
}

bool ReadInstallLog(XmlDocument* document, InstallLog* out,
                    const base::FilePath& path) {
  out->files.clear();
  out->root_files.clear();
  out->hklm_keys.clear();
  out->hkcu_keys.clear();
  return document->Load(path) && ReadInstallLogElements(document, out);
}

base::FilePath InstallLogPathInFolder(const base::FilePath& folder) {
  const base::FilePath path = folder.Append(kInstallLogFileName);
  return base::PathExists(path) ? path
                                : folder.Append(kFormerInstallLogFileName);
}

bool ReadInstallLogFromFolder(XmlDocument* document, InstallLog* out,
                              const base::FilePath& folder) {
  return ReadInstallLog(document, out, InstallLogPathInFolder(folder));
}

}  // namespace installer
