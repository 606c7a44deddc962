// The package fetcher end to end: two processes per case. The test starts
// an installer image (the fetcher's test host with a payload, see
// test/package_fetcher_test_host_win.cc and test/make_test_packages.py)
// against a local HTTP server that plays the update server and serves the
// package; the host runs a PackageFetcher as a front end would and reports
// the delegate's calls, the statistics, the package folder and what the
// fetcher's destruction left behind.

#include <stdint.h>
#include <windows.h>

#include <algorithm>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "base/command_line.h"
#include "base/files/file_enumerator.h"
#include "base/files/file_util.h"
#include "base/json/json_reader.h"
#include "base/json/json_writer.h"
#include "base/logging.h"
#include "base/rand_util.h"
#include "base/strings/string_number_conversions.h"
#include "base/strings/string_util.h"
#include "base/strings/stringprintf.h"
#include "base/strings/utf_string_conversions.h"
#include "base/test/child_process_win.h"
#include "base/test/scoped_temp_dir.h"
#include "base/values.h"
#include "base/version.h"
#include "desktop/windows/installer/common/version_info.h"
#include "desktop/windows/installer/package_fetcher/package_fetcher.h"
#include "desktop/windows/installer/package_fetcher/test/package_test_material.h"
#include "desktop/windows/installer/test/local_http_server_win.h"
#include "gtest/gtest.h"

namespace installer {
namespace {

constexpr int kVerbose = -1;  // VLOG(1)
constexpr char kPackagePath[] = "/files/package.exe";
constexpr char kPartnerPath[] = "/files/partner.dat";
constexpr char kRequestPath[] = "/netinstaller/beta";
constexpr char kWelcomeUrl[] = "https://www.velna.com/welcome?first=1";

std::string Image(const std::string& name) {
  return test::MaterialString("fetcher.images." + name);
}

std::string ImageBytes(const std::string& name) {
  std::string bytes;
  EXPECT_TRUE(base::FileUtil::ReadFileToString(test::MaterialPath(Image(name)),
                                               &bytes));
  return bytes;
}

std::string ImageChecksum(const std::string& name) {
  return test::MaterialString("fetcher.sha256." + name);
}

std::string FromHex(const std::string& hex) {
  std::vector<uint8_t> bytes;
  EXPECT_TRUE(base::HexStringToBytes(hex, &bytes)) << hex;
  return std::string(bytes.begin(), bytes.end());
}

std::string RandomBytes(size_t size) {
  std::string bytes(size, '\0');
  base::RandBytes(&bytes[0], size);
  return bytes;
}

std::string TrackingData() {
  return FromHex(test::MaterialString("fetcher.tracking_hex"));
}

std::unique_ptr<base::Value> ReadJson(const base::FilePath& path) {
  std::string json;
  if (!base::FileUtil::ReadFileToString(path, &json)) return nullptr;
  return base::JSONReader::Read(json);
}

template <typename T>
std::unique_ptr<T> Take(std::unique_ptr<base::Value> value) {
  T* typed = nullptr;
  if (!value) return nullptr;
  if constexpr (std::is_same_v<T, base::ListValue>) {
    if (!value->GetAsList(&typed)) return nullptr;
  } else {
    if (!value->GetAsDictionary(&typed)) return nullptr;
  }
  value.release();
  return std::unique_ptr<T>(typed);
}

std::vector<std::string> ListEntries(const base::FilePath& folder) {
  std::vector<std::string> names;
  base::FileEnumerator walk(
      folder, false,
      base::FileEnumerator::FILES | base::FileEnumerator::DIRECTORIES);
  for (base::FilePath path = walk.Next(); !path.empty(); path = walk.Next())
    names.push_back(path.BaseName().AsUTF8());
  std::sort(names.begin(), names.end());
  return names;
}

// The JSON reply of the update server.
std::string MakeReply(const std::u16string& installer,
                      const std::string* checksum,
                      std::unique_ptr<base::ListValue> partners,
                      const char* welcome_url) {
  base::DictionaryValue reply;
  reply.SetString("installer", installer);
  if (checksum) reply.SetString("installer_checksum", *checksum);
  if (partners) reply.Set("partner_content", std::move(partners));
  if (welcome_url) reply.SetString("url_welcome", welcome_url);
  std::string json;
  EXPECT_TRUE(base::JSONWriter::Write(reply, &json));
  return json;
}

std::unique_ptr<base::ListValue> OnePartner(const std::u16string& href,
                                            const std::string& file_name,
                                            const std::string& checksum) {
  auto entry = std::make_unique<base::DictionaryValue>();
  entry->SetString("href", href);
  entry->SetString("filename", file_name);
  entry->SetString("checksum", checksum);
  auto list = std::make_unique<base::ListValue>();
  list->Append(std::move(entry));
  return list;
}

// What one run of the test host reported.
struct HostReport {
  DWORD exit_code = 0;
  std::unique_ptr<base::ListValue> calls;
  std::unique_ptr<base::DictionaryValue> result;
  std::unique_ptr<base::DictionaryValue> manifest;
  std::unique_ptr<base::DictionaryValue> stats;
  std::unique_ptr<base::ListValue> log;

  bool complete() const { return calls && result && manifest && stats && log; }

  std::vector<int> Statuses() const {
    std::vector<int> statuses;
    for (size_t i = 0; i < calls->GetSize(); ++i) {
      const base::DictionaryValue* call = nullptr;
      std::string name;
      int value = 0;
      if (calls->GetDictionary(i, &call) && call->GetString("call", &name) &&
          name == "NotifyStatusChanged" && call->GetInteger("value", &value)) {
        statuses.push_back(value);
      }
    }
    return statuses;
  }

  // The values of every call named |name|.
  std::vector<const base::Value*> Calls(const std::string& name) const {
    std::vector<const base::Value*> values;
    for (size_t i = 0; i < calls->GetSize(); ++i) {
      const base::DictionaryValue* call = nullptr;
      std::string call_name;
      const base::Value* value = nullptr;
      if (calls->GetDictionary(i, &call) &&
          call->GetString("call", &call_name) && call_name == name &&
          call->Get("value", &value)) {
        values.push_back(value);
      }
    }
    return values;
  }

  const base::DictionaryValue* Fetch(size_t index) const {
    const base::ListValue* fetches = nullptr;
    const base::DictionaryValue* fetch = nullptr;
    if (!stats->GetList("fetches", &fetches) ||
        !fetches->GetDictionary(index, &fetch)) {
      return nullptr;
    }
    return fetch;
  }

  size_t FetchCount() const {
    const base::ListValue* fetches = nullptr;
    return stats->GetList("fetches", &fetches) ? fetches->GetSize() : 0;
  }

  bool LogHas(int severity, const std::string& message) const {
    return LogHasLine(severity,
                      [&](const std::string& text) { return text == message; });
  }
  // For messages whose wording is free: one that mentions |part|.
  bool LogHasMention(int severity, const std::string& part) const {
    return LogHasLine(severity, [&](const std::string& text) {
      return text.find(part) != std::string::npos;
    });
  }
  template <typename Match>
  bool LogHasLine(int severity, Match match) const {
    for (size_t i = 0; i < log->GetSize(); ++i) {
      const base::DictionaryValue* line = nullptr;
      int line_severity = 0;
      std::string text;
      if (log->GetDictionary(i, &line) &&
          line->GetInteger("severity", &line_severity) &&
          line->GetString("message", &text) && line_severity == severity &&
          match(text)) {
        return true;
      }
    }
    return false;
  }

  // The package folder's files by relative path.
  std::map<std::string, const base::DictionaryValue*> Files() const {
    std::map<std::string, const base::DictionaryValue*> files;
    const base::ListValue* list = nullptr;
    if (!manifest->GetList("files", &list)) return files;
    for (size_t i = 0; i < list->GetSize(); ++i) {
      const base::DictionaryValue* file = nullptr;
      std::string path;
      if (list->GetDictionary(i, &file) && file->GetString("path", &path))
        files[path] = file;
    }
    return files;
  }

  std::string FileContent(const std::string& path) const {
    const auto files = Files();
    const auto it = files.find(path);
    std::string hex;
    if (it == files.end() || !it->second->GetString("content_hex", &hex))
      return "<missing " + path + ">";
    return hex.empty() ? std::string() : FromHex(hex);
  }
};

class PackageFetcherRunTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(temp_.CreateUniqueTempDir());
    download_folder_ = temp_.GetPath().AppendASCII("dl");
    report_folder_ = temp_.GetPath().AppendASCII("report");
    canary_ = temp_.GetPath().AppendASCII("canary");
    ASSERT_TRUE(base::FileUtil::CreateDirectory(download_folder_));
    ASSERT_TRUE(base::FileUtil::CreateDirectory(report_folder_));
    ASSERT_TRUE(base::FileUtil::CreateDirectory(canary_));
    ASSERT_EQ(6, base::WriteBufferToFile(canary_.AppendASCII("keep.txt"),
                                         "canary", 6));
    ASSERT_TRUE(server_.Start());
  }

  void TearDown() override {
    EXPECT_TRUE(server_.Stop());
    // What the fetcher said is the best clue to a failure.
    if (HasFailure()) fprintf(stderr, "host log: %s\n", last_log_.c_str());
  }

  // Serves the package image |image| and replies with its URL and
  // checksum (|checksum| in place of it when given).
  void ServePackage(const std::string& image, const std::string* checksum,
                    std::unique_ptr<base::ListValue> partners = nullptr,
                    const char* welcome_url = nullptr) {
    ASSERT_TRUE(server_.ServeFile("package.exe", ImageBytes(image)));
    const std::string right = ImageChecksum(image);
    ServeReply(MakeReply(server_.Url(kPackagePath),
                         checksum ? checksum : &right, std::move(partners),
                         welcome_url));
  }

  void ServeReply(const std::string& json) {
    // The request path's last part names the file served.
    ASSERT_TRUE(server_.ServeFile("beta", json));
  }

  HostReport RunHost(
      const std::string& image, const std::vector<std::string>& switches = {},
      const std::vector<std::pair<std::u16string, std::u16string>>&
          environment = {}) {
    base::CommandLine command_line(test::MaterialPath(Image(image)));
    command_line.AppendSwitchPath("download-folder", download_folder_);
    command_line.AppendSwitchPath("report-folder", report_folder_);
    command_line.AppendSwitchASCII(
        "expected-signer", test::MaterialString("fetcher.expected_signer"));
    command_line.AppendSwitchNative("autoupdate-url", server_.Url("/"));
    command_line.AppendSwitchNative("internal-package-server",
                                    server_.Url(kRequestPath));
    for (const std::string& name_value : switches) {
      const size_t equals = name_value.find('=');
      if (equals == std::string::npos) {
        command_line.AppendSwitch(name_value);
      } else {
        command_line.AppendSwitchASCII(name_value.substr(0, equals),
                                       name_value.substr(equals + 1));
      }
    }
    HostReport report;
    std::string output;
    EXPECT_TRUE(base::RunChildProcess(command_line.GetCommandLineString(),
                                      environment, &output, &report.exit_code));
    report.calls = Take<base::ListValue>(
        ReadJson(report_folder_.AppendASCII("calls.json")));
    report.result = Take<base::DictionaryValue>(
        ReadJson(report_folder_.AppendASCII("result.json")));
    report.manifest = Take<base::DictionaryValue>(
        ReadJson(report_folder_.AppendASCII("manifest.json")));
    report.stats = Take<base::DictionaryValue>(
        ReadJson(report_folder_.AppendASCII("stats.json")));
    report.log =
        Take<base::ListValue>(ReadJson(report_folder_.AppendASCII("log.json")));
    base::FileUtil::ReadFileToString(report_folder_.AppendASCII("log.json"),
                                     &last_log_);
    return report;
  }

  // What every run must end with: a complete report, every call on the main
  // thread and none after the destruction, each run ending in exactly one
  // final status, nothing left in the download folder and nothing touched
  // outside it.
  void ExpectCleanEnd(const HostReport& report) {
    ASSERT_EQ(0u, report.exit_code);
    ASSERT_TRUE(report.complete());
    bool flag = true;
    EXPECT_TRUE(report.result->GetBoolean("timed_out", &flag) && !flag);
    for (size_t i = 0; i < report.calls->GetSize(); ++i) {
      const base::DictionaryValue* call = nullptr;
      ASSERT_TRUE(report.calls->GetDictionary(i, &call));
      bool main_thread = false, after = true;
      EXPECT_TRUE(call->GetBoolean("main_thread", &main_thread) && main_thread);
      EXPECT_TRUE(call->GetBoolean("after_destruction", &after) && !after);
    }
    // A final status ends its run (whose other statuses each test lists).
    const std::vector<int> statuses = report.Statuses();
    for (size_t i = 0; i + 1 < statuses.size(); ++i) {
      if (statuses[i] >= PACKAGE_READY) {
        EXPECT_EQ(STARTED, statuses[i + 1]) << "after status " << i;
      }
    }
    bool removed = false;
    EXPECT_TRUE(report.result->GetBoolean("package_folder_removed", &removed) &&
                removed);
    EXPECT_TRUE(report.result->GetBoolean("download_removed", &removed) &&
                removed);
    EXPECT_TRUE(ListEntries(download_folder_).empty())
        << ListEntries(download_folder_).front();
    EXPECT_EQ((std::vector<std::string>{"canary", "dl", "report"}),
              ListEntries(temp_.GetPath()));
    EXPECT_EQ(std::vector<std::string>{"keep.txt"}, ListEntries(canary_));
    std::string canary;
    EXPECT_TRUE(base::FileUtil::ReadFileToString(
        canary_.AppendASCII("keep.txt"), &canary));
    EXPECT_EQ("canary", canary);
  }

  // The package folder held the fetcher's tree, but for the files of
  // |changed| (path -> content, or "" for "not there").
  void ExpectTree(const HostReport& report,
                  const std::map<std::string, std::string>& changed = {}) {
    auto files = report.Files();
    for (const test::TreeFile& expected : test::TreeFiles("fetcher.tree")) {
      const std::string path = base::UTF16ToUTF8(expected.path);
      SCOPED_TRACE(path);
      const auto it = files.find(path);
      ASSERT_NE(files.end(), it);
      if (changed.count(path)) continue;
      std::string size, sha256, filetime;
      it->second->GetString("size", &size);
      it->second->GetString("sha256", &sha256);
      it->second->GetString("filetime", &filetime);
      EXPECT_EQ(base::Uint64ToString(expected.size), size);
      EXPECT_EQ(expected.sha256, sha256);
      EXPECT_EQ(base::Uint64ToString(expected.filetime), filetime);
      files.erase(it);
    }
    for (const auto& [path, content] : changed) {
      if (content.empty()) {
        EXPECT_EQ(0u, files.count(path)) << path;
      } else {
        EXPECT_EQ(content, report.FileContent(path)) << path;
      }
      files.erase(path);
    }
    for (const auto& [path, file] : files) ADD_FAILURE() << "extra " << path;

    std::set<std::string> folders;
    const base::ListValue* list = nullptr;
    ASSERT_TRUE(report.manifest->GetList("folders", &list));
    for (size_t i = 0; i < list->GetSize(); ++i) {
      std::string folder;
      list->GetString(i, &folder);
      folders.insert(folder);
    }
    std::set<std::string> expected_folders;
    for (const std::u16string& folder : test::TreeFolders("fetcher.tree"))
      expected_folders.insert(base::UTF16ToUTF8(folder));
    EXPECT_EQ(expected_folders, folders);
  }

  // The package's own "files_list": its names, "\r\n" between them.
  static std::string OriginalFilesList() {
    std::vector<std::string> names;
    for (const test::TreeFile& file : test::TreeFiles("fetcher.tree")) {
      if (file.path != u"files_list")
        names.push_back(base::UTF16ToUTF8(file.path));
    }
    return base::JoinString(names, "\r\n");
  }

  base::ScopedTempDir temp_;
  base::FilePath download_folder_;
  base::FilePath report_folder_;
  base::FilePath canary_;
  test::LocalHttpServer server_;
  std::string last_log_;
};

std::string GetString(const base::DictionaryValue* dictionary,
                      const std::string& key) {
  std::string value;
  if (!dictionary || !dictionary->GetString(key, &value)) return "<absent>";
  return value;
}

int GetInt(const base::DictionaryValue* dictionary, const std::string& key) {
  int value = -1;
  if (!dictionary || !dictionary->GetInteger(key, &value)) return -1;
  return value;
}

// --- Full installer: the package travels inside the running executable.

class FullInstallerTest : public PackageFetcherRunTest,
                          public testing::WithParamInterface<const char*> {};

TEST_P(FullInstallerTest, UnpacksItsOwnPayloadWithoutAnyRequest) {
  const HostReport report = RunHost(GetParam());
  ExpectCleanEnd(report);
  ASSERT_TRUE(report.complete());
  EXPECT_EQ(
      (std::vector<int>{STARTED, FOLDER_READY, EXTRACTING, PACKAGE_READY}),
      report.Statuses());
  EXPECT_TRUE(server_.Requests().empty());
  EXPECT_TRUE(report.Calls("NotifyTrackingDataObtained").empty());
  ExpectTree(report);

  // The unpacking's progress counts items up to the total.
  const auto totals = report.Calls("SetTotalProgress");
  ASSERT_FALSE(totals.empty());
  int total = 0;
  totals.back()->GetAsInteger(&total);
  EXPECT_GE(total, static_cast<int>(test::TreeFiles("fetcher.tree").size()));
  int previous = -1;
  for (const base::Value* value : report.Calls("SetCurrentProgress")) {
    int current = 0;
    value->GetAsInteger(&current);
    EXPECT_GE(current, previous);
    EXPECT_LE(current, total);
    previous = current;
  }

  EXPECT_EQ("full_package", GetString(report.stats.get(), "payload_type"));
  const base::DictionaryValue* fetch = report.Fetch(0);
  EXPECT_EQ(1u, report.FetchCount());
  EXPECT_EQ("package_ready", GetString(fetch, "result"));
  EXPECT_EQ(0, GetInt(fetch, "try_number"));
  EXPECT_EQ("<absent>", GetString(fetch, "failure_reason"));
  EXPECT_NE("<absent>", GetString(fetch, "start_time.time"));
  EXPECT_NE("<absent>", GetString(fetch, "unpack_end_time.time"));
  EXPECT_NE("<absent>", GetString(report.stats.get(), "package_ready_time"));
  EXPECT_EQ(-1, GetInt(report.stats.get(), "fetcher_restarts"));

  EXPECT_TRUE(report.LogHas(logging::LOG_INFO, "Starting the package fetcher"));
  EXPECT_TRUE(report.LogHas(logging::LOG_INFO, "Found full package"));
  EXPECT_TRUE(report.LogHas(logging::LOG_INFO, "Unpacking files from archive"));
  EXPECT_TRUE(report.LogHas(logging::LOG_INFO, "Package ready."));
  EXPECT_TRUE(
      report.LogHas(logging::LOG_INFO, "Terminating the package fetcher"));
}

// A package whose backend installs from a copy goes before the fetcher
// does; the run stays as it ended, and the destruction still cleans up.
TEST_F(PackageFetcherRunTest, RemovePackageRemovesTheReadyPackageAtOnce) {
  const HostReport report =
      RunHost("full_unsigned", {"remove-package-when-ready"});
  ExpectCleanEnd(report);
  ASSERT_TRUE(report.complete());
  EXPECT_EQ(PACKAGE_READY, report.Statuses().back());
  bool removed = false;
  EXPECT_TRUE(report.result->GetBoolean("package_removed_before_destruction",
                                        &removed));
  EXPECT_TRUE(removed);
  bool exists = true;
  EXPECT_TRUE(report.manifest->GetBoolean("exists", &exists));
  EXPECT_FALSE(exists);
  EXPECT_TRUE(
      report.LogHasMention(logging::LOG_INFO, "Removed the package folder"));
}

INSTANTIATE_TEST_SUITE_P(Images, FullInstallerTest,
                         testing::Values("full_unsigned", "full_signed"));

// --- Net installer: asks the server, downloads, checks and unpacks.

TEST_F(PackageFetcherRunTest, NetInstallerDownloadsChecksAndUnpacks) {
  const std::string package = ImageBytes("package");
  // The download breaks off once in the middle, and the resumed request's
  // Range is ignored once: the body starts over.
  ASSERT_TRUE(server_.SetRoutes(base::StringPrintf(
      R"({"/files/package.exe": {"cut": "%zu", "cut_count": "1",
          "ignore_range": "1"}})",
      package.size() / 2)));
  const std::string partner = RandomBytes(6000);
  ASSERT_TRUE(server_.ServeFile("partner.dat", partner));
  ServePackage("package", nullptr,
               OnePartner(server_.Url(kPartnerPath), "partner.dat",
                          test::Sha256Hex(partner)),
               kWelcomeUrl);

  const HostReport report = RunHost("net_signed");
  ExpectCleanEnd(report);
  ASSERT_TRUE(report.complete());
  EXPECT_EQ((std::vector<int>{STARTED, FOLDER_READY, FETCHING_DOWNLOAD_URL,
                              DOWNLOADING, EXTRACTING, FETCHING_PARTNER_CONTENT,
                              PACKAGE_READY}),
            report.Statuses());
  EXPECT_EQ(1u, report.Calls("NotifyTrackingDataObtained").size());

  // The request: a POST of the tracking data, byte for byte.
  const auto requests = server_.RequestsFor(kRequestPath);
  ASSERT_EQ(1u, requests.size());
  EXPECT_EQ("POST", GetString(requests[0].get(), "method"));
  EXPECT_EQ(test::Md5Hex(TrackingData()),
            GetString(requests[0].get(), "body_md5"));
  EXPECT_EQ("Velna NetInstaller/" + VersionInfo::GetProductVersion(),
            GetString(requests[0].get(), "user_agent"));
  const auto downloads = server_.RequestsFor(kPackagePath);
  ASSERT_EQ(2u, downloads.size());
  EXPECT_EQ("", GetString(downloads[0].get(), "range"));
  EXPECT_EQ(base::StringPrintf("bytes=%zu-", package.size() / 2),
            GetString(downloads[1].get(), "range"));
  EXPECT_EQ(1u, server_.RequestsFor(kPartnerPath).size());

  // The package folder: the tree, the tracking data, the welcome page, the
  // partner file and its line in the list (after a line break of its own:
  // the package's list ends without one).
  std::string prefs_include =
      report.FileContent("installer_prefs_include.json");
  std::unique_ptr<base::Value> prefs = base::JSONReader::Read(prefs_include);
  const base::DictionaryValue* prefs_dictionary = nullptr;
  ASSERT_TRUE(prefs && prefs->GetAsDictionary(&prefs_dictionary))
      << prefs_include;
  EXPECT_EQ(kWelcomeUrl, GetString(prefs_dictionary, "welcome-url"));
  EXPECT_EQ(1u, prefs_dictionary->size());
  ExpectTree(report,
             {{"files_list", OriginalFilesList() + "\r\npartner.dat\r\n"},
              {"server_tracking_data", TrackingData()},
              {"installer_prefs_include.json", prefs_include},
              {"partner.dat", partner}});

  // The statistics.
  const base::DictionaryValue* stats = report.stats.get();
  EXPECT_EQ("tracking_data", GetString(stats, "payload_type"));
  const std::string package_url = base::UTF16ToUTF8(server_.Url(kPackagePath));
  EXPECT_EQ(package_url, GetString(stats, "download_url"));
  for (const char* key :
       {"installation_start_download_time", "installation_start_unpacking_time",
        "installation_unpack_complete_time", "package_ready_time"}) {
    EXPECT_NE("<absent>", GetString(stats, key)) << key;
  }
  const base::DictionaryValue* fetch = report.Fetch(0);
  ASSERT_TRUE(fetch);
  EXPECT_EQ("package_ready", GetString(fetch, "result"));
  EXPECT_EQ(package_url, GetString(fetch, "download_url"));
  EXPECT_EQ(200, GetInt(fetch, "fetch_download_url_http_status"));
  EXPECT_EQ(VersionInfo::GetInternalVersion(),
            GetString(fetch, "internal_version"));
  EXPECT_EQ(VersionInfo::GetStream(), GetString(fetch, "stream"));
  for (const char* key :
       {"start_time", "fetch_download_url_start_time", "download_start_time",
        "download_end_time", "extract_start_time", "unpack_start_time",
        "unpack_end_time", "package_ready_time"}) {
    EXPECT_NE("<absent>", GetString(fetch, std::string(key) + ".time")) << key;
  }
  const base::ListValue* chunks = nullptr;
  ASSERT_TRUE(fetch->GetList("download_chunks", &chunks));
  EXPECT_GE(chunks->GetSize(), 2u);
  const base::ListValue* additional = nullptr;
  ASSERT_TRUE(fetch->GetList("addtional_files", &additional));
  ASSERT_EQ(1u, additional->GetSize());
  const base::DictionaryValue* file_entry = nullptr;
  ASSERT_TRUE(additional->GetDictionary(0, &file_entry));
  EXPECT_EQ(base::UTF16ToUTF8(server_.Url(kPartnerPath)),
            GetString(file_entry, "download_url"));
  EXPECT_EQ(1, GetInt(file_entry, "download_succeeded"));
  const base::ListValue* tries = nullptr;
  ASSERT_TRUE(file_entry->GetList("download_tries", &tries));
  ASSERT_EQ(1u, tries->GetSize());
  const base::DictionaryValue* first_try = nullptr;
  ASSERT_TRUE(tries->GetDictionary(0, &first_try));
  EXPECT_EQ(0, GetInt(first_try, "try_number"));
  EXPECT_EQ(200, GetInt(first_try, "http_status"));

  EXPECT_TRUE(report.LogHas(kVerbose, "Parsing the fetched URL"));
  EXPECT_TRUE(report.LogHas(kVerbose, "Writing welcome page url pref"));
  EXPECT_TRUE(report.LogHas(kVerbose, "Downloaded package version: " +
                                          VersionInfo::GetInternalVersion()));
  EXPECT_TRUE(
      report.LogHas(logging::LOG_INFO, "We have extra partner content"));
}

// The downloaded installer is checked, run for its version and stream, and
// unpacked: whoever can write the download folder cannot put another file
// in its place between the checks and the unpacking (here the installer
// itself tries, when asked for its stream, with a validly signed installer
// of another package).
TEST_F(PackageFetcherRunTest, TheCheckedInstallerIsTheOneUnpacked) {
  ServePackage("package_stub", nullptr);
  const HostReport report =
      RunHost("net_signed_plain", {},
              {{u"VELNA_TEST_STUB_REPLACE_SELF",
                test::MaterialPath(Image("package_bare")).value()}});
  ExpectCleanEnd(report);
  ASSERT_TRUE(report.complete());
  EXPECT_EQ(PACKAGE_READY, report.Statuses().back());
  ExpectTree(report);
}

// Without tracking data the request is a GET; the switch supplies some.
class NetInstallerRequestTest
    : public PackageFetcherRunTest,
      public testing::WithParamInterface<const char*> {};

TEST_P(NetInstallerRequestTest, BodyIsTheTrackingData) {
  const std::string blob = GetParam();
  ServePackage("package", nullptr);
  std::vector<std::string> switches;
  if (!blob.empty()) switches.push_back("server-tracking-blob=" + blob);
  const HostReport report = RunHost("net_signed_plain", switches);
  ExpectCleanEnd(report);
  ASSERT_TRUE(report.complete());
  EXPECT_EQ((std::vector<int>{STARTED, FOLDER_READY, FETCHING_DOWNLOAD_URL,
                              DOWNLOADING, EXTRACTING, PACKAGE_READY}),
            report.Statuses());
  const auto requests = server_.RequestsFor(kRequestPath);
  ASSERT_EQ(1u, requests.size());
  EXPECT_EQ(blob.empty() ? "GET" : "POST",
            GetString(requests[0].get(), "method"));
  EXPECT_EQ(blob, GetString(requests[0].get(), "body"));
  EXPECT_EQ("none", GetString(report.stats.get(), "payload_type"));
  EXPECT_TRUE(report.LogHas(logging::LOG_WARNING, "Failed reading payload"));
  EXPECT_EQ(!blob.empty(),
            report.LogHas(logging::LOG_INFO,
                          "Using tracking data from command line"));
  EXPECT_EQ(blob.empty() ? 0u : 1u,
            report.Calls("NotifyTrackingDataObtained").size());
  ExpectTree(report, {{"server_tracking_data", blob}});
}

INSTANTIATE_TEST_SUITE_P(TrackingData, NetInstallerRequestTest,
                         testing::Values("", "campaign=cli&x=1"));

// The signer step is skipped while the running installer is unsigned.
class UnsignedInstallerTest : public PackageFetcherRunTest,
                              public testing::WithParamInterface<const char*> {
};

TEST_P(UnsignedInstallerTest, AcceptsAnySigner) {
  ServePackage(GetParam(), nullptr);
  const HostReport report = RunHost("net_unsigned");
  ExpectCleanEnd(report);
  ASSERT_TRUE(report.complete());
  EXPECT_EQ(PACKAGE_READY, report.Statuses().back());
  ExpectTree(report, {{"server_tracking_data", TrackingData()}});
}

INSTANTIATE_TEST_SUITE_P(Packages, UnsignedInstallerTest,
                         testing::Values("package_other", "package_unsigned"));

// --- Failures: each run ends with one final status and its reason, and a
// restart removes what the run before left.

enum class Checksum { kRight, kWrong, kMissing };

struct FailureCase {
  const char* name;
  // Both runs' statuses.
  std::vector<int> statuses;
  // Both runs' "failure_reason".
  const char* reasons[2];
  const char* host = "net_signed";
  const char* package = "package";
  Checksum checksum = Checksum::kRight;
  // Parameters of the package path, or of the request path with a leading
  // "request:".
  const char* route = nullptr;
  std::vector<std::pair<std::u16string, std::u16string>> environment;
  std::vector<std::string> switches;
  // A statistics key of the first run and its value.
  const char* stat_key = nullptr;
  const char* stat_value = nullptr;
};

// The last status of each run.
std::vector<int> FinalStatuses(const std::vector<int>& statuses) {
  std::vector<int> finals;
  for (size_t i = 0; i < statuses.size(); ++i) {
    if (i + 1 == statuses.size() || statuses[i + 1] == STARTED)
      finals.push_back(statuses[i]);
  }
  return finals;
}

std::vector<int> Twice(const std::vector<int>& run) {
  std::vector<int> both = run;
  both.insert(both.end(), run.begin(), run.end());
  return both;
}

constexpr char kChecksumIncorrect[] =
    "Checksum incorrect for the downloaded package";
constexpr char kSignatureIncorrect[] =
    "Signature incorrect for the downloaded package";
constexpr char kOlder[] = "Downloaded package is older than the installer";

std::u16string LowerVersion() {
  const base::Version own(VersionInfo::GetInternalVersion());
  std::vector<uint32_t> parts = own.components();
  return base::ASCIIToUTF16(base::StringPrintf("%u.%u", parts[0] - 1, 99u));
}

void PrintTo(const FailureCase& test, std::ostream* out) { *out << test.name; }

class FetchFailureTest : public PackageFetcherRunTest,
                         public testing::WithParamInterface<FailureCase> {};

TEST_P(FetchFailureTest, EndsWithOneStatusAndItsReason) {
  const FailureCase& test = GetParam();
  const std::string wrong = test::Sha256Hex("something else");
  if (test.checksum == Checksum::kMissing) {
    ASSERT_TRUE(server_.ServeFile("package.exe", ImageBytes(test.package)));
    ServeReply(MakeReply(server_.Url(kPackagePath), nullptr, nullptr, nullptr));
  } else {
    ServePackage(test.package,
                 test.checksum == Checksum::kWrong ? &wrong : nullptr);
  }
  if (test.route) {
    std::string route = test.route;
    std::string path = kPackagePath;
    if (base::StartsWith(route, "request:")) {
      route = route.substr(8);
      path = kRequestPath;
    }
    ASSERT_TRUE(server_.SetRoutes("{\"" + path + "\": " + route + "}"));
  }
  std::vector<std::string> switches = {"restarts=1", "plant-stale-files"};
  switches.insert(switches.end(), test.switches.begin(), test.switches.end());

  const HostReport report = RunHost(test.host, switches, test.environment);
  ExpectCleanEnd(report);
  ASSERT_TRUE(report.complete());
  EXPECT_EQ(test.statuses, report.Statuses());
  // The restart removed the package folder, with what was planted there,
  // unless it failed before that.
  bool stale = true;
  EXPECT_TRUE(report.result->GetBoolean("stale_marker_present", &stale));
  EXPECT_EQ(test.statuses.back() == INITIALIZATION_FAILED, stale);
  const std::vector<int> finals = FinalStatuses(test.statuses);
  ASSERT_EQ(2u, finals.size());
  ASSERT_EQ(2u, report.FetchCount());
  for (int run = 0; run < 2; ++run) {
    SCOPED_TRACE(run);
    const base::DictionaryValue* fetch = report.Fetch(run);
    EXPECT_EQ(run, GetInt(fetch, "try_number"));
    EXPECT_EQ(test.reasons[run], GetString(fetch, "failure_reason"));
    EXPECT_EQ(GetFetcherStatusResultText(finals[run]),
              GetString(fetch, "result"));
    EXPECT_TRUE(report.LogHas(logging::LOG_ERROR, test.reasons[run]));
  }
  EXPECT_EQ(2, GetInt(report.stats.get(), "fetcher_restarts"));
  if (test.stat_key) {
    EXPECT_EQ(test.stat_value, GetString(report.Fetch(0), test.stat_key));
  }
}

std::vector<FailureCase> FailureCases() {
  static const std::u16string lower = LowerVersion();
  static const std::string lower_text = base::UTF16ToUTF8(lower);
  const std::vector<int> after_download = Twice({0, 1, 2, 3, 8});
  static constexpr char kOtherStream[] =
      "Downloaded package is of a different stream than the installer";
  static constexpr char kNoArchive[] =
      "Could not find 7z payload in full package";
  static constexpr char kUnpackFailed[] = "Archive unpacking failed";
  static constexpr char kFetchUrlFailed[] = "Failed fetching the download URL";
  static constexpr char kParseFailed[] = "Failed parsing json reply";
  static constexpr char kCorrupt[] = "Corrupted payload";
  return {
      {.name = "WrongChecksum",
       .statuses = after_download,
       .reasons = {kChecksumIncorrect, kChecksumIncorrect},
       .checksum = Checksum::kWrong},
      // The body ends early with no Content-Length to tell.
      {.name = "TruncatedWithoutLength",
       .statuses = after_download,
       .reasons = {kChecksumIncorrect, kChecksumIncorrect},
       .route = R"({"no_length": "1", "cut": "300000"})"},
      {.name = "ReplyWithoutChecksum",
       .statuses = after_download,
       .reasons = {kParseFailed, kParseFailed},
       .checksum = Checksum::kMissing},
      {.name = "ServerRefuses",
       .statuses = Twice({0, 1, 2, 8}),
       .reasons = {kFetchUrlFailed, kFetchUrlFailed},
       .route = R"(request:{"status": "404"})"},
      {.name = "OtherSigner",
       .statuses = after_download,
       .reasons = {kSignatureIncorrect, kSignatureIncorrect},
       .package = "package_other"},
      {.name = "NestedSignatureSpoof",
       .statuses = after_download,
       .reasons = {kSignatureIncorrect, kSignatureIncorrect},
       .package = "package_spoof"},
      {.name = "UnsignedPackage",
       .statuses = after_download,
       .reasons = {kSignatureIncorrect, kSignatureIncorrect},
       .package = "package_unsigned"},
      {.name = "OlderVersion",
       .statuses = after_download,
       .reasons = {kOlder, kOlder},
       .package = "package_stub",
       .environment = {{u"VELNA_TEST_STUB_VERSION", lower}},
       .stat_key = "internal_version",
       .stat_value = lower_text.c_str()},
      {.name = "NotAVersion",
       .statuses = after_download,
       .reasons = {kOlder, kOlder},
       .package = "package_stub",
       .environment = {{u"VELNA_TEST_STUB_VERSION", u"beta"}},
       .stat_key = "internal_version",
       .stat_value = "beta"},
      {.name = "OtherStream",
       .statuses = after_download,
       .reasons = {kOtherStream, kOtherStream},
       .package = "package_stub",
       .environment = {{u"VELNA_TEST_STUB_STREAM", u"stable"}},
       .stat_key = "stream",
       .stat_value = "stable"},
      // A child that never answers is ended at the time limit.
      {.name = "VersionChildHangs",
       .statuses = after_download,
       .reasons = {kOlder, kOlder},
       .package = "package_stub",
       .environment = {{u"VELNA_TEST_STUB_HANG", u"1"}},
       .switches = {"child-timeout-ms=1500"},
       .stat_key = "internal_version",
       .stat_value = ""},
      {.name = "NoArchiveInPackage",
       .statuses = Twice({0, 1, 2, 3, 4, 8}),
       .reasons = {kNoArchive, kNoArchive},
       .package = "package_no_archive"},
      {.name = "HostileArchive",
       .statuses = Twice({0, 1, 2, 3, 4, 9}),
       .reasons = {kUnpackFailed, kUnpackFailed},
       .package = "package_hostile"},
      {.name = "CorruptPayload",
       .statuses = Twice({0, 1, 9}),
       .reasons = {kCorrupt, kCorrupt},
       .host = "net_corrupt"},
      // The first run's download cannot be removed: the restart fails at
      // once.
      {.name = "DownloadLockedAtRestart",
       .statuses = {0, 1, 2, 3, 8, 0, 7},
       .reasons = {kChecksumIncorrect,
                   "Unable to obtain or clean the download/extraction path"},
       .checksum = Checksum::kWrong,
       .switches = {"lock-download-on-restart"}},
  };
}

INSTANTIATE_TEST_SUITE_P(Cases, FetchFailureTest,
                         testing::ValuesIn(FailureCases()),
                         [](const testing::TestParamInfo<FailureCase>& info) {
                           return std::string(info.param.name);
                         });

// --- Partner content never fails a run.

struct PartnerCase {
  const char* name;
  const char* file_name;
  bool right_checksum;
  size_t partner_requests;
  const char* log_line;
};

void PrintTo(const PartnerCase& test, std::ostream* out) { *out << test.name; }

class PartnerContentTest : public PackageFetcherRunTest,
                           public testing::WithParamInterface<PartnerCase> {};

TEST_P(PartnerContentTest, EndsWithThePackageReady) {
  const PartnerCase& test = GetParam();
  const std::string partner = RandomBytes(20000);
  ASSERT_TRUE(server_.ServeFile("partner.dat", partner));
  ServePackage("package", nullptr,
               OnePartner(server_.Url(kPartnerPath), test.file_name,
                          test.right_checksum ? test::Sha256Hex(partner)
                                              : test::Sha256Hex("other")));
  const HostReport report = RunHost("net_signed");
  ExpectCleanEnd(report);
  ASSERT_TRUE(report.complete());
  EXPECT_EQ((std::vector<int>{STARTED, FOLDER_READY, FETCHING_DOWNLOAD_URL,
                              DOWNLOADING, EXTRACTING, FETCHING_PARTNER_CONTENT,
                              PACKAGE_READY}),
            report.Statuses());
  EXPECT_EQ(test.partner_requests, server_.RequestsFor(kPartnerPath).size());
  // The package is as it came; nothing appeared beside the package folder.
  ExpectTree(report, {{"server_tracking_data", TrackingData()}});
  EXPECT_FALSE(base::PathExists(temp_.GetPath().AppendASCII("x")));
  EXPECT_TRUE(report.LogHas(logging::LOG_ERROR, test.log_line));

  const base::DictionaryValue* fetch = report.Fetch(0);
  const base::ListValue* additional = nullptr;
  ASSERT_TRUE(fetch && fetch->GetList("addtional_files", &additional));
  const base::DictionaryValue* file_entry = nullptr;
  ASSERT_TRUE(additional->GetDictionary(0, &file_entry));
  if (test.partner_requests == 0) {
    EXPECT_EQ("package_ready", GetString(fetch, "result"));
    EXPECT_TRUE(file_entry->empty());
    return;
  }
  // Four tries, then the package is ready without a result.
  EXPECT_EQ("<absent>", GetString(fetch, "result"));
  EXPECT_EQ(0, GetInt(file_entry, "download_succeeded"));
  const base::ListValue* tries = nullptr;
  ASSERT_TRUE(file_entry->GetList("download_tries", &tries));
  ASSERT_EQ(4u, tries->GetSize());
  for (size_t i = 0; i < tries->GetSize(); ++i) {
    const base::DictionaryValue* one_try = nullptr;
    ASSERT_TRUE(tries->GetDictionary(i, &one_try));
    EXPECT_EQ(static_cast<int>(i), GetInt(one_try, "try_number"));
  }
  EXPECT_TRUE(report.LogHas(logging::LOG_INFO,
                            "Giving up on partner content download"));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PartnerContentTest,
    testing::Values(
        PartnerCase{"ClimbsOutOfThePackage", "..\\x", true, 0,
                    "Failed parsing partner content part of JSON reply"},
        PartnerCase{"AddsALineBreak", "x\r\ny", true, 0,
                    "Failed parsing partner content part of JSON reply"},
        PartnerCase{"NamesAFileOfThePackage", "files_list", true, 0,
                    "Failed parsing partner content part of JSON reply"},
        PartnerCase{"ChecksumNeverMatches", "partner.dat", false, 4,
                    "Failed downloading partner content"}),
    [](const testing::TestParamInfo<PartnerCase>& info) {
      return std::string(info.param.name);
    });

// A proxy's prompt for credentials reaches the front end's runner, on its
// thread, and a declined prompt fails the request.
TEST_F(PackageFetcherRunTest, ProxyPromptGoesToTheRunner) {
  ServePackage("package", nullptr);
  ASSERT_TRUE(server_.SetRoutes(std::string("{\"") + kRequestPath +
                                "\": {\"status\": \"407\"}}"));
  const HostReport report = RunHost("net_signed");
  ExpectCleanEnd(report);
  ASSERT_TRUE(report.complete());
  EXPECT_EQ((std::vector<int>{STARTED, FOLDER_READY, FETCHING_DOWNLOAD_URL,
                              DOWNLOAD_FAILED}),
            report.Statuses());
  EXPECT_EQ(1, GetInt(report.result.get(), "ui_runner_calls"));
  EXPECT_EQ(407, GetInt(report.Fetch(0), "fetch_download_url_http_status"));
}

// A second start abandons the run that is going: its later steps do
// nothing, and only the new run ends.
TEST_F(PackageFetcherRunTest, StartAbandonsTheRunGoing) {
  ServePackage("package", nullptr);
  const HostReport report = RunHost("net_signed", {"start-twice"});
  ExpectCleanEnd(report);
  ASSERT_TRUE(report.complete());
  EXPECT_EQ((std::vector<int>{STARTED, FOLDER_READY, STARTED, FOLDER_READY,
                              FETCHING_DOWNLOAD_URL, DOWNLOADING, EXTRACTING,
                              PACKAGE_READY}),
            report.Statuses());
  EXPECT_EQ(1u, server_.RequestsFor(kRequestPath).size());
  ASSERT_EQ(2u, report.FetchCount());
  EXPECT_EQ("<absent>", GetString(report.Fetch(0), "result"));
  EXPECT_EQ("package_ready", GetString(report.Fetch(1), "result"));
  ExpectTree(report, {{"server_tracking_data", TrackingData()}});
}

// A package that cannot take the welcome page or the partner file's line
// still ends ready, with both failures logged.
TEST_F(PackageFetcherRunTest, WritesThatFailAfterUnpackingOnlyLog) {
  const std::string partner = RandomBytes(3000);
  ASSERT_TRUE(server_.ServeFile("partner.dat", partner));
  ServePackage("package_bare", nullptr,
               OnePartner(server_.Url(kPartnerPath), "partner.dat",
                          test::Sha256Hex(partner)),
               kWelcomeUrl);
  const HostReport report = RunHost("net_signed");
  ExpectCleanEnd(report);
  ASSERT_TRUE(report.complete());
  EXPECT_EQ(PACKAGE_READY, report.Statuses().back());
  EXPECT_EQ("package_ready", GetString(report.Fetch(0), "result"));
  EXPECT_EQ(partner, report.FileContent("partner.dat"));
  EXPECT_EQ(0u, report.Files().count("files_list"));
  EXPECT_TRUE(report.LogHasMention(logging::LOG_WARNING, "welcome page"));
  EXPECT_TRUE(report.LogHasMention(logging::LOG_ERROR, "files_list"));
}

// --- Destruction in the middle of a run returns at once, removes the
// package and reports nothing more.

struct DestructionCase {
  const char* name;
  const char* package;
  const char* route;
  std::vector<std::pair<std::u16string, std::u16string>> environment;
};

void PrintTo(const DestructionCase& test, std::ostream* out) {
  *out << test.name;
}

class DestructionTest : public PackageFetcherRunTest,
                        public testing::WithParamInterface<DestructionCase> {};

TEST_P(DestructionTest, StopsAtOnce) {
  const DestructionCase& test = GetParam();
  if (test.route) {
    ASSERT_TRUE(server_.SetRoutes(std::string("{\"") + kPackagePath +
                                  "\": " + test.route + "}"));
  }
  ServePackage(test.package, nullptr);
  const HostReport report = RunHost(
      "net_signed", {"destroy-after-downloading-ms=2500"}, test.environment);
  ExpectCleanEnd(report);
  ASSERT_TRUE(report.complete());
  EXPECT_EQ((std::vector<int>{STARTED, FOLDER_READY, FETCHING_DOWNLOAD_URL,
                              DOWNLOADING}),
            report.Statuses());
  int destroy_ms = -1;
  ASSERT_TRUE(report.result->GetInteger("destroy_ms", &destroy_ms));
  // Waiting would take the receive time-out or the child's time limit
  // (60 s each).
  EXPECT_LT(destroy_ms, 20000);
  EXPECT_TRUE(
      report.LogHas(logging::LOG_INFO, "Terminating the package fetcher"));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DestructionTest,
    testing::Values(
        // The server sends part of the package, then nothing more.
        DestructionCase{
            "MidDownload", "package", R"({"stall_after": "400000"})", {}},
        // The downloaded installer never says its version.
        DestructionCase{"WhileTheVersionChildHangs",
                        "package_stub",
                        nullptr,
                        {{u"VELNA_TEST_STUB_HANG", u"1"}}}),
    [](const testing::TestParamInfo<DestructionCase>& info) {
      return std::string(info.param.name);
    });

}  // namespace
}  // namespace installer
