#include <algorithm>
#include <memory>
#include <utility>

#include "base/bind.h"
#include "base/location.h"
#include "base/strings/string_util_win.h"
#include "base/threading/worker_pool.h"
#include "desktop/windows/crash_reporter/util/crash_upload.h"
#include "desktop/windows/crash_reporter/util/crash_upload_urls.h"
#include "desktop/windows/crash_reporter/util/reporter_lifetime.h"
#include "desktop/windows/crash_reporter/util/wininet_request_win.h"

namespace crash_reporter {

namespace {

constexpr char16_t kCrashUrlHeader[] = u"X-Velna-Crash-URL";
constexpr char16_t kOriginHeader[] = u"X-Origin";

// A queued upload: holds one unit of the reporter's lifetime for as long as
// it holds its task, so the reporter outlives the task's file deletion.
class UploadWorkItem {
 public:
  explicit UploadWorkItem(std::unique_ptr<CrashUploadTask> task)
      : task_(std::move(task)) {
    ReporterLifetime::AddRef();
  }
  UploadWorkItem(const UploadWorkItem&) = delete;
  UploadWorkItem& operator=(const UploadWorkItem&) = delete;
  ~UploadWorkItem() {
    task_.reset();
    ReporterLifetime::Release();
  }

  // The result has nowhere to go: uploads are not retried.
  void Run() { task_->Run(); }

 private:
  std::unique_ptr<CrashUploadTask> task_;
};

// The item is destroyed with the posted task: after its run, or at once when
// the pool refuses it.
bool QueueUpload(std::unique_ptr<CrashUploadTask> task) {
  return base::WorkerPool::PostTask(
      CURRENT_LOCATION,
      base::Bind(&UploadWorkItem::Run,
                 std::make_unique<UploadWorkItem>(std::move(task))),
      true);
}

// The values come from the crashed process and the environment: a line
// break in one would start a header (or a request) of its own.
std::u16string WithoutLineBreaks(std::u16string value) {
  value.erase(
      std::remove_if(value.begin(), value.end(),
                     [](char16_t c) { return c == u'\r' || c == u'\n'; }),
      value.end());
  return value;
}

bool AddHeader(HINTERNET request, const char16_t* name,
               const std::u16string& raw_value) {
  const std::u16string value = WithoutLineBreaks(raw_value);
  if (value.empty()) return true;
  const std::u16string line = name + (u": " + value) + u"\r\n";
  return ::HttpAddRequestHeadersW(request, base::as_wcstr(line),
                                  static_cast<DWORD>(line.size()),
                                  HTTP_ADDREQ_FLAG_ADD_IF_NEW) != FALSE;
}

void SetTimeout(HINTERNET request, DWORD option, DWORD timeout_ms) {
  ::InternetSetOptionW(request, option, &timeout_ms, sizeof(timeout_ms));
}

}  // namespace

DuplicateCheckResult CheckDuplicateCrash(const std::u16string& active_url,
                                         const std::u16string& origin,
                                         std::u16string* id,
                                         std::u16string* location,
                                         int32_t timeout_ms) {
  const CrashUploadUrls& urls = GetCrashUploadUrls();
  base::win::HttpUrl url;
  if (!base::win::CrackHttpUrl(urls.crash_server_url, &url))
    return DuplicateCheckResult::kNoVerdict;
  WinInetRequest request;
  if (!request.Open(
          url, CrashReporterUserAgent(urls.user_agent_suffix), L"GET",
          INTERNET_FLAG_NO_AUTO_REDIRECT | INTERNET_FLAG_NO_COOKIES)) {
    return DuplicateCheckResult::kNoVerdict;
  }
  if (timeout_ms > 0) {
    // The crashed process waits for this check: a server that accepts and
    // never answers must not hold it beyond the limit either.
    SetTimeout(request.request(), INTERNET_OPTION_CONNECT_TIMEOUT, timeout_ms);
    SetTimeout(request.request(), INTERNET_OPTION_SEND_TIMEOUT, timeout_ms);
    SetTimeout(request.request(), INTERNET_OPTION_RECEIVE_TIMEOUT, timeout_ms);
  }
  if (!AddHeader(request.request(), kCrashUrlHeader, active_url) ||
      !AddHeader(request.request(), kOriginHeader, origin) ||
      !::HttpSendRequestW(request.request(), nullptr, 0, nullptr, 0)) {
    return DuplicateCheckResult::kNoVerdict;
  }

  const DWORD status = QueryStatusCode(request.request());
  if (status == 503) return DuplicateCheckResult::kSkip;
  if (status != 303) return DuplicateCheckResult::kNoVerdict;
  std::u16string redirect;
  std::u16string crash_id;
  if (!QueryHeaderText(request.request(), HTTP_QUERY_LOCATION, &redirect) ||
      !ParseDuplicateCheckLocation(redirect, &crash_id)) {
    return DuplicateCheckResult::kNoVerdict;
  }
  *id = crash_id;
  *location = redirect;
  return DuplicateCheckResult::kKnownCrash;
}

bool UploadCrashLogAsync(const base::FilePath& path, const FormFields& fields,
                         bool delete_file) {
  return QueueUpload(
      std::make_unique<CrashLogUploadTask>(path, delete_file, fields, true));
}

void UploadMinidumpAsync(const base::FilePath& path, const FormFields& fields,
                         bool delete_file) {
  QueueUpload(
      std::make_unique<MinidumpUploadTask>(path, delete_file, fields, true));
}

bool UploadCrashLogNow(const base::FilePath& path, const FormFields& fields,
                       bool compress) {
  return CrashLogUploadTask(path, true, fields, compress).Run();
}

bool UploadMinidumpNow(const base::FilePath& path, const FormFields& fields,
                       bool compress) {
  return MinidumpUploadTask(path, true, fields, compress).Run();
}

}  // namespace crash_reporter
