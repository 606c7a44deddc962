#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "base/bind.h"
#include "base/command_line.h"
#include "base/feature_list.h"
#include "base/files/file_util.h"
#include "base/location.h"
#include "base/message_loop/message_loop.h"
#include "base/run_loop.h"
#include "base/test/run_loop_for.h"
#include "base/test/scoped_temp_dir.h"
#include "base/time/time.h"
#include "base/values.h"
#include "desktop/windows/installer/common/acquisition_switches.h"
#include "desktop/windows/installer/common/branding_config.h"
#include "desktop/windows/installer/common/version_info.h"
#include "desktop/windows/installer/core/pref_default_overrides_fetcher.h"
#include "desktop/windows/installer/service/test/log_capture.h"
#include "desktop/windows/installer/test/local_http_server_win.h"
#include "desktop/windows/installer/test/recording_ui_callback_runner.h"
#include "gtest/gtest.h"

namespace installer {
namespace {

class PrefDefaultOverridesFetcherTest : public testing::Test {
 protected:
  void SetUp() override {
    base::CommandLine::Init();
    ASSERT_TRUE(server_.Start());
    ASSERT_TRUE(package_dir_.CreateUniqueTempDir());
    BrandingConfig::OverrideForTesting(
        "urls.autoupdate",
        std::make_unique<base::StringValue>(server_.Url("/")));
    fetcher_ = std::make_unique<PrefDefaultOverridesFetcher>(
        package_dir_.GetPath(), &ui_runner_);
    fetcher_->downloader_for_testing()->set_retry_delay(
        base::TimeDelta::FromMilliseconds(50));
  }

  // Fetches and waits (at most 40 s) for the done callback; |*done_count|
  // when Fetch returned is kept in |*done_at_return|.
  void FetchAndWait(const std::string& tracking_data, int* done_count,
                    int* done_at_return) {
    base::RunLoop run_loop;
    fetcher_->Fetch(tracking_data, base::Bind(
                                       [](int* count, base::RunLoop* run_loop) {
                                         ++*count;
                                         run_loop->Quit();
                                       },
                                       done_count, &run_loop));
    *done_at_return = *done_count;
    if (*done_count == 0) {
      loop_.task_runner()->PostDelayedTask(CURRENT_LOCATION,
                                           run_loop.QuitClosure(),
                                           base::TimeDelta::FromSeconds(40));
      run_loop.Run();
    }
    base::RunLoop().RunUntilIdle();
  }

  base::FilePath Target() const {
    return package_dir_.GetPath().AppendASCII("pref_default_overrides");
  }

  base::MessageLoop loop_;
  test::LocalHttpServer server_;
  base::ScopedTempDir package_dir_;
  test::RecordingUICallbackRunner ui_runner_;
  std::unique_ptr<PrefDefaultOverridesFetcher> fetcher_;
};

TEST_F(PrefDefaultOverridesFetcherTest, FeatureOffRequestsNothing) {
  int done = 0, done_at_return = 0;
  FetchAndWait("tracking", &done, &done_at_return);
  EXPECT_EQ(1, done_at_return);
  EXPECT_EQ(1, done);
  EXPECT_FALSE(base::PathExists(Target()));
  EXPECT_TRUE(server_.Requests().empty());
}

TEST_F(PrefDefaultOverridesFetcherTest, StoresTheReplyUnchanged) {
  base::ScopedFeatureOverride feature(base::FeatureList::GetInstance(),
                                      kPrefDefaultOverridesFeature, true);
  const std::string reply = "{\"homepage\": \"https://start.velna.com/\"}\r\n";
  ASSERT_TRUE(server_.ServeFile("overrides.json", reply));
  ASSERT_TRUE(
      server_.SetRoutes(R"({"/api/prefs/": {"file": "overrides.json"}})"));
  const struct {
    const char* tracking_data;
    const char* method;
  } cases[] = {{"partner=7&campaign=x", "POST"}, {"", "GET"}};
  for (const auto& test : cases) {
    SCOPED_TRACE(test.method);
    int done = 0, done_at_return = 0;
    FetchAndWait(test.tracking_data, &done, &done_at_return);
    EXPECT_EQ(0, done_at_return);
    EXPECT_EQ(1, done);
    std::string stored;
    EXPECT_TRUE(base::FileUtil::ReadFileToString(Target(), &stored));
    EXPECT_EQ(reply, stored);

    auto requests = server_.Requests();
    ASSERT_FALSE(requests.empty());
    std::string path, query, method, body;
    requests.back()->GetString("path", &path);
    requests.back()->GetString("query", &query);
    requests.back()->GetString("method", &method);
    requests.back()->GetString("body", &body);
    EXPECT_EQ("/api/prefs/", path);
    EXPECT_EQ("product=" + BrandingConfig::GetProductName() +
                  "&version=" + VersionInfo::GetProductVersion(),
              query);
    EXPECT_EQ(test.method, method);
    EXPECT_EQ(test.tracking_data, body);
  }
}

TEST_F(PrefDefaultOverridesFetcherTest, AFailedFetchLeavesNoFile) {
  base::ScopedFeatureOverride feature(base::FeatureList::GetInstance(),
                                      kPrefDefaultOverridesFeature, true);
  ASSERT_TRUE(server_.ServeFile("overrides.json", std::string(50000, 'x')));
  ASSERT_TRUE(
      server_.ServeFile("endless.json", std::string(2 * 1024 * 1024, 'x')));
  const struct {
    const char* name;
    const char* route;
    size_t requests;
  } cases[] = {
      {"not found", R"({"/api/prefs/": {"status": 404}})", 1},
      // Retried three times only, not 600 times six seconds apart.
      {"server unavailable", R"({"/api/prefs/": {"status": 503}})", 4},
      // Part of the body arrived, then the server always breaks off there.
      {"partial body",
       R"({"/api/prefs/": {"file": "overrides.json", "cut": "20000",
           "bad_range": "1000"}})",
       0},
      // No length declared, and far more than any overrides: cut off.
      {"too large",
       R"({"/api/prefs/": {"file": "endless.json", "no_length": "1"}})", 1},
  };
  for (const auto& test : cases) {
    SCOPED_TRACE(test.name);
    ASSERT_TRUE(server_.SetRoutes(test.route));
    const size_t before = server_.Requests().size();
    test::ScopedLogCapture log;
    int done = 0, done_at_return = 0;
    FetchAndWait("tracking", &done, &done_at_return);
    EXPECT_EQ(1, done);
    EXPECT_EQ(WinInetDownloader::kFailed,
              fetcher_->downloader_for_testing()->state());
    EXPECT_FALSE(base::PathExists(Target()));
    if (test.requests) {
      EXPECT_EQ(test.requests, server_.Requests().size() - before);
    }
    EXPECT_TRUE(
        log.Has(logging::LOG_ERROR, "Failed fetching default prefs overrides"));
  }
}

// Offline (nothing listens on the server's port) the optional overrides
// hold the installation up only for two short pauses, not for the package
// download's six seconds each.
TEST_F(PrefDefaultOverridesFetcherTest, OfflineFetchGivesUpSoon) {
  base::ScopedFeatureOverride feature(base::FeatureList::GetInstance(),
                                      kPrefDefaultOverridesFeature, true);
  ASSERT_TRUE(server_.Stop());
  PrefDefaultOverridesFetcher fetcher(package_dir_.GetPath(), &ui_runner_);
  EXPECT_LE(fetcher.downloader_for_testing()->retry_delay(),
            base::TimeDelta::FromSeconds(1));
  base::RunLoop run_loop;
  int done = 0;
  const base::TimeTicks start = base::TimeTicks::Now();
  fetcher.Fetch("tracking", base::Bind(
                                [](int* count, base::RunLoop* run_loop) {
                                  ++*count;
                                  run_loop->Quit();
                                },
                                &done, &run_loop));
  loop_.task_runner()->PostDelayedTask(CURRENT_LOCATION, run_loop.QuitClosure(),
                                       base::TimeDelta::FromSeconds(40));
  run_loop.Run();
  EXPECT_EQ(1, done);
  // The fetcher's two pauses take 2 s; the package download's would take
  // 12 s. The bound between leaves a loaded machine room for the attempts.
  EXPECT_LT(base::TimeTicks::Now() - start, base::TimeDelta::FromSeconds(11));
  EXPECT_FALSE(base::PathExists(Target()));
}

TEST_F(PrefDefaultOverridesFetcherTest, RefusedRequestRunsDoneAtOnce) {
  base::ScopedFeatureOverride feature(base::FeatureList::GetInstance(),
                                      kPrefDefaultOverridesFeature, true);
  BrandingConfig::OverrideForTesting(
      "urls.autoupdate",
      std::make_unique<base::StringValue>("http://evil-velna.com/"));
  test::ScopedLogCapture log;
  int done = 0, done_at_return = 0;
  FetchAndWait("tracking", &done, &done_at_return);
  EXPECT_EQ(1, done_at_return);
  EXPECT_EQ(1, done);
  EXPECT_FALSE(base::PathExists(Target()));
  EXPECT_TRUE(log.Has(logging::LOG_ERROR,
                      "Failed sending request for default prefs overrides"));
}

TEST_F(PrefDefaultOverridesFetcherTest,
       DestroyedMidFetchRemovesThePartialFile) {
  base::ScopedFeatureOverride feature(base::FeatureList::GetInstance(),
                                      kPrefDefaultOverridesFeature, true);
  ASSERT_TRUE(server_.ServeFile("overrides.json", std::string(600000, 'x')));
  ASSERT_TRUE(server_.SetRoutes(
      R"({"/api/prefs/": {"file": "overrides.json", "stall_after": "300000"}})"));
  int done = 0;
  fetcher_->Fetch("tracking", base::Bind([](int* count) { ++*count; }, &done));
  // Part of the file has arrived; the server stalls on the rest.
  EXPECT_TRUE(base::RunLoopUntil([&] { return base::PathExists(Target()); }));
  fetcher_.reset();
  base::RunLoop().RunUntilIdle();
  EXPECT_EQ(0, done);
  EXPECT_FALSE(base::PathExists(Target()));
}

TEST_F(PrefDefaultOverridesFetcherTest, LocalServerSwitch) {
  base::ScopedFeatureOverride feature(base::FeatureList::GetInstance(),
                                      kPrefDefaultOverridesFeature, true);
  base::CommandLine* command_line = base::CommandLine::ForCurrentProcess();
  // Without a value: the local development server.
  command_line->AppendSwitch(switches::kLocalPrefDefaultOverridesServer);
  EXPECT_EQ(u"http://127.0.0.1:3001", PrefDefaultOverridesFetcher::GetUrl());

  // With one: that URL as it is, without the "api/prefs/" path.
  const std::u16string url = server_.Url("/custom/overrides?x=1");
  command_line->AppendSwitchNative(switches::kLocalPrefDefaultOverridesServer,
                                   url);
  EXPECT_EQ(url, PrefDefaultOverridesFetcher::GetUrl());
  int done = 0, done_at_return = 0;
  FetchAndWait("", &done, &done_at_return);
  EXPECT_EQ(1, done);
  auto requests = server_.Requests();
  ASSERT_EQ(1u, requests.size());
  std::string path, query;
  requests[0]->GetString("path", &path);
  requests[0]->GetString("query", &query);
  EXPECT_EQ("/custom/overrides", path);
  EXPECT_EQ("x=1", query);
  std::string stored;
  EXPECT_TRUE(base::FileUtil::ReadFileToString(Target(), &stored));
  EXPECT_EQ("ok", stored);
}

}  // namespace
}  // namespace installer
