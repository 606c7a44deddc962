// The local update server of the net installer's end-to-end tests, asked
// by the installer's own downloader and by the package fetcher the way a
// net installer asks it: the tracking data of the sample net installer goes
// up, the sample full installer comes down, whole or resumed, or not
// matching its checksum.

#include <windows.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "base/bind.h"
#include "base/command_line.h"
#include "base/files/file_path.h"
#include "base/files/file_util.h"
#include "base/json/json_reader.h"
#include "base/location.h"
#include "base/message_loop/message_loop.h"
#include "base/run_loop.h"
#include "base/strings/utf_string_conversions.h"
#include "base/test/child_process_win.h"
#include "base/test/scoped_temp_dir.h"
#include "base/time/time.h"
#include "base/values.h"
#include "desktop/windows/installer/package_fetcher/checksum_checker.h"
#include "desktop/windows/installer/package_fetcher/package_fetcher.h"
#include "desktop/windows/installer/package_fetcher/payload_reader.h"
#include "desktop/windows/installer/package_fetcher/test/package_test_material.h"
#include "desktop/windows/installer/package_fetcher/test/pe_test_image.h"
#include "desktop/windows/installer/sample/sample_package_material.h"
#include "desktop/windows/installer/test/local_http_server_win.h"
#include "desktop/windows/installer/test/recording_ui_callback_runner.h"
#include "desktop/windows/installer/wininet/download_observer.h"
#include "desktop/windows/installer/wininet/wininet_downloader.h"
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
    downloader_->set_retry_delay(base::TimeDelta::FromMilliseconds(50));
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

std::unique_ptr<base::DictionaryValue> ReadJsonDictionary(
    const base::FilePath& path) {
  std::string json;
  base::FileUtil::ReadFileToString(path, &json);
  std::unique_ptr<base::Value> value = base::JSONReader::Read(json);
  base::DictionaryValue* dictionary = nullptr;
  if (!value || !value->GetAsDictionary(&dictionary)) return nullptr;
  value.release();
  return std::unique_ptr<base::DictionaryValue>(dictionary);
}

// The package folder's files as the fetcher's test host reports them:
// relative path -> SHA-256.
std::map<std::string, std::string> ReportedFiles(
    const base::DictionaryValue& manifest) {
  std::map<std::string, std::string> files;
  const base::ListValue* list = nullptr;
  if (!manifest.GetList("files", &list)) return files;
  for (size_t i = 0; i < list->GetSize(); ++i) {
    const base::DictionaryValue* file = nullptr;
    std::string path, sha256;
    if (list->GetDictionary(i, &file) && file->GetString("path", &path) &&
        file->GetString("sha256", &sha256))
      files[path] = sha256;
  }
  return files;
}

// The package fetcher itself, run as a net installer (its test host with
// the sample net installer's tracking data appended, as a front end runs
// it), brings the sample package through the update server into its
// package folder, also over a cut transfer; a corrupt download ends the run
// with DOWNLOAD_FAILED and nothing unpacked.
TEST(SampleNetInstallerTest, FetcherTakesTheSamplePackageFromTheUpdateServer) {
  base::ScopedTempDir temp;
  ASSERT_TRUE(temp.CreateUniqueTempDir());
  PayloadReader sample_net_installer(SamplePath(SampleString("net_installer")));
  ASSERT_TRUE(sample_net_installer.Read());
  const std::string tracking_data = sample_net_installer.GetTrackingData();
  std::string host;
  ASSERT_TRUE(base::FileUtil::ReadFileToString(
      base::FilePath(u"Z:" + base::UTF8ToUTF16(VELNA_FETCHER_TEST_HOST))
          .NormalizePathSeparators(),
      &host));
  const base::FilePath net_installer =
      temp.GetPath().AppendASCII("velna_net_installer.exe");
  const std::string image = host + test::Trailer(tracking_data);
  ASSERT_EQ(base::WriteBufferToFile(net_installer, image.data(),
                                    static_cast<int>(image.size())),
            static_cast<int>(image.size()));

  std::map<std::string, std::string> expected;
  for (const auto& [path, contents] :
       test::ReadFileTree(test::SamplePackageTree("base")))
    expected[base::UTF16ToUTF8(path)] = test::Sha256Hex(contents);
  expected["server_tracking_data"] = test::Sha256Hex(tracking_data);

  struct Case {
    LocalHttpServer::PackageFault fault;
    int final_status;
  };
  const Case cases[] = {
      {LocalHttpServer::PackageFault::kNone, PACKAGE_READY},
      {LocalHttpServer::PackageFault::kCutOnce, PACKAGE_READY},
      {LocalHttpServer::PackageFault::kCorrupt, DOWNLOAD_FAILED},
  };
  int run = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.fault));
    LocalHttpServer server;
    ASSERT_TRUE(server.StartUpdateServer(
        SamplePath(SampleString(SamplePackageKey("base", "full_installer"))),
        c.fault));
    const base::FilePath folder =
        temp.GetPath().AppendASCII("run" + std::to_string(run++));
    const base::FilePath download = folder.AppendASCII("download");
    const base::FilePath report = folder.AppendASCII("report");
    ASSERT_TRUE(base::FileUtil::CreateDirectory(download));
    ASSERT_TRUE(base::FileUtil::CreateDirectory(report));
    base::CommandLine command_line(net_installer);
    command_line.AppendSwitchPath("download-folder", download);
    command_line.AppendSwitchPath("report-folder", report);
    command_line.AppendSwitchNative("internal-package-server",
                                    server.Url("/netinstaller/beta"));
    std::string output;
    DWORD exit_code = 1;
    ASSERT_TRUE(base::RunChildProcess(command_line.GetCommandLineString(), {},
                                      &output, &exit_code));
    ASSERT_EQ(exit_code, 0u) << output;

    std::unique_ptr<base::DictionaryValue> result =
        ReadJsonDictionary(report.AppendASCII("result.json"));
    std::unique_ptr<base::DictionaryValue> manifest =
        ReadJsonDictionary(report.AppendASCII("manifest.json"));
    ASSERT_TRUE(result && manifest);
    int final_status = -1;
    EXPECT_TRUE(result->GetInteger("final_status", &final_status));
    EXPECT_EQ(final_status, c.final_status);
    if (c.final_status == PACKAGE_READY)
      EXPECT_EQ(ReportedFiles(*manifest), expected);
    else
      EXPECT_TRUE(ReportedFiles(*manifest).empty());
    const auto requests = server.RequestsFor("/netinstaller/beta");
    ASSERT_EQ(requests.size(), 1u);
    std::string body;
    EXPECT_TRUE(requests[0]->GetString("body", &body));
    EXPECT_EQ(body, tracking_data);
    EXPECT_TRUE(server.Stop());
  }
}

}  // namespace
}  // namespace installer
