#include "desktop/windows/installer/test/local_http_server_win.h"

#include <windows.h>

#include "base/files/file_util.h"
#include "base/json/json_reader.h"
#include "base/logging.h"
#include "base/md5.h"
#include "base/strings/string_number_conversions.h"
#include "base/strings/string_split.h"
#include "base/strings/string_util.h"
#include "base/strings/string_util_win.h"
#include "base/strings/utf_string_conversions.h"
#include "base/threading/platform_thread.h"
#include "base/time/time.h"

namespace installer {
namespace test {

namespace {

// Wine runs Linux programs that CreateProcess is given by their path on the
// root drive.
constexpr char16_t kPython[] = u"Z:\\usr\\bin\\python3";

// Wine's export that maps a Windows path to the Linux one; the server is a
// Linux program and needs its state folder in that form.
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

// Polls for |condition| every 20 ms until |limit| has passed.
template <typename Condition>
bool WaitFor(Condition condition, base::TimeDelta limit) {
  const base::TimeTicks deadline = base::TimeTicks::Now() + limit;
  while (!condition()) {
    if (base::TimeTicks::Now() > deadline) return false;
    base::PlatformThread::Sleep(base::TimeDelta::FromMilliseconds(20));
  }
  return true;
}

}  // namespace

LocalHttpServer::LocalHttpServer() = default;

LocalHttpServer::~LocalHttpServer() { Stop(); }

bool LocalHttpServer::Start(int port) { return Launch(port, u""); }

bool LocalHttpServer::StartUpdateServer(const base::FilePath& full_installer,
                                        PackageFault fault, int port) {
  const std::string package = ToUnixPath(full_installer);
  if (package.empty()) {
    LOG(ERROR) << "No Linux path for " << full_installer.AsUTF8();
    return false;
  }
  std::u16string arguments =
      u" --package \"" + base::UTF8ToUTF16(package) + u"\"";
  if (fault == PackageFault::kCutOnce) arguments += u" --cut-package";
  if (fault == PackageFault::kCorrupt) arguments += u" --corrupt-package";
  return Launch(port, arguments);
}

bool LocalHttpServer::Launch(int port, const std::u16string& arguments) {
  if (running_ || !state_dir_.CreateUniqueTempDir() ||
      !base::FileUtil::CreateDirectory(
          state_dir_.GetPath().AppendASCII("files")))
    return false;
  const std::string unix_state_dir = ToUnixPath(state_dir_.GetPath());
  if (unix_state_dir.empty()) {
    LOG(ERROR) << "Not running under Wine: no Linux path for the server";
    return false;
  }
  std::u16string command = std::u16string(kPython) + u" \"" +
                           base::UTF8ToUTF16(VELNA_HTTP_TEST_SERVER_SCRIPT) +
                           u"\" --state-dir \"" +
                           base::UTF8ToUTF16(unix_state_dir) + u"\" --port " +
                           base::IntToString16(port) + arguments;
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process = {};
  if (!::CreateProcessW(nullptr, reinterpret_cast<wchar_t*>(&command[0]),
                        nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &process)) {
    PLOG(ERROR) << "Cannot start the test server";
    return false;
  }
  // Wine gives no usable handles for a Linux process.
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

bool LocalHttpServer::Stop() {
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

std::u16string LocalHttpServer::Url(base::StringPiece path_and_query) const {
  return UrlOnHost("127.0.0.1", path_and_query);
}

std::u16string LocalHttpServer::UrlOnHost(
    base::StringPiece host, base::StringPiece path_and_query) const {
  return base::UTF8ToUTF16("http://" + host.as_string() + ":" +
                           base::IntToString(port_) +
                           path_and_query.as_string());
}

base::FilePath LocalHttpServer::FilePathOf(base::StringPiece name) const {
  return state_dir_.GetPath().AppendASCII("files").AppendASCII(name);
}

bool LocalHttpServer::ServeFile(base::StringPiece name,
                                const std::string& contents) {
  return base::WriteBufferToFile(FilePathOf(name), contents.data(),
                                 static_cast<int>(contents.size())) ==
         static_cast<int>(contents.size());
}

bool LocalHttpServer::SetRoutes(const std::string& json) {
  const base::FilePath routes = state_dir_.GetPath().AppendASCII("routes.json");
  return base::WriteBufferToFile(routes, json.data(),
                                 static_cast<int>(json.size())) ==
         static_cast<int>(json.size());
}

std::vector<std::unique_ptr<base::DictionaryValue>> LocalHttpServer::Requests()
    const {
  std::vector<std::unique_ptr<base::DictionaryValue>> requests;
  std::string log;
  if (!base::FileUtil::ReadFileToString(
          state_dir_.GetPath().AppendASCII("requests.log"), &log))
    return requests;
  for (const std::string& line :
       base::SplitString(log, "\n", base::SplitWhitespace::kTrim,
                         base::SplitFilter::kNonEmpty)) {
    std::unique_ptr<base::Value> value = base::JSONReader::Read(line);
    base::DictionaryValue* dictionary = nullptr;
    if (value && value->GetAsDictionary(&dictionary)) {
      value.release();
      requests.emplace_back(dictionary);
    }
  }
  return requests;
}

std::vector<std::unique_ptr<base::DictionaryValue>>
LocalHttpServer::RequestsFor(base::StringPiece path) const {
  std::vector<std::unique_ptr<base::DictionaryValue>> matching;
  for (auto& request : Requests()) {
    std::string request_path;
    if (request->GetString("path", &request_path) && request_path == path)
      matching.push_back(std::move(request));
  }
  return matching;
}

std::vector<std::string> LocalHttpServer::StatisticsBodies() const {
  std::vector<std::string> bodies;
  for (const auto& request : Requests()) {
    std::string method, path, body;
    request->GetString("method", &method);
    request->GetString("path", &path);
    request->GetString("body", &body);
    if (method == "POST" && (path == "/netinstaller/feedback" || path == "/"))
      bodies.push_back(body);
  }
  return bodies;
}

std::string Md5Hex(const std::string& data) {
  base::MD5Context context;
  base::MD5Init(&context);
  base::MD5Update(&context, data);
  base::MD5Digest digest;
  base::MD5Final(&digest, &context);
  return base::ToLowerASCII(base::HexEncode(digest.a, sizeof(digest.a)));
}

}  // namespace test
}  // namespace installer
