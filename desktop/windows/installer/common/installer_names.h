// Names the entry point makes from the branding's product name: the
// installer's folder name (for downloads and logs) and its log file name.
// Portable; any thread once the branding has been read.

#ifndef DESKTOP_WINDOWS_INSTALLER_COMMON_INSTALLER_NAMES_H_
#define DESKTOP_WINDOWS_INSTALLER_COMMON_INSTALLER_NAMES_H_

#include <stdint.h>

#include <string>

#include "base/strings/string_piece.h"

namespace installer {

// |format| with its one "%s" replaced by the branding's product name (read
// once per process), lower-cased in ASCII when |lower_case| is set. A format
// without "%s" comes back unchanged.
std::string FormatWithProductName(base::StringPiece format, bool lower_case);

// "Software\" and the branding's company name: the company's registry key.
std::u16string GetCompanyRegistryPath();

// The product name and " Installer": the installer's own folder inside the
// temporary or download folder.
std::u16string GetInstallerFolderName();

// A local time as the log file name needs it.
struct LogFileTime {
  int year;
  int month;
  int day;
  int hour;
  int minute;
  int second;
};

// The lower-case product name, "_installer", then "_YYYYMMDDhhmmss" of
// |time|, then "_" and |process_id| unless it is 0, then ".log".
std::u16string GetInstallerLogFileName(const LogFileTime& time,
                                       uint32_t process_id = 0);

// Whether |name| may name a log file in the installer's log folder: exactly
// one of GetInstallerLogFileName's names (the prefix, 14 digits of time,
// perhaps "_" and up to 10 digits), with at most two roles ("_package",
// "_elevated") before ".log". Any other name, a longer one above all, is
// refused: it could not be opened in the log folder.
bool IsInstallerLogFileName(const std::u16string& name);

// The log names of the package's backend and of the elevated copy that the
// backend logging to |backend_log_name| starts: "_package" or "_elevated"
// before its ".log".
std::u16string GetPackageBackendLogFileName(
    const std::u16string& backend_log_name);
std::u16string GetElevatedBackendLogFileName(
    const std::u16string& backend_log_name);

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_COMMON_INSTALLER_NAMES_H_
