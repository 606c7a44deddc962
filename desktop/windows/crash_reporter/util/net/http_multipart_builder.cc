#include "desktop/windows/crash_reporter/util/net/http_multipart_builder.h"

#include <vector>

#include "base/logging.h"
#include "base/rand_util.h"
#include "base/strings/stringprintf.h"
#include "desktop/windows/crash_reporter/util/net/http_body.h"

namespace crash_reporter {

namespace {

constexpr char kBoundaryAlphabet[] =
    "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
constexpr char kDefaultContentType[] = "application/octet-stream";

std::string MakeBoundary() {
  std::string boundary = "---MultipartBoundary-";
  for (int i = 0; i < 32; ++i)
    boundary += kBoundaryAlphabet[base::RandInt(0, 61)];
  boundary += "---";
  return boundary;
}

// Keeps a name inside its quoted header parameter.
std::string EscapeName(const std::string& name) {
  std::string escaped;
  for (const char c : name) {
    if (c == '\n' || c == '\r' || c == '"' || c == '%')
      escaped += base::StringPrintf("%%%02x", static_cast<unsigned char>(c));
    else
      escaped += c;
  }
  return escaped;
}

bool IsAllowedContentTypeCharacter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
         (c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.' ||
         c == '/' || c == '_';
}

std::string DispositionLine(const std::string& boundary,
                            const std::string& name) {
  return "--" + boundary + "\r\nContent-Disposition: form-data; name=\"" +
         EscapeName(name) + "\"";
}

}  // namespace

HTTPMultipartBuilder::HTTPMultipartBuilder() : boundary_(MakeBoundary()) {}

HTTPMultipartBuilder::~HTTPMultipartBuilder() = default;

void HTTPMultipartBuilder::SetFormData(const std::string& name,
                                       const std::string& value) {
  file_attachments_.erase(name);
  form_data_[name] = value;
}

void HTTPMultipartBuilder::SetFileAttachment(const std::string& name,
                                             const std::string& file_name,
                                             const base::FilePath& path,
                                             const std::string& content_type) {
  for (const char c : content_type) CHECK(IsAllowedContentTypeCharacter(c));
  form_data_.erase(name);
  file_attachments_[name] = {
      EscapeName(file_name),
      content_type.empty() ? std::string(kDefaultContentType) : content_type,
      path};
}

std::unique_ptr<HTTPBodyStream> HTTPMultipartBuilder::GetBodyStream() const {
  std::vector<std::unique_ptr<HTTPBodyStream>> parts;
  for (const auto& [name, value] : form_data_) {
    parts.push_back(std::make_unique<StringHTTPBodyStream>(
        DispositionLine(boundary_, name) + "\r\n\r\n" + value + "\r\n"));
  }
  for (const auto& [name, attachment] : file_attachments_) {
    parts.push_back(std::make_unique<StringHTTPBodyStream>(
        DispositionLine(boundary_, name) + "; filename=\"" +
        attachment.file_name +
        "\"\r\nContent-Type: " + attachment.content_type + "\r\n\r\n"));
    parts.push_back(
        std::make_unique<FileReaderHTTPBodyStream>(attachment.path));
    parts.push_back(std::make_unique<StringHTTPBodyStream>("\r\n"));
  }
  parts.push_back(
      std::make_unique<StringHTTPBodyStream>("--" + boundary_ + "--\r\n"));
  return std::make_unique<CompositeHTTPBodyStream>(std::move(parts));
}

std::pair<std::string, std::string> HTTPMultipartBuilder::GetContentTypeHeader()
    const {
  return {"Content-Type", "multipart/form-data; boundary=" + boundary_};
}

}  // namespace crash_reporter
