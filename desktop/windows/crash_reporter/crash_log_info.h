// CrashLogInfo: the header data and metadata lines of one text crash log,
// filled by the reporter (crash_metadata.h) and printed by CrashLogWriter.

#ifndef DESKTOP_WINDOWS_CRASH_REPORTER_CRASH_LOG_INFO_H_
#define DESKTOP_WINDOWS_CRASH_REPORTER_CRASH_LOG_INFO_H_

#include <string>
#include <utility>
#include <vector>

namespace crash_reporter {

struct CrashLogInfo {
  // The branding's crash-log product suffix, printed after "desktop".
  std::string product_suffix;
  std::string version;
  // Decimal.
  std::string build;
  // Name and value pairs (UTF-8), printed in this order.
  std::vector<std::pair<std::string, std::string>> metadata;
};

// Fills each header field that is still empty from the installer's
// branding and version constants.
void FillCrashLogHeaderFromInstaller(CrashLogInfo* info);

}  // namespace crash_reporter

#endif  // DESKTOP_WINDOWS_CRASH_REPORTER_CRASH_LOG_INFO_H_
