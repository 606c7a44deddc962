#include "desktop/windows/crash_reporter/crash_reporter_paths.h"

#include "base/strings/string_number_conversions.h"
#include "base/strings/string_util.h"
#include "base/strings/utf_string_conversions.h"

namespace crash_reporter {

std::u16string FormatCrashFileName(base::StringPiece product_name, uint32_t pid,
                                   uint32_t n, base::StringPiece16 extension) {
  return base::UTF8ToUTF16(base::ToLowerASCII(product_name)) + u"-crashlog-" +
         base::UintToString16(pid) + u"-" + base::UintToString16(n) +
         std::u16string(extension);
}

base::FilePath FormatCrashIdMapPath(const CrashPaths& paths, uint32_t pid,
                                    uint32_t n) {
  if (paths.crash_id_map_file.empty() || !paths.custom_log_folder)
    return paths.crash_id_map_file;
  return paths.crash_id_map_file.InsertBeforeExtension(
      u"-" + base::UintToString16(pid) + u"-" + base::UintToString16(n));
}

bool IsKeepLogsValue(base::StringPiece16 value) {
  return value == u"1" || base::EqualsCaseInsensitiveASCII16(value, "yes");
}

}  // namespace crash_reporter
