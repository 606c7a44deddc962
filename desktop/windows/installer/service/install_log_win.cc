#include <stdint.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "base/files/file_enumerator.h"
#include "base/files/file_util.h"
#include "base/files/important_file_writer.h"
#include "base/strings/string_number_conversions.h"
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

namespace {

// The number of a kept log's name; false for any other name.
bool KeptLogNumber(const std::u16string& name, int64_t* number) {
  const std::u16string prefix = std::u16string(kInstallLogFileName) + u".";
  if (name.size() <= prefix.size() ||
      base::FilePath::CompareIgnoreCase(name.substr(0, prefix.size()),
                                        prefix) != 0) {
    return false;
  }
  const std::u16string digits = name.substr(prefix.size());
  for (char16_t c : digits) {
    if (c < u'0' || c > u'9') return false;
  }
  return base::WideStringToInt64(digits, number);
}

}  // namespace

std::vector<base::FilePath> FindKeptInstallLogs(
    const base::FilePath& install_folder) {
  std::vector<std::pair<int64_t, base::FilePath>> numbered;
  base::FileEnumerator entries(install_folder.Append(kOldStatusFolderName),
                               false, base::FileEnumerator::FILES,
                               std::u16string(kInstallLogFileName) + u".*");
  for (base::FilePath entry = entries.Next(); !entry.empty();
       entry = entries.Next()) {
    int64_t number = 0;
    if (KeptLogNumber(entry.BaseName().value(), &number))
      numbered.emplace_back(number, entry);
  }
  std::sort(numbered.begin(), numbered.end(),
            [](const auto& a, const auto& b) { return a.first > b.first; });
  std::vector<base::FilePath> logs;
  for (auto& [number, path] : numbered) logs.push_back(std::move(path));
  return logs;
}

base::FilePath MakeKeptInstallLogPath(const base::FilePath& install_folder,
                                      int64_t seconds) {
  // Two logs may be kept within one second (an update keeps the previous
  // one and its own).
  const base::FilePath folder = install_folder.Append(kOldStatusFolderName);
  for (int64_t number = seconds;; ++number) {
    const base::FilePath path =
        folder.Append(std::u16string(kInstallLogFileName) + u"." +
                      base::Int64ToString16(number));
    if (!base::PathExists(path)) return path;
  }
}

bool IsPlainSubfolderName(const std::u16string& subfolder) {
  return !subfolder.empty() && subfolder != u"." && subfolder != u".." &&
         subfolder.find_first_of(u"\\/:") == std::u16string::npos;
}

bool SubfolderHolds(const base::FilePath& install_folder,
                    const std::u16string& subfolder,
                    const std::u16string& program) {
  return IsPlainSubfolderName(subfolder) &&
         base::PathExists(install_folder.Append(subfolder).Append(program));
}

}  // namespace installer
