#include "desktop/windows/crash_reporter/util/test/crash_upload_test_server_win.h"

#include <windows.h>

#include <memory>

#include "base/files/file_util.h"
#include "base/json/json_reader.h"
#include "base/logging.h"
#include "base/strings/string_number_conversions.h"
#include "base/strings/string_util.h"
#include "base/strings/string_util_win.h"
#include "base/strings/utf_string_conversions.h"
#include "base/threading/platform_thread.h"
#include "base/time/time.h"
#include "base/values.h"

namespace crash_reporter {
namespace test {

namespace {

// Wine starts a Linux program given by its path on the drive that maps the
// Linux root.
constexpr char16_t kPython[] = u"Z:\\usr\\bin\\python3";

// The Linux path of a Windows path, through Wine's own export; empty when not
// running under Wine.
std::string ToUnixPath(const base::FilePath& path) {
  using ToUnixFunction = char*(__cdecl*)(const wchar_t*);
  auto to_unix =
      reinterpret_cast<ToUnixFunction>(reinterpret_cast<void*>(::GetProcAddress(
          ::GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
  if (!to_unix) return std::string();
  char* unix_path = to_unix(base::as_wcstr(path.value()));
  if (!unix_path) return std::string();
  std::string result(unix_path);
  ::HeapFree(::GetProcessHeap(), 0, unix_path);
  return result;
}

std::u16string Quote(const std::string& text) {
  return u"\"" + base::UTF8ToUTF16(text) + u"\"";
}

// Polls every 20 ms until |condition| holds or |limit| has passed.
template <typename Condition>
bool WaitFor(Condition condition, base::TimeDelta limit) {
  const base::TimeTicks deadline = base::TimeTicks::Now() + limit;
  while (!condition()) {
    if (base::TimeTicks::Now() > deadline) return false;
    base::PlatformThread::Sleep(base::TimeDelta::FromMilliseconds(20));
  }
  return true;
}

std::string ReadStateFile(const base::FilePath& folder,
                          const base::DictionaryValue& entry,
                          base::StringPiece key) {
  std::string name;
  std::string contents;
  if (entry.GetString(key, &name))
    base::FileUtil::ReadFileToString(folder.AppendASCII(name), &contents);
  return contents;
}

RecordedRequest ToRecordedRequest(const base::FilePath& folder,
                                  const base::DictionaryValue& entry) {
  RecordedRequest request;
  entry.GetString("method", &request.method);
  entry.GetString("target", &request.target);
  const base::ListValue* headers = nullptr;
  if (entry.GetList("headers", &headers)) {
    for (size_t i = 0; i < headers->GetSize(); ++i) {
      const base::ListValue* header = nullptr;
      std::string name, value;
      if (headers->GetList(i, &header) && header->GetString(0, &name) &&
          header->GetString(1, &value)) {
        request.headers.emplace_back(name, value);
      }
    }
  }
  const base::DictionaryValue* query = nullptr;
  if (entry.GetDictionary("query", &query)) {
    for (base::DictionaryValue::Iterator it(*query); !it.IsAtEnd();
         it.Advance()) {
      const base::ListValue* values = nullptr;
      if (!it.value().GetAsList(&values)) continue;
      std::vector<std::string>& decoded = request.query[it.key()];
      for (size_t i = 0; i < values->GetSize(); ++i) {
        std::string value;
        if (values->GetString(i, &value)) decoded.push_back(value);
      }
    }
  }
  request.body = ReadStateFile(folder, entry, "body_file");
  request.gzip_decoded = entry.HasKey("decoded_body_file");
  request.decoded_body = ReadStateFile(folder, entry, "decoded_body_file");

  const base::DictionaryValue* form = nullptr;
  if (!entry.GetDictionary("form", &form)) return request;
  request.is_form = true;
  const base::ListValue* list = nullptr;
  if (form->GetList("defects", &list)) {
    for (size_t i = 0; i < list->GetSize(); ++i) {
      std::string defect;
      if (list->GetString(i, &defect)) request.form_defects.push_back(defect);
    }
  }
  if (form->GetList("parts", &list)) {
    for (size_t i = 0; i < list->GetSize(); ++i) {
      const base::DictionaryValue* part_entry = nullptr;
      if (!list->GetDictionary(i, &part_entry)) continue;
      RecordedPart part;
      part_entry->GetString("name", &part.name);
      part.has_filename = part_entry->GetString("filename", &part.filename);
      part_entry->GetString("content_type", &part.content_type);
      part.data = ReadStateFile(folder, *part_entry, "data_file");
      request.parts.push_back(part);
    }
  }
  return request;
}

}  // namespace

const std::string* RecordedRequest::Header(base::StringPiece name) const {
  for (const auto& [header, value] : headers) {
    if (base::EqualsCaseInsensitiveASCII(header, name)) return &value;
  }
  return nullptr;
}

CrashUploadTestServer::CrashUploadTestServer() = default;

CrashUploadTestServer::~CrashUploadTestServer() { Stop(); }

bool CrashUploadTestServer::Start(const std::vector<std::string>& answers) {
  if (running_ || !state_dir_.CreateUniqueTempDir()) return false;
  const std::string unix_state_dir = ToUnixPath(state_dir_.GetPath());
  if (unix_state_dir.empty()) {
    LOG(ERROR) << "Not running under Wine: no Linux path for the server";
    return false;
  }
  std::u16string command = std::u16string(kPython) + u" " +
                           Quote(VELNA_CRASH_UPLOAD_TEST_SERVER) +
                           u" --state-dir " + Quote(unix_state_dir);
  for (const std::string& answer : answers)
    command += u" --answer " + Quote(answer);

  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process = {};
  if (!::CreateProcessW(nullptr, base::as_writable_wcstr(command), nullptr,
                        nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &process)) {
    PLOG(ERROR) << "Cannot start the test server";
    return false;
  }
  // A Linux program has no usable process handle; the server ends through
  // its stop file.
  if (process.hProcess) ::CloseHandle(process.hProcess);
  if (process.hThread) ::CloseHandle(process.hThread);
  running_ = true;

  const base::FilePath port_file = state_dir_.GetPath().AppendASCII("port");
  std::string port_text;
  if (!WaitFor(
          [&] {
            return base::FileUtil::ReadFileToString(port_file, &port_text) &&
                   base::StringToInt(port_text, &port_) && port_ > 0;
          },
          base::TimeDelta::FromSeconds(30))) {
    LOG(ERROR) << "The test server did not start";
    Stop();
    return false;
  }
  return true;
}

std::u16string CrashUploadTestServer::Url(
    base::StringPiece path_and_query) const {
  return base::UTF8ToUTF16("http://127.0.0.1:" + base::IntToString(port_) +
                           path_and_query.as_string());
}

std::vector<RecordedRequest> CrashUploadTestServer::Requests() const {
  std::vector<RecordedRequest> requests;
  std::string json;
  if (!base::FileUtil::ReadFileToString(
          state_dir_.GetPath().AppendASCII("requests.json"), &json)) {
    return requests;
  }
  std::unique_ptr<base::Value> value = base::JSONReader::Read(json);
  const base::ListValue* list = nullptr;
  if (!value || !value->GetAsList(&list)) return requests;
  for (size_t i = 0; i < list->GetSize(); ++i) {
    const base::DictionaryValue* entry = nullptr;
    if (list->GetDictionary(i, &entry))
      requests.push_back(ToRecordedRequest(state_dir_.GetPath(), *entry));
  }
  return requests;
}

bool CrashUploadTestServer::Stop() {
  if (!running_) return true;
  running_ = false;
  const base::FilePath stop = state_dir_.GetPath().AppendASCII("stop");
  base::WriteBufferToFile(stop, "stop", 4);
  const base::FilePath stopped = state_dir_.GetPath().AppendASCII("stopped");
  const bool ended = WaitFor([&] { return base::PathExists(stopped); },
                             base::TimeDelta::FromSeconds(10));
  state_dir_.Delete();
  return ended;
}

}  // namespace test
}  // namespace crash_reporter
