#include "desktop/windows/crash_reporter/util/net/http_transport_win.h"

#include <windows.h>
#include <winhttp.h>

#include <memory>
#include <string>
#include <vector>

#include "base/strings/string_util.h"
#include "base/strings/utf_string_conversions.h"
#include "base/test/child_process_win.h"
#include "base/test/scoped_temp_dir.h"
#include "desktop/windows/crash_reporter/util/net/http_body.h"
#include "desktop/windows/crash_reporter/util/net/http_transport.h"
#include "desktop/windows/crash_reporter/util/test/crash_upload_test_server_win.h"
#include "gtest/gtest.h"

namespace crash_reporter {
namespace {

using test::CrashUploadTestServer;
using test::RecordedRequest;

std::vector<int> g_timeouts;

int RecordTimeouts(void* session, int resolve_ms, int connect_ms, int send_ms,
                   int receive_ms) {
  g_timeouts = {resolve_ms, connect_ms, send_ms, receive_ms};
  return ::WinHttpSetTimeouts(session, resolve_ms, connect_ms, send_ms,
                              receive_ms);
}

std::unique_ptr<HTTPTransport> MakeTransport(const std::u16string& url) {
  std::unique_ptr<HTTPTransport> transport = HTTPTransport::Create();
  transport->SetURL(base::UTF16ToUTF8(url));
  transport->SetBodyStream(std::make_unique<StringHTTPBodyStream>("body"));
  return transport;
}

// Wine accepts WinHTTP time-outs and ignores them, so the values are read at
// the call.
TEST(HTTPTransportWinTest, TimeoutReachesEveryWinHttpPhase) {
  CrashUploadTestServer server;
  ASSERT_TRUE(server.Start({"200"}));
  internal::SetWinHttpSetTimeoutsForTesting(&RecordTimeouts);
  EXPECT_TRUE(MakeTransport(server.Url("/c"))->ExecuteSynchronously(nullptr));
  EXPECT_EQ((std::vector<int>{15000, 15000, 15000, 15000}), g_timeouts);

  std::unique_ptr<HTTPTransport> transport = MakeTransport(server.Url("/c"));
  transport->SetTimeout(2.5);
  EXPECT_TRUE(transport->ExecuteSynchronously(nullptr));
  EXPECT_EQ((std::vector<int>{2500, 2500, 2500, 2500}), g_timeouts);
  internal::SetWinHttpSetTimeoutsForTesting(nullptr);
}

TEST(HTTPTransportWinTest, RequestCarriesMethodQueryHeadersAndBody) {
  CrashUploadTestServer server;
  ASSERT_TRUE(server.Start({"200"}));
  std::unique_ptr<HTTPTransport> transport =
      MakeTransport(server.Url("/collector/submit?a=b&c#fragment"));
  transport->SetMethod("PUT");
  transport->SetHeader("X-Test", "first");
  transport->SetHeader("X-Test", "second");
  transport->SetHeader("Content-Type", "text/plain");
  EXPECT_TRUE(transport->ExecuteSynchronously(nullptr));

  const std::vector<RecordedRequest> requests = server.Requests();
  ASSERT_EQ(1u, requests.size());
  EXPECT_EQ("PUT", requests[0].method);
  EXPECT_EQ("/collector/submit?a=b&c", requests[0].target);
  EXPECT_EQ("body", requests[0].body);
  ASSERT_TRUE(requests[0].Header("X-Test"));
  EXPECT_EQ("second", *requests[0].Header("X-Test"));
  ASSERT_TRUE(requests[0].Header("User-Agent"));
  EXPECT_EQ("CrashUpload/0.8.0", *requests[0].Header("User-Agent"));
}

TEST(HTTPTransportWinTest, OnlyStatus200Succeeds) {
  const struct {
    const char* answer;
    bool want_reply;
    bool result;
    size_t reply_size;
  } kCases[] = {
      {"200 5000", true, true, 5000}, {"200", false, true, 0},
      {"204", true, false, 0},        {"404", false, false, 0},
      {"503", false, false, 0},
  };
  std::vector<std::string> answers;
  for (const auto& c : kCases) answers.push_back(c.answer);
  CrashUploadTestServer server;
  ASSERT_TRUE(server.Start(answers));
  for (const auto& c : kCases) {
    std::string reply = "unset";
    EXPECT_EQ(c.result,
              MakeTransport(server.Url("/c"))
                  ->ExecuteSynchronously(c.want_reply ? &reply : nullptr))
        << c.answer;
    if (c.result && c.want_reply) {
      EXPECT_EQ(std::string(c.reply_size, 'x'), reply);
    }
  }
  EXPECT_EQ(std::size(kCases), server.Requests().size());
}

TEST(HTTPTransportWinTest, BodyErrorFailsBeforeSending) {
  base::ScopedTempDir dir;
  ASSERT_TRUE(dir.CreateUniqueTempDir());
  CrashUploadTestServer server;
  ASSERT_TRUE(server.Start({"200"}));
  std::unique_ptr<HTTPTransport> transport = MakeTransport(server.Url("/c"));
  transport->SetBodyStream(std::make_unique<FileReaderHTTPBodyStream>(
      dir.GetPath().AppendASCII("missing.dmp")));
  EXPECT_FALSE(transport->ExecuteSynchronously(nullptr));
  EXPECT_FALSE(
      MakeTransport(u"ftp://127.0.0.1/c")->ExecuteSynchronously(nullptr));
  EXPECT_TRUE(server.Requests().empty());
}

// The transport splits its URL with WinHTTP's own call: a program with the
// transport alone imports WinHTTP and nothing of WinINet.
TEST(HTTPTransportWinTest, TransportNeedsNothingOfWinInet) {
  std::string output;
  DWORD exit_code = 1;
  ASSERT_TRUE(base::RunChildProcess(u"\"" + base::GetTestExecutableFolder() +
                                        u"crash_upload_transport_probe.exe\"",
                                    {}, &output, &exit_code));
  EXPECT_EQ(0u, exit_code);
  const std::string imports = base::ToLowerASCII(output);
  EXPECT_NE(std::string::npos, imports.find("winhttp.dll")) << output;
  EXPECT_EQ(std::string::npos, imports.find("wininet.dll")) << output;
}

}  // namespace
}  // namespace crash_reporter
