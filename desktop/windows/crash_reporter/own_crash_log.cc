#include "desktop/windows/crash_reporter/own_crash_log.h"

#include "base/strings/stringprintf.h"
#include "base/strings/utf_string_conversions.h"
#include "desktop/windows/crash_reporter/printable_ascii.h"

namespace crash_reporter {

bool WriteOwnCrashLog(FILE* stream, const CrashLogInfo& info,
                      base::StringPiece16 image_name, uint32_t exception_code,
                      uint64_t exception_address, const std::string& minidump) {
  std::string text = "VELNA-CRASHLOG V1 desktop" + info.product_suffix + " " +
                     info.version + " " + info.build +
                     " windows x64 release\r\n";
  text += WithControlCharactersAsSpaces(base::UTF16ToUTF8(image_name));
  base::StringAppendF(&text,
                      " caused exception %X at address %012llX "
                      "(BASE: 00000000)\r\n",
                      exception_code,
                      static_cast<unsigned long long>(exception_address));
  if (!info.metadata.empty()) {
    text += "\r\nmetadata:\r\n";
    for (const auto& [name, value] : info.metadata) {
      text += WithControlCharactersAsSpaces(name) + "=\"" +
              WithControlCharactersAsSpaces(value) + "\"\r\n";
    }
  }
  text += "\r\nminidump:\r\n";
  return fwrite(text.data(), 1, text.size(), stream) == text.size() &&
         fwrite(minidump.data(), 1, minidump.size(), stream) == minidump.size();
}

}  // namespace crash_reporter
