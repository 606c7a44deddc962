// HTTPMultipartBuilder: the multipart/form-data body of the minidump upload,
// built from form fields and file attachments, and its Content-Type header.
//
// The boundary is drawn once per builder from the system's random source.
// Field names and file names are escaped as they enter the body (line feed,
// carriage return, '"' and '%' become "%0a", "%0d", "%22" and "%25");
// values are sent as given. Files are read only when the body is read. One
// thread uses a builder.

#ifndef DESKTOP_WINDOWS_CRASH_REPORTER_UTIL_NET_HTTP_MULTIPART_BUILDER_H_
#define DESKTOP_WINDOWS_CRASH_REPORTER_UTIL_NET_HTTP_MULTIPART_BUILDER_H_

#include <map>
#include <memory>
#include <string>
#include <utility>

#include "base/files/file_path.h"

namespace crash_reporter {

class HTTPBodyStream;

class HTTPMultipartBuilder {
 public:
  HTTPMultipartBuilder();
  HTTPMultipartBuilder(const HTTPMultipartBuilder&) = delete;
  HTTPMultipartBuilder& operator=(const HTTPMultipartBuilder&) = delete;
  ~HTTPMultipartBuilder();

  // Sets a text field; replaces a field or attachment of the same name.
  void SetFormData(const std::string& name, const std::string& value);

  // Sets a file part; replaces a field or attachment of the same name. An
  // empty |content_type| means "application/octet-stream"; any other must
  // consist of letters, digits and "+-./_" (a caller's constant: anything
  // else ends the process).
  void SetFileAttachment(const std::string& name, const std::string& file_name,
                         const base::FilePath& path,
                         const std::string& content_type);

  // The whole body: every field, then every attachment, each in name order.
  std::unique_ptr<HTTPBodyStream> GetBodyStream() const;

  // ("Content-Type", "multipart/form-data; boundary=" + boundary).
  std::pair<std::string, std::string> GetContentTypeHeader() const;

  const std::string& boundary() const { return boundary_; }

 private:
  struct FileAttachment {
    std::string file_name;  // escaped
    std::string content_type;
    base::FilePath path;
  };

  const std::string boundary_;
  std::map<std::string, std::string> form_data_;
  std::map<std::string, FileAttachment> file_attachments_;
};

}  // namespace crash_reporter

#endif  // DESKTOP_WINDOWS_CRASH_REPORTER_UTIL_NET_HTTP_MULTIPART_BUILDER_H_
