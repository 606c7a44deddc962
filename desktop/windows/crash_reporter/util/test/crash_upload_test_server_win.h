// A local HTTP server for the crash-upload tests: the python3 script
// crash_upload_test_server.py, run by Wine as a Linux program, on a free
// port of 127.0.0.1. It answers from the given list (see the script) and
// records every request; Requests() reads the records back.

#ifndef DESKTOP_WINDOWS_CRASH_REPORTER_UTIL_TEST_CRASH_UPLOAD_TEST_SERVER_WIN_H_
#define DESKTOP_WINDOWS_CRASH_REPORTER_UTIL_TEST_CRASH_UPLOAD_TEST_SERVER_WIN_H_

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "base/strings/string_piece.h"
#include "base/test/python_test_server_win.h"

namespace crash_reporter {
namespace test {

// One part of a multipart body as Python's e-mail parser read it.
struct RecordedPart {
  std::string name;
  bool has_filename = false;
  std::string filename;
  std::string content_type;
  std::string data;
};

struct RecordedRequest {
  std::string method;
  std::string target;  // path with query, as sent
  std::vector<std::pair<std::string, std::string>> headers;
  std::map<std::string, std::vector<std::string>> query;  // decoded
  std::string body;                                       // raw
  bool gzip_decoded = false;
  std::string decoded_body;  // when gzip_decoded
  bool is_form = false;      // a multipart/form-data body
  std::vector<std::string> form_defects;
  std::vector<RecordedPart> parts;

  // The value of the first header called |name| (any case); null when
  // there is none.
  const std::string* Header(base::StringPiece name) const;
};

class CrashUploadTestServer {
 public:
  CrashUploadTestServer();
  CrashUploadTestServer(const CrashUploadTestServer&) = delete;
  CrashUploadTestServer& operator=(const CrashUploadTestServer&) = delete;
  // Stops the server and removes its records.
  ~CrashUploadTestServer();

  // Starts the server with |answers| and waits until it listens.
  bool Start(const std::vector<std::string>& answers);

  // "http://127.0.0.1:<port>" followed by |path_and_query|.
  std::u16string Url(base::StringPiece path_and_query) const;

  // Every request recorded so far, in arrival order.
  std::vector<RecordedRequest> Requests() const;

 private:
  base::PythonTestServer server_;
};

}  // namespace test
}  // namespace crash_reporter

#endif  // DESKTOP_WINDOWS_CRASH_REPORTER_UTIL_TEST_CRASH_UPLOAD_TEST_SERVER_WIN_H_
