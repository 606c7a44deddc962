// The fetcher's portable parts: status texts and the names of its files.

#include "desktop/windows/installer/package_fetcher/package_fetcher.h"

#include "base/strings/stringprintf.h"
#include "base/version.h"

namespace installer {

const char* GetFetcherStatusResultText(int status) {
  switch (status) {
    case PACKAGE_READY:
      return "package_ready";
    case INITIALIZATION_FAILED:
      return "initialization_failed";
    case DOWNLOAD_FAILED:
      return "download_failed";
    case UNPACKING_FAILED:
      return "unpacking_failed";
    default:
      return "invalid";
  }
}

std::u16string MakeDownloadFileName(const base::Time::Exploded& now) {
  return base::StringPrintfWide(u"velna_installer_%02d%02d%02d%02d%02d%02d.exe",
                                now.year, now.month, now.day_of_month, now.hour,
                                now.minute, now.second);
}

base::FilePath GetPackageFolder(const base::FilePath& download_path) {
  return download_path.RemoveExtension();
}

base::FilePath GetArchivePath(const base::FilePath& download_path) {
  return download_path.ReplaceExtension(u"7z");
}

std::string ChooseInstallerVersion(const std::string& own_version,
                                   const std::string& override_version) {
  // How far below the installer's own version an override may go.
  constexpr uint64_t kOverrideRange = 50;
  const base::Version override_parsed(override_version);
  const base::Version own(own_version);
  if (!override_parsed.IsValid()) return own_version;
  const uint64_t own_first = own.IsValid() ? own.components()[0] : 0;
  if (override_parsed.components()[0] + kOverrideRange < own_first)
    return own_version;
  return override_version;
}

bool IsDownloadedVersionAcceptable(const std::string& output,
                                   const std::string& version) {
  const base::Version downloaded(output);
  return downloaded.IsValid() &&
         downloaded.CompareTo(base::Version(version)) >= 0;
}

}  // namespace installer
