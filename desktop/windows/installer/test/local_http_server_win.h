// LocalHttpServer: the shared HTTP test server (http_test_server.py, see its
// description of fault parameters) for tests under Wine. Each test starts
// its own on 127.0.0.1 with a state folder of its own, puts the files to
// serve there, reads the request log and stops it at its end.
//
// The server is the Linux python3, which Wine starts from CreateProcess; it
// cannot be waited for, so start and stop go through marker files in the
// state folder. A server left behind by a crashed test ends when its folder
// disappears or after five minutes.

#ifndef DESKTOP_WINDOWS_INSTALLER_TEST_LOCAL_HTTP_SERVER_WIN_H_
#define DESKTOP_WINDOWS_INSTALLER_TEST_LOCAL_HTTP_SERVER_WIN_H_

#include <memory>
#include <string>
#include <vector>

#include "base/files/file_path.h"
#include "base/strings/string_piece.h"
#include "base/test/python_test_server_win.h"
#include "base/values.h"

namespace installer {
namespace test {

class LocalHttpServer {
 public:
  LocalHttpServer();
  LocalHttpServer(const LocalHttpServer&) = delete;
  LocalHttpServer& operator=(const LocalHttpServer&) = delete;
  // Stops the server and deletes its folder.
  ~LocalHttpServer();

  // What the update-server mode does wrong on purpose.
  enum class PackageFault {
    kNone,
    // The first transfer of the full installer breaks half-way.
    kCutOnce,
    // The bytes served do not match the checksum in the reply.
    kCorrupt,
  };

  // Starts the server on a free port, or on |port|. False when it is not
  // listening within 30 s.
  bool Start(int port = 0);
  // The same, and https on a second free port with a self-signed
  // certificate (which WinINet takes only when told to ignore its errors).
  bool StartWithTls();
  // Starts it as the maker's update server for a net installer (see the
  // script's update-server mode): a request below "/netinstaller/" (pass
  // Url("/netinstaller/<stream>") with "internal-package-server") gets the
  // JSON reply naming |full_installer|, which this server serves with
  // Range support and |fault|. On port 3000 it also receives what
  // "local-stats-server" sends.
  bool StartUpdateServer(const base::FilePath& full_installer,
                         PackageFault fault, int port = 0);
  // Asks the server to end and waits (up to 10 s) until it has; true when
  // it has ended.
  bool Stop();

  int port() const { return server_.port(); }
  // "http://127.0.0.1:<port>" + |path_and_query|.
  std::u16string Url(base::StringPiece path_and_query) const;
  // The same with another host name for the same server.
  std::u16string UrlOnHost(base::StringPiece host,
                           base::StringPiece path_and_query) const;
  // "https://127.0.0.1:<https port>" + |path_and_query|, after StartWithTls.
  std::u16string TlsUrl(base::StringPiece path_and_query) const;

  // Puts |contents| where the server serves it as "/files/<name>".
  bool ServeFile(base::StringPiece name, const std::string& contents);
  base::FilePath FilePathOf(base::StringPiece name) const;
  // Replaces the route table (a JSON object: path -> parameters).
  bool SetRoutes(const std::string& json);

  // Every request so far, in arrival order, each as logged: "id",
  // "method", "path", "query", "host", "user_agent", "range", "headers"
  // (lower-case names), "body_length", "body_md5" and "body" (text bodies).
  std::vector<std::unique_ptr<base::DictionaryValue>> Requests() const;
  // Every answer that has ended, in the order they ended: the "id" of its
  // request, the "status", the "start" of the body within the file and how
  // many bytes of the body were "sent" before the answer ended.
  std::vector<std::unique_ptr<base::DictionaryValue>> Responses() const;
  // The requests whose path (without query) is |path|, in arrival order.
  std::vector<std::unique_ptr<base::DictionaryValue>> RequestsFor(
      base::StringPiece path) const;
  // The bodies of the statistics POSTs so far: those to
  // "/netinstaller/feedback" and, from "local-stats-server", to "/".
  std::vector<std::string> StatisticsBodies() const;

 private:
  // Starts the script with |arguments| (Linux paths) after its own.
  bool Launch(int port, const std::u16string& arguments);
  // The JSON lines of the state folder's log |name|.
  std::vector<std::unique_ptr<base::DictionaryValue>> ReadLog(
      const char* name) const;

  base::PythonTestServer server_;
};

// The MD5 of |data| as lower-case hexadecimal, as the server logs a body's.
std::string Md5Hex(const std::string& data);

}  // namespace test
}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_TEST_LOCAL_HTTP_SERVER_WIN_H_
