#include <memory>
#include <utility>

#include "base/files/file_util.h"
#include "base/logging.h"
#include "base/strings/utf_string_conversions.h"
#include "desktop/windows/crash_reporter/util/crash_log_zip_file_win.h"
#include "desktop/windows/crash_reporter/util/crash_upload_task.h"
#include "desktop/windows/crash_reporter/util/crash_upload_urls.h"
#include "desktop/windows/crash_reporter/util/net/http_body.h"
#include "desktop/windows/crash_reporter/util/net/http_multipart_builder.h"
#include "desktop/windows/crash_reporter/util/net/http_transport.h"
#include "desktop/windows/crash_reporter/util/wininet_form_upload.h"

namespace crash_reporter {

namespace {

constexpr char16_t kCrashLogFieldName[] = u"file";
constexpr char kMinidumpFieldName[] = "upload_file_minidump";
constexpr char kMinidumpContentType[] = "application/octet-stream";

}  // namespace

CrashUploadTask::CrashUploadTask(const base::FilePath& file_path,
                                 bool delete_file, const FormFields& fields,
                                 bool compress)
    : file_path_(file_path),
      delete_file_(delete_file),
      fields_(fields),
      compress_(compress) {}

CrashUploadTask::~CrashUploadTask() {
  if (delete_file_ && !base::DeleteFileOrDirectory(file_path_, false))
    PLOG(ERROR) << "Cannot delete " << file_path_;
}

CrashLogUploadTask::CrashLogUploadTask(const base::FilePath& file_path,
                                       bool delete_file,
                                       const FormFields& fields, bool compress)
    : CrashUploadTask(file_path, delete_file, fields, compress) {}

CrashLogUploadTask::~CrashLogUploadTask() = default;

bool CrashLogUploadTask::Run() {
  // The zip lives, and its name leads to it, until the send has read it.
  CrashLogZipFile zip;
  if (compress() && !zip.Create(file_path())) return false;
  return WinInetFormUpload::Send(
      GetCrashUploadUrls().user_agent_suffix,
      GetCrashUploadUrls().crash_server_url, fields(),
      {{kCrashLogFieldName, compress() ? zip.path() : file_path()}},
      std::nullopt, nullptr, nullptr);
}

MinidumpUploadTask::MinidumpUploadTask(const base::FilePath& file_path,
                                       bool delete_file,
                                       const FormFields& fields, bool compress)
    : CrashUploadTask(file_path, delete_file, fields, compress) {}

MinidumpUploadTask::~MinidumpUploadTask() = default;

bool MinidumpUploadTask::Run() {
  HTTPMultipartBuilder builder;
  for (const auto& [name, value] : fields())
    builder.SetFormData(base::UTF16ToUTF8(name), base::UTF16ToUTF8(value));
  builder.SetFileAttachment(kMinidumpFieldName, file_path().BaseName().AsUTF8(),
                            file_path(), kMinidumpContentType);

  std::unique_ptr<HTTPBodyStream> body = builder.GetBodyStream();
  if (compress()) {
    auto gzip = std::make_unique<GzipBodyStream>(std::move(body));
    if (!gzip->Init()) return false;
    body = std::move(gzip);
  }

  std::unique_ptr<HTTPTransport> transport = HTTPTransport::Create();
  transport->SetMethod("POST");
  transport->SetBodyStream(std::move(body));
  transport->SetURL(base::UTF16ToUTF8(GetCrashUploadUrls().collector_url));
  if (compress()) transport->SetHeader("Content-Encoding", "gzip");
  const auto [header_name, header_value] = builder.GetContentTypeHeader();
  transport->SetHeader(header_name, header_value);
  return transport->ExecuteSynchronously(nullptr);
}

}  // namespace crash_reporter
