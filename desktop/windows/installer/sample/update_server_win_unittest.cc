// The local update server of the net installer's end-to-end tests, asked
// by the installer's own downloader the way a net installer asks it: the
// tracking data of the sample net installer goes up, the sample full
// installer comes down, whole or resumed, or not matching its checksum.

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "base/bind.h"
#include "base/files/file_path.h"
#include "base/files/file_util.h"
#include "base/json/json_reader.h"
#include "base/location.h"
#include "base/message_loop/message_loop.h"
#include "base/run_loop.h"
#include "base/strings/utf_string_conversions.h"
#include "base/test/scoped_temp_dir.h"
#include "base/time/time.h"
#include "base/values.h"
#include "desktop/windows/installer/package_fetcher/checksum_checker.h"
#include "desktop/windows/installer/package_fetcher/payload_reader.h"
#include "desktop/windows/installer/sample/sample_package_material.h"
#include "desktop/windows/installer/test/local_http_server_win.h"
#include "desktop/windows/installer/test/recording_ui_callback_runner.h"
#include "desktop/windows/installer/wininet/download_observer.h"
#include "desktop/windows/installer/wininet/wininet.h"
#include "desktop/windows/installer/wininet/wininet_response_writer.h"
#include "gtest/gtest.h"

namespace installer {
namespace {

using test::LocalHttpServer;
using test::SamplePackageKey;
using test::SamplePath;
using test::SampleString;

class UpdateServerTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(temp_dir_.CreateUniqueTempDir());
    downloader_ = std::make_unique<WinInetDownloader>(&ui_runner_, nullptr);
    downloader_->set_retry_delay_for_testing(
        base::TimeDelta::FromMilliseconds(50));
  }

  // One transfer to its end; the downloader's final state.
  WinInetDownloader::State Transfer(const std::u16string& url,
                                    const std::string& body,
                                    std::unique_ptr<ResponseWriter> writer) {
    base::RunLoop run_loop;
    if (!downloader_->Start(url, body, run_loop.QuitClosure(),
                            std::move(writer),
                            std::make_unique<DownloadObserver>()))
      return WinInetDownloader::kIdle;
    loop_.task_runner()->PostDelayedTask(CURRENT_LOCATION,
                                         run_loop.QuitClosure(),
                                         base::TimeDelta::FromSeconds(40));
    run_loop.Run();
    return downloader_->state();
  }

  // The requests for |path|, each as "<method> <range header><body>".
  static std::vector<std::string> RequestsFor(const LocalHttpServer& server,
                                              const std::string& path) {
    std::vector<std::string> found;
    for (const auto& request : server.RequestsFor(path)) {
      std::string method, range, body;
      request->GetString("method", &method);
      request->GetString("range", &range);
      request->GetString("body", &body);
      found.push_back(method + " " + range + body);
    }
    return found;
  }

  base::MessageLoop loop_;
  base::ScopedTempDir temp_dir_;
  test::RecordingUICallbackRunner ui_runner_;
  std::unique_ptr<WinInetDownloader> downloader_;
};

TEST_F(UpdateServerTest, NetInstallerRoadWithEachFault) {
  const base::FilePath full_installer =
      SamplePath(SampleString(SamplePackageKey("base", "full_installer")));
  const std::string checksum =
      SampleString(SamplePackageKey("base", "full_installer_sha256"));
  PayloadReader net_installer(SamplePath(SampleString("net_installer")));
  ASSERT_TRUE(net_installer.Read());
  const std::string tracking_data = net_installer.GetTrackingData();
  ASSERT_FALSE(tracking_data.empty());

  struct Case {
    LocalHttpServer::PackageFault fault;
    bool checksum_matches;
    // The Range headers of the installer's requests, in order.
    std::vector<std::string> ranges;
  };
  int64_t size = 0;
  ASSERT_TRUE(base::FileUtil::GetFileSize(full_installer, &size));
  const std::string half = "bytes=" + std::to_string(size / 2) + "-";
  const Case cases[] = {
      {LocalHttpServer::PackageFault::kNone, true, {""}},
      {LocalHttpServer::PackageFault::kCutOnce, true, {"", half}},
      {LocalHttpServer::PackageFault::kCorrupt, false, {""}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.fault));
    LocalHttpServer server;
    ASSERT_TRUE(server.StartUpdateServer(full_installer, c.fault));

    std::string reply_text;
    ASSERT_EQ(Transfer(server.Url("/netinstaller/beta"), tracking_data,
                       std::make_unique<StringResponseWriter>(&reply_text)),
              WinInetDownloader::kCompleted);
    EXPECT_EQ(RequestsFor(server, "/netinstaller/beta"),
              std::vector<std::string>{"POST " + tracking_data});
    std::unique_ptr<base::Value> reply = base::JSONReader::Read(reply_text);
    base::DictionaryValue* dictionary = nullptr;
    ASSERT_TRUE(reply && reply->GetAsDictionary(&dictionary)) << reply_text;
    std::u16string url;
    std::string reply_checksum;
    const base::ListValue* partner_content = nullptr;
    ASSERT_TRUE(dictionary->GetString("installer", &url));
    ASSERT_TRUE(dictionary->GetString("installer_checksum", &reply_checksum));
    EXPECT_TRUE(dictionary->GetList("partner_content", &partner_content));
    EXPECT_EQ(reply_checksum, checksum);

    const base::FilePath downloaded =
        temp_dir_.GetPath().AppendASCII("downloaded.exe");
    auto writer = std::make_unique<FileResponseWriter>();
    ASSERT_TRUE(writer->Open(downloaded));
    ASSERT_EQ(Transfer(url, "", std::move(writer)),
              WinInetDownloader::kCompleted);
    std::vector<std::string> ranges;
    for (const std::string& request :
         RequestsFor(server, "/files/" + full_installer.BaseName().AsUTF8())) {
      ranges.push_back(request.substr(4));
    }
    EXPECT_EQ(ranges, c.ranges);
    EXPECT_EQ(ChecksumChecker::VerifyChecksum(downloaded, reply_checksum),
              c.checksum_matches);
    if (c.checksum_matches) {
      PayloadReader package(downloaded);
      EXPECT_TRUE(package.Read());
      EXPECT_TRUE(package.IsFullPackage());
    }

    // The statistics, as the front end posts them.
    std::string answer;
    ASSERT_EQ(Transfer(server.Url("/netinstaller/feedback"),
                       "{\"installation_success\":1}",
                       std::make_unique<StringResponseWriter>(&answer)),
              WinInetDownloader::kCompleted);
    EXPECT_EQ(server.StatisticsBodies(),
              std::vector<std::string>{"{\"installation_success\":1}"});
    EXPECT_TRUE(server.Stop());
  }
}

}  // namespace
}  // namespace installer
