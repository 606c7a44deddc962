// The package fetcher's test host: runs a PackageFetcher on its main loop
// as a front end does and reports what happened, for the two-process tests
// (package_fetcher_win_unittest.cc). The tests append a payload to a copy of
// this program (and sign it), so that it runs as a full or a net installer.
//
// Switches:
//   --download-folder=PATH  the fetcher's download folder (required)
//   --report-folder=PATH    where the report goes (required)
//   --expected-signer=NAME, --autoupdate-url=URL  branding overrides
//   --restarts=N            restart a failed run (7 to 9) up to N times
//   --plant-stale-files     before a restart, leave a marker in the package
//                           folder, which the new run must remove
//   --lock-download-on-restart  before a restart, hold the download open
//                           without delete sharing, so it cannot be removed
//   --destroy-after-downloading-ms=N  destroy the fetcher N ms after
//                           DOWNLOADING, in the download or the checks
//   --child-timeout-ms=N    the version and stream children's time limit
//   --start-twice           start the fetcher twice in a row
//   --remove-package-when-ready  call RemovePackage() at PACKAGE_READY and
//                           end once the package folder is gone (or after
//                           10 s)
// Or, alone: --trust-root=DER / --untrust-root=DER add or remove a test root.
//
// Report (JSON files in the report folder): "calls.json", every delegate and
// runner call in order with its argument and whether it came on the main
// thread and after the fetcher's destruction; "stats.json", the statistics
// document; "manifest.json", the package folder's files (relative path,
// size, SHA-256, last-write FILETIME as text, and the content in hex of
// small files) and folders when the run ended; "result.json", the final status,
// whether RemovePackage() removed the package folder before the destruction,
// and what the destruction left; "log.json", every log line. Exit code 0 when
// the report was written.

#include <stdint.h>
#include <windows.h>

#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "base/at_exit.h"
#include "base/bind.h"
#include "base/command_line.h"
#include "base/files/file_enumerator.h"
#include "base/files/file_util.h"
#include "base/json/json_writer.h"
#include "base/location.h"
#include "base/logging.h"
#include "base/message_loop/message_loop.h"
#include "base/run_loop.h"
#include "base/strings/string_number_conversions.h"
#include "base/strings/string_util_win.h"
#include "base/strings/utf_string_conversions.h"
#include "base/threading/platform_thread.h"
#include "base/time/time.h"
#include "base/values.h"
#include "desktop/windows/installer/common/branding_config.h"
#include "desktop/windows/installer/common/stats_document.h"
#include "desktop/windows/installer/package_fetcher/package_fetcher.h"
#include "desktop/windows/installer/package_fetcher/test/package_test_material.h"
#include "desktop/windows/installer/package_fetcher/test/test_root_store_win.h"
#include "desktop/windows/installer/test/recording_ui_callback_runner.h"

namespace installer {
namespace {

constexpr char kDownloadFolder[] = "download-folder";
constexpr char kReportFolder[] = "report-folder";
constexpr char kExpectedSigner[] = "expected-signer";
constexpr char kAutoupdateUrl[] = "autoupdate-url";
constexpr char kRestarts[] = "restarts";
constexpr char kPlantStaleFiles[] = "plant-stale-files";
constexpr char kLockDownloadOnRestart[] = "lock-download-on-restart";
constexpr char kDestroyAfterDownloadingMs[] = "destroy-after-downloading-ms";
constexpr char kChildTimeoutMs[] = "child-timeout-ms";
constexpr char kStartTwice[] = "start-twice";
constexpr char kRemovePackageWhenReady[] = "remove-package-when-ready";
constexpr char kTrustRoot[] = "trust-root";
constexpr char kUntrustRoot[] = "untrust-root";

constexpr char kStaleMarker[] = "stale_marker";
// Files up to this size have their content in the manifest too.
constexpr size_t kManifestContentLimit = 8192;
// Longer than any case should take; then the host gives up on its own.
constexpr int kWatchdogSeconds = 100;
// How long late calls are waited for after the destruction.
constexpr int kLateCallWaitMs = 300;
// How often, and how many times, the package folder's removal is checked.
constexpr int kRemovalCheckMs = 20;
constexpr int kRemovalChecks = 500;

// Every log line, from any thread, with the milliseconds since the start.
std::mutex g_log_lock;
base::ListValue* g_log = nullptr;
base::TimeTicks g_start;

bool RecordLogLine(logging::LogSeverity severity, const char* file, int line,
                   size_t message_start, const std::string& text) {
  std::string message = text.substr(message_start);
  while (!message.empty() && (message.back() == '\n' || message.back() == '\r'))
    message.pop_back();
  auto entry = std::make_unique<base::DictionaryValue>();
  entry->SetInteger("severity", severity);
  entry->SetString("message", message);
  entry->SetInteger(
      "ms",
      static_cast<int>((base::TimeTicks::Now() - g_start).InMilliseconds()));
  std::lock_guard<std::mutex> hold(g_log_lock);
  if (g_log) g_log->Append(std::move(entry));
  return true;
}

bool WriteJsonFile(const base::FilePath& path, const base::Value& value) {
  std::string json;
  if (!base::JSONWriter::WriteWithOptions(
          value, base::JSONWriter::OPTIONS_PRETTY_PRINT, &json)) {
    return false;
  }
  return base::WriteBufferToFile(path, json.data(),
                                 static_cast<int>(json.size())) ==
         static_cast<int>(json.size());
}

// The package folder's files and folders, relative to it.
std::unique_ptr<base::DictionaryValue> MakeManifest(
    const base::FilePath& folder) {
  auto files = std::make_unique<base::ListValue>();
  auto folders = std::make_unique<base::ListValue>();
  base::FileEnumerator walk(
      folder, true,
      base::FileEnumerator::FILES | base::FileEnumerator::DIRECTORIES);
  for (base::FilePath path = walk.Next(); !path.empty(); path = walk.Next()) {
    base::FilePath relative;
    folder.AppendRelativePath(path, &relative);
    const WIN32_FIND_DATAW info = walk.GetInfo();
    if (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      folders->AppendString(relative.AsUTF8());
      continue;
    }
    std::string contents;
    base::FileUtil::ReadFileToString(path, &contents);
    auto entry = std::make_unique<base::DictionaryValue>();
    entry->SetString("path", relative.AsUTF8());
    entry->SetString("size",
                     base::Uint64ToString((uint64_t{info.nFileSizeHigh} << 32) |
                                          info.nFileSizeLow));
    entry->SetString("sha256", test::Sha256Hex(contents));
    if (contents.size() <= kManifestContentLimit) {
      entry->SetString("content_hex",
                       base::HexEncode(contents.data(), contents.size()));
    }
    entry->SetString("filetime",
                     base::Uint64ToString(
                         (uint64_t{info.ftLastWriteTime.dwHighDateTime} << 32) |
                         info.ftLastWriteTime.dwLowDateTime));
    files->Append(std::move(entry));
  }
  auto manifest = std::make_unique<base::DictionaryValue>();
  manifest->SetBoolean("exists", base::DirectoryExists(folder));
  manifest->Set("files", std::move(files));
  manifest->Set("folders", std::move(folders));
  return manifest;
}

class FetcherHost : public PackageFetcher::Delegate {
 public:
  explicit FetcherHost(const base::CommandLine& command_line)
      : command_line_(command_line),
        report_folder_(command_line.GetSwitchValuePath(kReportFolder)),
        document_(base::MakeRefCounted<StatsDocument>()),
        root_node_(document_->root()),
        main_thread_(base::PlatformThread::CurrentId()) {
    base::StringToInt(command_line.GetSwitchValueASCII(kRestarts),
                      &restarts_left_);
    base::StringToInt(
        command_line.GetSwitchValueASCII(kDestroyAfterDownloadingMs),
        &destroy_after_downloading_ms_);
  }

  int Run() {
    fetcher_ = std::make_unique<PackageFetcher>(
        command_line_.GetSwitchValuePath(kDownloadFolder), &root_node_,
        &ui_runner_, this);
    int timeout_ms = 0;
    if (base::StringToInt(command_line_.GetSwitchValueASCII(kChildTimeoutMs),
                          &timeout_ms)) {
      fetcher_->SetChildProcessTimeoutForTesting(
          base::TimeDelta::FromMilliseconds(timeout_ms));
    }
    download_path_ = fetcher_->download_path();
    fetcher_->Start();
    if (command_line_.HasSwitch(kStartTwice)) fetcher_->Start();
    base::MessageLoop::current()->task_runner()->PostDelayedTask(
        CURRENT_LOCATION, base::Bind(&FetcherHost::Finish, this, true),
        base::TimeDelta::FromSeconds(kWatchdogSeconds));
    run_loop_.Run();
    return WriteReport() ? 0 : 1;
  }

  // PackageFetcher::Delegate:
  void SetTotalProgress(int total) override {
    Record("SetTotalProgress", std::make_unique<base::FundamentalValue>(total));
  }
  void SetCurrentProgress(int current) override {
    Record("SetCurrentProgress",
           std::make_unique<base::FundamentalValue>(current));
  }
  void NotifyStalled() override {
    Record("NotifyStalled", std::make_unique<base::Value>());
  }
  void NotifyStatusChanged(FetcherStatus status) override {
    Record("NotifyStatusChanged",
           std::make_unique<base::FundamentalValue>(status));
    last_status_ = status;
    if (status == DOWNLOADING && destroy_after_downloading_ms_ > 0) {
      base::MessageLoop::current()->task_runner()->PostDelayedTask(
          CURRENT_LOCATION, base::Bind(&FetcherHost::Finish, this, false),
          base::TimeDelta::FromMilliseconds(destroy_after_downloading_ms_));
    } else if (status == PACKAGE_READY) {
      if (command_line_.HasSwitch(kRemovePackageWhenReady)) {
        fetcher_->RemovePackage();
        WaitForPackageRemoval(0);
      } else {
        Finish(false);
      }
    } else if (status >= INITIALIZATION_FAILED) {
      if (restarts_left_ > 0) {
        --restarts_left_;
        PrepareRestart();
        fetcher_->Start();
      } else {
        Finish(false);
      }
    }
  }
  void NotifyTrackingDataObtained(const std::string& tracking_data) override {
    Record("NotifyTrackingDataObtained",
           std::make_unique<base::StringValue>(tracking_data));
  }

 private:
  void Record(const char* call, std::unique_ptr<base::Value> value) {
    auto entry = std::make_unique<base::DictionaryValue>();
    entry->SetString("call", call);
    entry->Set("value", std::move(value));
    entry->SetBoolean("main_thread",
                      base::PlatformThread::CurrentId() == main_thread_);
    entry->SetBoolean("after_destruction", destroyed_);
    calls_.Append(std::move(entry));
  }

  // What a restart must clean up: a marker in the package folder, and
  // optionally a download that cannot be deleted.
  void PrepareRestart() {
    const base::FilePath package_folder = GetPackageFolder(download_path_);
    if (command_line_.HasSwitch(kPlantStaleFiles)) {
      base::FileUtil::CreateDirectory(package_folder);
      base::WriteBufferToFile(package_folder.AppendASCII(kStaleMarker), "x", 1);
      planted_marker_ = true;
    }
    if (command_line_.HasSwitch(kLockDownloadOnRestart)) {
      locked_download_.reset(new base::win::ScopedHandle(
          ::CreateFileW(base::as_wcstr(download_path_.value()),
                        GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                        OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr)));
    }
  }

  // Ends the run once the package folder is gone, or after the last check.
  void WaitForPackageRemoval(int checks) {
    if (!fetcher_) return;
    const bool removed = !base::PathExists(GetPackageFolder(download_path_));
    if (!removed && checks < kRemovalChecks) {
      base::MessageLoop::current()->task_runner()->PostDelayedTask(
          CURRENT_LOCATION,
          base::Bind(&FetcherHost::WaitForPackageRemoval, this, checks + 1),
          base::TimeDelta::FromMilliseconds(kRemovalCheckMs));
      return;
    }
    result_.SetBoolean("package_removed_before_destruction", removed);
    Finish(false);
  }

  // The run is over (or |watchdog| fired): record the package folder, then
  // destroy the fetcher and see what it left.
  void Finish(bool watchdog) {
    if (!fetcher_) return;
    timed_out_ = watchdog;
    const base::FilePath package_folder = GetPackageFolder(download_path_);
    result_.SetBoolean(
        "stale_marker_present",
        planted_marker_ &&
            base::PathExists(package_folder.AppendASCII(kStaleMarker)));
    manifest_ = MakeManifest(package_folder);
    std::string stats;
    document_->WriteJson(&stats);
    stats_ = std::move(stats);
    locked_download_.reset();

    const base::TimeTicks before = base::TimeTicks::Now();
    fetcher_.reset();
    destroyed_ = true;
    result_.SetInteger(
        "destroy_ms",
        static_cast<int>((base::TimeTicks::Now() - before).InMilliseconds()));
    result_.SetBoolean("package_folder_removed",
                       !base::PathExists(package_folder));
    result_.SetBoolean("download_removed", !base::PathExists(download_path_));
    base::MessageLoop::current()->task_runner()->PostDelayedTask(
        CURRENT_LOCATION, run_loop_.QuitClosure(),
        base::TimeDelta::FromMilliseconds(kLateCallWaitMs));
  }

  bool WriteReport() {
    result_.SetInteger("final_status", last_status_);
    result_.SetBoolean("timed_out", timed_out_);
    result_.SetString("download_path", download_path_.AsUTF8());
    result_.SetInteger("ui_runner_calls", static_cast<int>(ui_runner_.calls()));
    bool written =
        WriteJsonFile(report_folder_.AppendASCII("calls.json"), calls_) &&
        WriteJsonFile(report_folder_.AppendASCII("result.json"), result_) &&
        WriteJsonFile(report_folder_.AppendASCII("manifest.json"), *manifest_);
    written = written && base::WriteBufferToFile(
                             report_folder_.AppendASCII("stats.json"),
                             stats_.data(), static_cast<int>(stats_.size())) ==
                             static_cast<int>(stats_.size());
    std::lock_guard<std::mutex> hold(g_log_lock);
    return written &&
           WriteJsonFile(report_folder_.AppendASCII("log.json"), *g_log);
  }

  const base::CommandLine& command_line_;
  const base::FilePath report_folder_;
  base::ScopedRefPtr<StatsDocument> document_;
  StatsNode root_node_;
  const base::PlatformThreadId main_thread_;
  test::RecordingUICallbackRunner ui_runner_;
  base::RunLoop run_loop_;
  std::unique_ptr<PackageFetcher> fetcher_;
  base::FilePath download_path_;
  int restarts_left_ = 0;
  int destroy_after_downloading_ms_ = 0;
  int last_status_ = -1;
  bool planted_marker_ = false;
  bool destroyed_ = false;
  bool timed_out_ = false;
  std::unique_ptr<base::win::ScopedHandle> locked_download_;
  base::ListValue calls_;
  base::DictionaryValue result_;
  std::unique_ptr<base::DictionaryValue> manifest_;
  std::string stats_;
};

// --trust-root / --untrust-root.
int ChangeTrustedRoot(const base::CommandLine& command_line) {
  const bool add = command_line.HasSwitch(kTrustRoot);
  std::string der;
  if (!base::FileUtil::ReadFileToString(
          command_line.GetSwitchValuePath(add ? kTrustRoot : kUntrustRoot),
          &der)) {
    fprintf(stderr, "cannot read the root certificate\n");
    return 1;
  }
  if (add) {
    std::u16string key;
    std::string error;
    if (!test::AddTrustedRoot(der, &key, &error)) {
      fprintf(stderr, "%s\n", error.c_str());
      return 1;
    }
    return 0;
  }
  const std::u16string key = test::GetTrustedRootKey(der);
  return !key.empty() && test::RemoveTrustedRoot(key) ? 0 : 1;
}

int RunHost() {
  base::AtExitManager at_exit;
  base::CommandLine::Init();
  const base::CommandLine& command_line =
      *base::CommandLine::ForCurrentProcess();
  if (command_line.HasSwitch(kTrustRoot) ||
      command_line.HasSwitch(kUntrustRoot))
    return ChangeTrustedRoot(command_line);
  if (!command_line.HasSwitch(kDownloadFolder) ||
      !command_line.HasSwitch(kReportFolder)) {
    fprintf(stderr, "--download-folder and --report-folder are required\n");
    return 2;
  }

  {
    std::lock_guard<std::mutex> hold(g_log_lock);
    g_log = new base::ListValue();
    g_start = base::TimeTicks::Now();
  }
  logging::SetMinLogLevel(-1);
  logging::SetLogMessageHandler(&RecordLogLine);

  if (command_line.HasSwitch(kExpectedSigner)) {
    BrandingConfig::OverrideForTesting(
        "expected_signer",
        std::make_unique<base::StringValue>(
            command_line.GetSwitchValueNative(kExpectedSigner)));
  }
  if (command_line.HasSwitch(kAutoupdateUrl)) {
    BrandingConfig::OverrideForTesting(
        "urls.autoupdate",
        std::make_unique<base::StringValue>(
            command_line.GetSwitchValueNative(kAutoupdateUrl)));
  }

  base::MessageLoop loop;
  FetcherHost host(command_line);
  return host.Run();
}

}  // namespace
}  // namespace installer

int main() { return installer::RunHost(); }
