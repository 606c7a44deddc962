#include <stdio.h>

#include <algorithm>
#include <limits>
#include <vector>

#include "base/files/file.h"
#include "base/logging.h"
#include "base/rand_util.h"
#include "base/strings/string_number_conversions.h"
#include "base/strings/string_util_win.h"
#include "base/strings/utf_string_conversions.h"
#include "desktop/windows/crash_reporter/util/form_data_body.h"
#include "desktop/windows/crash_reporter/util/wininet_form_upload.h"
#include "desktop/windows/crash_reporter/util/wininet_request_win.h"

namespace crash_reporter {

namespace {

constexpr size_t kReplyChunkSize = 4096;

// The whole of the file at |path|; false when it cannot be read. Opened
// sharing deletion as well: the zip of a crash log is held by a handle that
// keeps the right to delete it (CrashLogZipFile).
bool ReadWholeFile(const base::FilePath& path, std::string* contents) {
  base::File file(path, base::File::FLAG_OPEN | base::File::FLAG_READ |
                            base::File::FLAG_SHARE_DELETE);
  const int64_t length = file.IsValid() ? file.GetLength() : -1;
  if (length < 0 || length > std::numeric_limits<int>::max()) return false;
  contents->resize(static_cast<size_t>(length));
  for (int done = 0; done < length;) {
    const int read = file.ReadAtCurrentPos(contents->data() + done,
                                           static_cast<int>(length) - done);
    if (read <= 0) return false;
    done += read;
  }
  return true;
}

// The fields and files as UTF-8 parts; false when a name is not allowed or a
// file cannot be read.
bool CollectParts(const WinInetFormUpload::Fields& fields,
                  const WinInetFormUpload::Files& files,
                  FormDataFields* field_parts,
                  std::vector<FormDataFile>* file_parts) {
  for (const auto& [name, value] : fields) {
    if (!IsValidFormFieldName(name)) return false;
    field_parts->emplace_back(base::UTF16ToUTF8(name),
                              base::UTF16ToUTF8(value));
  }
  for (const auto& [name, path] : files) {
    if (!IsValidFormFieldName(name) || path.empty()) return false;
    FormDataFile file;
    file.field_name = base::UTF16ToUTF8(name);
    // The base name only: the full path would carry the user's name.
    file.file_name = path.BaseName().AsUTF8();
    if (!ReadWholeFile(path, &file.content)) {
      LOG(ERROR) << "Cannot read " << path;
      return false;
    }
    file_parts->push_back(std::move(file));
  }
  return true;
}

std::string BuildBody(const FormDataFields& fields,
                      const std::vector<FormDataFile>& files,
                      std::string* boundary) {
  std::vector<base::StringPiece> parts;
  for (const auto& [name, value] : fields) {
    parts.push_back(name);
    parts.push_back(value);
  }
  for (const FormDataFile& file : files) {
    parts.push_back(file.field_name);
    parts.push_back(file.file_name);
    parts.push_back(file.content);
  }
  *boundary = ChooseFormDataBoundary(parts, &base::RandUint64);
  return BuildFormDataBody(*boundary, fields, files);
}

void SetTimeouts(HINTERNET request, DWORD timeout_ms) {
  if (!::InternetSetOptionW(request, INTERNET_OPTION_SEND_TIMEOUT, &timeout_ms,
                            sizeof(timeout_ms))) {
    fprintf(stderr, "Could not unset send timeout, continuing...\n");
  }
  if (!::InternetSetOptionW(request, INTERNET_OPTION_RECEIVE_TIMEOUT,
                            &timeout_ms, sizeof(timeout_ms))) {
    fprintf(stderr, "Could not unset receive timeout, continuing...\n");
  }
}

// Reads the whole reply through a small buffer, keeping it only when
// |reply| is given. True when every read succeeded and, with a
// Content-Length, exactly that much arrived.
bool ReadReply(HINTERNET request, std::string* reply) {
  uint64_t expected = 0;
  std::u16string length_text;
  const bool has_length =
      QueryHeaderText(request, HTTP_QUERY_CONTENT_LENGTH, &length_text) &&
      base::StringToUint64(base::UTF16ToUTF8(length_text), &expected);

  char chunk[kReplyChunkSize];
  uint64_t total = 0;
  for (;;) {
    DWORD available = 0;
    if (!::InternetQueryDataAvailable(request, &available, 0, 0)) return false;
    if (available == 0) break;
    DWORD read = 0;
    if (!::InternetReadFile(request, chunk,
                            std::min<DWORD>(available, sizeof(chunk)), &read)) {
      return false;
    }
    if (read == 0) break;
    total += read;
    if (reply) reply->append(chunk, read);
  }
  return !has_length || total == expected;
}

}  // namespace

// static
bool WinInetFormUpload::Send(const std::u16string& user_agent_suffix,
                             const std::u16string& url, const Fields& fields,
                             const Files& files,
                             std::optional<int32_t> timeout_ms,
                             std::u16string* reply, int32_t* status) {
  if (status) *status = 0;

  FormDataFields field_parts;
  std::vector<FormDataFile> file_parts;
  base::win::HttpUrl url_parts;
  if (!CollectParts(fields, files, &field_parts, &file_parts) ||
      !base::win::CrackHttpUrl(url, &url_parts)) {
    return false;
  }
  std::string boundary;
  std::string body = BuildBody(field_parts, file_parts, &boundary);
  CHECK(body.size() <= std::numeric_limits<DWORD>::max());

  WinInetRequest request;
  if (!request.Open(url_parts, CrashReporterUserAgent(user_agent_suffix),
                    L"POST", INTERNET_FLAG_NO_COOKIES)) {
    return false;
  }
  const std::u16string content_type =
      u"Content-Type: multipart/form-data; boundary=" +
      base::ASCIIToUTF16(boundary);
  if (!::HttpAddRequestHeadersW(request.request(), base::as_wcstr(content_type),
                                static_cast<DWORD>(content_type.size()),
                                HTTP_ADDREQ_FLAG_ADD)) {
    return false;
  }
  if (timeout_ms) SetTimeouts(request.request(), *timeout_ms);

  if (!::HttpSendRequestW(request.request(), nullptr, 0, body.data(),
                          static_cast<DWORD>(body.size()))) {
    return false;
  }
  const DWORD status_code = QueryStatusCode(request.request());
  if (status) *status = static_cast<int32_t>(status_code);

  std::string reply_text;
  const bool complete =
      ReadReply(request.request(), reply ? &reply_text : nullptr);
  if (reply) *reply = base::UTF8ToUTF16(reply_text);
  return status_code == 200 && complete;
}

}  // namespace crash_reporter
