#include "desktop/windows/installer/test/local_http_server_win.h"

#include "base/files/file_util.h"
#include "base/json/json_reader.h"
#include "base/logging.h"
#include "base/md5.h"
#include "base/strings/string_number_conversions.h"
#include "base/strings/string_split.h"
#include "base/strings/string_util.h"
#include "base/strings/utf_string_conversions.h"

namespace installer {
namespace test {

LocalHttpServer::LocalHttpServer() : server_(VELNA_HTTP_TEST_SERVER_SCRIPT) {}

LocalHttpServer::~LocalHttpServer() { Stop(); }

bool LocalHttpServer::Start(int port) { return Launch(port, u""); }

bool LocalHttpServer::StartWithTls() { return Launch(0, u" --tls"); }

bool LocalHttpServer::StartUpdateServer(const base::FilePath& full_installer,
                                        PackageFault fault, int port) {
  const std::string package = base::GetWineUnixPath(full_installer);
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
  return server_.CreateStateDir() &&
         base::FileUtil::CreateDirectory(
             server_.state_dir().AppendASCII("files")) &&
         server_.Start(u" --port " + base::IntToString16(port) + arguments);
}

bool LocalHttpServer::Stop() { return server_.Stop(); }

std::u16string LocalHttpServer::Url(base::StringPiece path_and_query) const {
  return UrlOnHost("127.0.0.1", path_and_query);
}

std::u16string LocalHttpServer::UrlOnHost(
    base::StringPiece host, base::StringPiece path_and_query) const {
  return base::UTF8ToUTF16("http://" + host.as_string() + ":" +
                           base::IntToString(port()) +
                           path_and_query.as_string());
}

std::u16string LocalHttpServer::TlsUrl(base::StringPiece path_and_query) const {
  std::string port;
  base::FileUtil::ReadFileToString(server_.state_dir().AppendASCII("tls_port"),
                                   &port);
  return base::UTF8ToUTF16("https://127.0.0.1:" + port +
                           path_and_query.as_string());
}

base::FilePath LocalHttpServer::FilePathOf(base::StringPiece name) const {
  return server_.state_dir().AppendASCII("files").AppendASCII(name);
}

bool LocalHttpServer::ServeFile(base::StringPiece name,
                                const std::string& contents) {
  return base::WriteBufferToFile(FilePathOf(name), contents.data(),
                                 static_cast<int>(contents.size())) ==
         static_cast<int>(contents.size());
}

bool LocalHttpServer::SetRoutes(const std::string& json) {
  const base::FilePath routes = server_.state_dir().AppendASCII("routes.json");
  return base::WriteBufferToFile(routes, json.data(),
                                 static_cast<int>(json.size())) ==
         static_cast<int>(json.size());
}

std::vector<std::unique_ptr<base::DictionaryValue>> LocalHttpServer::Requests()
    const {
  return ReadLog("requests.log");
}

std::vector<std::unique_ptr<base::DictionaryValue>> LocalHttpServer::Responses()
    const {
  return ReadLog("responses.log");
}

std::vector<std::unique_ptr<base::DictionaryValue>> LocalHttpServer::ReadLog(
    const char* name) const {
  std::vector<std::unique_ptr<base::DictionaryValue>> entries;
  std::string log;
  if (!base::FileUtil::ReadFileToString(server_.state_dir().AppendASCII(name),
                                        &log))
    return entries;
  for (const std::string& line :
       base::SplitString(log, "\n", base::SplitWhitespace::kTrim,
                         base::SplitFilter::kNonEmpty)) {
    std::unique_ptr<base::Value> value = base::JSONReader::Read(line);
    base::DictionaryValue* dictionary = nullptr;
    if (value && value->GetAsDictionary(&dictionary)) {
      value.release();
      entries.emplace_back(dictionary);
    }
  }
  return entries;
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
