#include "desktop/windows/crash_reporter/util/form_data_body.h"

#include <inttypes.h>

#include "base/strings/stringprintf.h"

namespace crash_reporter {

bool IsValidFormFieldName(base::StringPiece16 name) {
  if (name.empty()) return false;
  for (const char16_t c : name) {
    if (c < 32 || c > 127 || c == u'"') return false;
  }
  return true;
}

std::string ChooseFormDataBoundary(const std::vector<base::StringPiece>& parts,
                                   RandomDraw draw_random) {
  for (;;) {
    const std::string boundary =
        std::string(27, '-') + base::StringPrintf("%016" PRIX64, draw_random());
    bool occurs = false;
    for (const base::StringPiece part : parts) {
      if (part.find(boundary) != base::StringPiece::npos) {
        occurs = true;
        break;
      }
    }
    if (!occurs) return boundary;
  }
}

std::string BuildFormDataBody(const std::string& boundary,
                              const FormDataFields& fields,
                              const std::vector<FormDataFile>& files) {
  std::string body;
  for (const auto& [name, value] : fields) {
    body += "--" + boundary + "\r\n";
    body += "Content-Disposition: form-data; name=\"" + name + "\"\r\n\r\n";
    body += value + "\r\n";
  }
  for (const FormDataFile& file : files) {
    body += "--" + boundary + "\r\n";
    body += "Content-Disposition: form-data; name=\"" + file.field_name +
            "\"; filename=\"" + file.file_name + "\"\r\n";
    body += "Content-Type: application/octet-stream\r\n\r\n";
    body += file.content;
    body += "\r\n";
  }
  body += "--" + boundary + "--\r\n";
  return body;
}

}  // namespace crash_reporter
