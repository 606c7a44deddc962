// Without a value, "local-stats-server" sends the statistics to port 3000
// of the loopback host; this executable's tests hold a lock on that port.

#include <memory>
#include <string>

#include "base/bind.h"
#include "base/command_line.h"
#include "base/location.h"
#include "base/message_loop/message_loop.h"
#include "base/run_loop.h"
#include "base/time/time.h"
#include "base/values.h"
#include "desktop/windows/installer/common/acquisition_switches.h"
#include "desktop/windows/installer/common/branding_config.h"
#include "desktop/windows/installer/core/stats_sender.h"
#include "desktop/windows/installer/test/local_http_server_win.h"
#include "desktop/windows/installer/test/recording_ui_callback_runner.h"
#include "gtest/gtest.h"

namespace installer {
namespace {

TEST(LocalStatsServerTest, StatisticsGoToPort3000) {
  base::MessageLoop loop;
  base::CommandLine::Init();
  base::CommandLine::ForCurrentProcess()->AppendSwitch(
      switches::kLocalStatsServer);
  // The branding's server must not be asked.
  BrandingConfig::OverrideForTesting(
      "urls.autoupdate",
      std::make_unique<base::StringValue>("http://127.0.0.1:9/"));
  EXPECT_EQ(u"http://127.0.0.1:3000/", StatsCollector::GetUrl());

  test::LocalHttpServer server;
  ASSERT_TRUE(server.Start(3000));
  test::RecordingUICallbackRunner ui_runner;
  StatsCollector collector(&ui_runner);
  collector.root_node()->SetString("result", "local");
  base::RunLoop run_loop;
  ASSERT_TRUE(collector.Send(run_loop.QuitClosure(), false));
  loop.task_runner()->PostDelayedTask(CURRENT_LOCATION, run_loop.QuitClosure(),
                                      base::TimeDelta::FromSeconds(40));
  run_loop.Run();

  EXPECT_EQ(WinInetDownloader::kCompleted,
            collector.downloader_for_testing()->state());
  auto requests = server.Requests();
  ASSERT_EQ(1u, requests.size());
  std::string path, method, body;
  requests[0]->GetString("path", &path);
  requests[0]->GetString("method", &method);
  requests[0]->GetString("body", &body);
  EXPECT_EQ("/", path);
  EXPECT_EQ("POST", method);
  EXPECT_NE(std::string::npos, body.find("\"result\":\"local\""));
}

}  // namespace
}  // namespace installer
