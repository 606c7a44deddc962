#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "base/bind.h"
#include "base/command_line.h"
#include "base/json/json_reader.h"
#include "base/location.h"
#include "base/message_loop/message_loop.h"
#include "base/run_loop.h"
#include "base/strings/utf_string_conversions.h"
#include "base/test/run_loop_for.h"
#include "base/time/time.h"
#include "base/values.h"
#include "desktop/windows/installer/common/branding_config.h"
#include "desktop/windows/installer/common/version_info.h"
#include "desktop/windows/installer/core/stats_sender.h"
#include "desktop/windows/installer/service/test/log_capture.h"
#include "desktop/windows/installer/test/local_http_server_win.h"
#include "desktop/windows/installer/test/recording_ui_callback_runner.h"
#include "gtest/gtest.h"

namespace installer {
namespace {

class StatsCollectorTest : public testing::Test {
 protected:
  void SetUp() override {
    base::CommandLine::Init();
    ASSERT_TRUE(server_.Start());
    BrandingConfig::OverrideForTesting(
        "urls.autoupdate",
        std::make_unique<base::StringValue>(server_.Url("/")));
  }

  // Sends and waits (at most 40 s) for the done callback.
  bool SendAndWait(StatsCollector* collector, bool wait_for_network,
                   int* done_count) {
    base::RunLoop run_loop;
    const bool sent =
        collector->Send(base::Bind(
                            [](int* count, base::RunLoop* run_loop) {
                              ++*count;
                              run_loop->Quit();
                            },
                            done_count, &run_loop),
                        wait_for_network);
    if (sent) {
      loop_.task_runner()->PostDelayedTask(CURRENT_LOCATION,
                                           run_loop.QuitClosure(),
                                           base::TimeDelta::FromSeconds(40));
      run_loop.Run();
    }
    base::RunLoop().RunUntilIdle();
    return sent;
  }

  std::vector<std::unique_ptr<base::DictionaryValue>> FeedbackRequests() {
    std::vector<std::unique_ptr<base::DictionaryValue>> matching;
    for (auto& request : server_.Requests()) {
      std::string path;
      if (request->GetString("path", &path) && path == "/netinstaller/feedback")
        matching.push_back(std::move(request));
    }
    return matching;
  }

  base::MessageLoop loop_;
  test::LocalHttpServer server_;
  void TearDown() override {
    // The statistics server asks for no proxy credentials here.
    EXPECT_EQ(0u, ui_runner_.calls());
  }

  test::RecordingUICallbackRunner ui_runner_;
};

TEST_F(StatsCollectorTest, SendPostsTheDocumentToTheFeedbackAddress) {
  StatsCollector collector(&ui_runner_);
  collector.root_node()->SetString("tracking_data", "abc");
  collector.root_node()->SetInteger("installation_success", 1);
  int done = 0;
  ASSERT_TRUE(SendAndWait(&collector, true, &done));
  EXPECT_EQ(1, done);
  EXPECT_EQ(WinInetDownloader::kDefaultMaxRetryCount,
            collector.downloader_for_testing()->max_retry_count());

  auto requests = FeedbackRequests();
  ASSERT_EQ(1u, requests.size());
  std::string method, user_agent, body;
  requests[0]->GetString("method", &method);
  requests[0]->GetString("user_agent", &user_agent);
  requests[0]->GetString("body", &body);
  EXPECT_EQ("POST", method);
  EXPECT_EQ("Velna NetInstaller/" + VersionInfo::GetProductVersion(),
            user_agent);
  std::unique_ptr<base::Value> value = base::JSONReader::Read(body);
  base::DictionaryValue* sent = nullptr;
  ASSERT_TRUE(value && value->GetAsDictionary(&sent));

  std::string text;
  EXPECT_TRUE(sent->GetString("tracking_data", &text));
  EXPECT_EQ("abc", text);
  EXPECT_TRUE(sent->GetString("version", &text));
  EXPECT_EQ(VersionInfo::GetProductVersion(), text);
  EXPECT_TRUE(sent->GetString("product", &text));
  EXPECT_EQ(BrandingConfig::GetProductName(), text);
  EXPECT_TRUE(sent->GetString("os.name", &text));
  EXPECT_EQ("windows", text);
  EXPECT_TRUE(sent->GetString("command_line_args", &text));
  EXPECT_EQ(base::UTF16ToUTF8(
                base::CommandLine::ForCurrentProcess()->GetArgumentsString()),
            text);
  // Wine reports the version that the prefix was set to.
  OSVERSIONINFOW version = {sizeof(version)};
  ::GetVersionExW(&version);
  int number = -1;
  EXPECT_TRUE(sent->GetInteger("os.version.major", &number));
  EXPECT_EQ(static_cast<int>(version.dwMajorVersion), number);
  EXPECT_TRUE(sent->GetInteger("os.version.build", &number));
  EXPECT_EQ(static_cast<int>(version.dwBuildNumber), number);
  for (const char* key :
       {"installer_start_time.time", "installer_start_time.elapsed",
        "installation_start_time", "stats_sending_time.time",
        "stats_sending_time.elapsed", "os.service_pack.major",
        "os.service_pack.minor"}) {
    const base::Value* field = nullptr;
    EXPECT_TRUE(sent->Get(key, &field)) << key;
  }
  // No download happened: no summary.
  EXPECT_FALSE(sent->HasKey("wininet_retries"));
  EXPECT_FALSE(sent->HasKey("download_ips"));
}

TEST_F(StatsCollectorTest, WithoutWaitingForTheNetworkItGivesUpSoon) {
  ASSERT_TRUE(
      server_.SetRoutes(R"({"/netinstaller/feedback": {"status": 503}})"));
  StatsCollector collector(&ui_runner_);
  collector.downloader_for_testing()->set_retry_delay(
      base::TimeDelta::FromMilliseconds(50));
  test::ScopedLogCapture log;
  int done = 0;
  ASSERT_TRUE(SendAndWait(&collector, false, &done));
  EXPECT_EQ(1, done);
  EXPECT_EQ(WinInetDownloader::kFailed,
            collector.downloader_for_testing()->state());
  // The first request and three retries.
  EXPECT_EQ(4u, FeedbackRequests().size());
  EXPECT_TRUE(log.Has(logging::LOG_VERBOSE,
                      "Don't wait for network when sending stats"));
}

TEST_F(StatsCollectorTest, RefusedSendingRunsDoneAtOnce) {
  for (const char* url : {"http://evil-velna.com/", "not a url/"}) {
    SCOPED_TRACE(url);
    BrandingConfig::OverrideForTesting(
        "urls.autoupdate", std::make_unique<base::StringValue>(url));
    StatsCollector collector(&ui_runner_);
    test::ScopedLogCapture log;
    int done = 0;
    EXPECT_FALSE(
        collector.Send(base::Bind([](int* count) { ++*count; }, &done), true));
    EXPECT_EQ(1, done);
    base::RunLoop().RunUntilIdle();
    EXPECT_EQ(1, done);
    EXPECT_TRUE(
        log.Has(logging::LOG_ERROR, "Failed to send the stats request"));
  }
  EXPECT_TRUE(server_.Requests().empty());
}

TEST_F(StatsCollectorTest, DestroyedWhileSendingItNeverRunsDone) {
  ASSERT_TRUE(
      server_.SetRoutes(R"({"/netinstaller/feedback": {"stall_after": "0"}})"));
  int done = 0;
  {
    StatsCollector collector(&ui_runner_);
    ASSERT_TRUE(
        collector.Send(base::Bind([](int* count) { ++*count; }, &done), true));
    // The request has arrived and the server stalls: mid-send.
    EXPECT_TRUE(
        base::RunLoopUntil([&] { return FeedbackRequests().size() == 1; }));
  }
  base::RunLoop().RunUntilIdle();
  EXPECT_EQ(0, done);
}

}  // namespace
}  // namespace installer
