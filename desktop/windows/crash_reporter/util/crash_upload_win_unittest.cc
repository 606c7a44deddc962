#include <windows.h>

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "base/at_exit.h"
#include "base/files/file_util.h"
#include "base/pending_task.h"
#include "base/rand_util.h"
#include "base/strings/string_util_win.h"
#include "base/strings/utf_string_conversions.h"
#include "base/test/scoped_temp_dir.h"
#include "base/threading/worker_pool.h"
#include "base/time/time.h"
#include "desktop/windows/crash_reporter/util/crash_upload.h"
#include "desktop/windows/crash_reporter/util/crash_upload_urls.h"
#include "desktop/windows/crash_reporter/util/reporter_lifetime.h"
#include "desktop/windows/crash_reporter/util/test/crash_upload_test_server_win.h"
#include "desktop/windows/crash_reporter/util/test/upload_test_util.h"
#include "desktop/windows/installer/common/version_info.h"
#include "gtest/gtest.h"

namespace crash_reporter {
namespace {

using test::CrashUploadTestServer;
using test::RecordedPart;
using test::RecordedRequest;

constexpr char16_t kEmailVariable[] = u"VELNA_CRASH_EMAIL";
// Every character that changes or cuts a query, and one outside ASCII.
constexpr char16_t kAwkwardEmail[] = u"a+b&c=d #\u00e9%";
constexpr char kAwkwardEmailUtf8[] = "a+b&c=d #\xC3\xA9%";
constexpr char16_t kActiveUrl[] = u"https://active.example/page?q=1&r=2";
constexpr char16_t kOrigin[] = u"installer";

// Sets an environment variable (or removes it, for null) and restores the
// old value when it goes.
class ScopedEnvironmentVariable {
 public:
  ScopedEnvironmentVariable(const char16_t* name, const char16_t* value)
      : name_(name) {
    const std::u16string old = ReadEnvironmentString(name);
    if (!old.empty()) old_ = old;
    ::SetEnvironmentVariableW(base::as_wcstr(name), base::as_wcstr(value));
  }
  ~ScopedEnvironmentVariable() {
    ::SetEnvironmentVariableW(base::as_wcstr(name_),
                              old_ ? base::as_wcstr(*old_) : nullptr);
  }

 private:
  const char16_t* name_;
  std::optional<std::u16string> old_;
};

std::string UserAgentSuffix() {
  return installer::VersionInfo::GetUserAgentEditionSuffix();
}

std::vector<std::string> PartNames(const RecordedRequest& request) {
  std::vector<std::string> names;
  for (const RecordedPart& part : request.parts) names.push_back(part.name);
  return names;
}

const RecordedPart* FindPart(const RecordedRequest& request,
                             const std::string& name) {
  for (const RecordedPart& part : request.parts) {
    if (part.name == name) return &part;
  }
  return nullptr;
}

class CrashUploadTest : public testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(dir_.CreateUniqueTempDir()); }

  // Points the endpoints at the server (or at |crash_url|) and reads them.
  void UseServer(const CrashUploadTestServer& server,
                 const std::u16string& crash_url = std::u16string()) {
    crash_url_.emplace(
        kCrashServerUrlVariable,
        crash_url.empty() ? server.Url("/submit").c_str() : crash_url.c_str());
    collector_url_.emplace(kAlternativeCrashServerUrlVariable,
                           server.Url("/collector/submit?k=v").c_str());
    InitCrashUploadUrls();
  }

  base::FilePath Write(const char* name, const std::string& data) {
    return test::WriteTestFile(dir_.GetPath(), base::ASCIIToUTF16(name), data);
  }

  static std::string CrashLogText() {
    std::string log =
        "VELNA-CRASHLOG V1 desktop 1.0.1.2 3 windows x64 release\n"
        "installer.exe caused exception C0000005 at address "
        "00007FF612345678 (Base: 00007FF612340000)\n";
    for (int i = 0; i < 400; ++i)
      log += "RAX=0000000000000000   RBX=00000000DEADBEEF   RCX=" +
             std::to_string(i) + "\n";
    return log;
  }

  static std::string RandomBytes(size_t size) {
    std::string bytes(size, '\0');
    base::RandBytes(&bytes[0], bytes.size());
    return bytes;
  }

  // Holds the reporter open, as its watch on the parent does, while both
  // uploads are queued; then waits until they are done.
  static void QueueBothAndWait(const base::FilePath& log,
                               const FormFields& log_fields,
                               const base::FilePath& dump,
                               const FormFields& dump_fields,
                               bool delete_files) {
    ReporterLifetime::AddRef();
    EXPECT_TRUE(UploadCrashLogAsync(log, log_fields, delete_files));
    UploadMinidumpAsync(dump, dump_fields, delete_files);
    ReporterLifetime::Release();
    ASSERT_TRUE(
        ReporterLifetime::TimedWaitUntilIdle(base::TimeDelta::FromSeconds(90)));
  }

  void CheckUploadsOfOneCrash(bool delete_files);

  base::AtExitManager at_exit_;
  base::ScopedTempDir dir_;
  ScopedEnvironmentVariable no_email_{kEmailVariable, nullptr};
  std::optional<ScopedEnvironmentVariable> crash_url_;
  std::optional<ScopedEnvironmentVariable> collector_url_;
};

TEST_F(CrashUploadTest, DuplicateCheckAgainstEveryAnswer) {
  const struct {
    const char* answer;
    bool ftp;
    DuplicateCheckResult result;
  } kCases[] = {
      {"303 http://h/crash?id=abc&t=1", false,
       DuplicateCheckResult::kKnownCrash},
      {"303 http://h/crash?id=abc", false, DuplicateCheckResult::kNoVerdict},
      {"503", false, DuplicateCheckResult::kSkip},
      {"404", false, DuplicateCheckResult::kNoVerdict},
      {"200", false, DuplicateCheckResult::kNoVerdict},
      {"stall", false, DuplicateCheckResult::kNoVerdict},
      {"303 http://h/crash?id=abc&t=1", true, DuplicateCheckResult::kNoVerdict},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.answer + std::string(c.ftp ? " over ftp" : ""));
    CrashUploadTestServer server;
    ASSERT_TRUE(server.Start({c.answer}));
    UseServer(server, c.ftp ? u"ftp://127.0.0.1/submit" : u"");
    std::u16string id = u"untouched";
    std::u16string location = u"untouched";
    // A limit only where the server stalls: an answer is waited for, however
    // slowly a loaded machine gives it.
    const bool stall = std::string(c.answer) == "stall";
    const base::TimeTicks start = base::TimeTicks::Now();
    EXPECT_EQ(c.result, CheckDuplicateCrash(kActiveUrl, kOrigin, &id, &location,
                                            stall ? 3000 : 0));
    if (c.result == DuplicateCheckResult::kKnownCrash) {
      EXPECT_EQ(u"abc", id);
      EXPECT_EQ(u"http://h/crash?id=abc&t=1", location);
    } else {
      EXPECT_EQ(u"untouched", id);
      EXPECT_EQ(u"untouched", location);
    }
    // The 3 s limit covers the reply too; without it the stalled check would
    // wait for the system's far longer default.
    EXPECT_LT(base::TimeTicks::Now() - start, base::TimeDelta::FromSeconds(20));

    const std::vector<RecordedRequest> requests = server.Requests();
    if (c.ftp) {
      EXPECT_TRUE(requests.empty());
      continue;
    }
    ASSERT_EQ(1u, requests.size());
    EXPECT_EQ("GET", requests[0].method);
    EXPECT_EQ("/submit", requests[0].target);
    EXPECT_TRUE(requests[0].body.empty());
    ASSERT_TRUE(requests[0].Header("X-Velna-Crash-URL"));
    EXPECT_EQ(base::UTF16ToUTF8(kActiveUrl),
              *requests[0].Header("X-Velna-Crash-URL"));
    ASSERT_TRUE(requests[0].Header("X-Origin"));
    EXPECT_EQ("installer", *requests[0].Header("X-Origin"));
    ASSERT_TRUE(requests[0].Header("User-Agent"));
    EXPECT_EQ("CrashReporter/1.0 (Windows)" + UserAgentSuffix(),
              *requests[0].Header("User-Agent"));
  }
}

TEST_F(CrashUploadTest, DuplicateCheckSendsOnlyHeadersWithValues) {
  const struct {
    const char16_t* active_url;
    const char16_t* origin;
  } kCases[] = {{u"", u""}, {kActiveUrl, u""}, {u"", kOrigin}};
  CrashUploadTestServer server;
  ASSERT_TRUE(server.Start({"503"}));
  UseServer(server);
  for (const auto& c : kCases) {
    std::u16string id, location;
    EXPECT_EQ(DuplicateCheckResult::kSkip,
              CheckDuplicateCrash(c.active_url, c.origin, &id, &location, 0));
  }
  const std::vector<RecordedRequest> requests = server.Requests();
  ASSERT_EQ(std::size(kCases), requests.size());
  for (size_t i = 0; i < requests.size(); ++i) {
    EXPECT_EQ(*kCases[i].active_url != 0,
              requests[i].Header("X-Velna-Crash-URL") != nullptr);
    EXPECT_EQ(*kCases[i].origin != 0,
              requests[i].Header("X-Origin") != nullptr);
  }
}

// The active URL comes from the crashed process and the origin from the
// environment: line breaks in them must not start headers of their own.
TEST_F(CrashUploadTest, DuplicateCheckHeadersCannotBeSplit) {
  const struct {
    const char16_t* active_url;
    const char16_t* origin;
    const char* sent_url;
    const char* sent_origin;
  } kCases[] = {
      {u"http://a/\r\nX-Injected: 1", u"installer", "http://a/X-Injected: 1",
       "installer"},
      {u"http://a/\nX-Injected: 1\r", u"in\rX-Injected: 2\nstaller",
       "http://a/X-Injected: 1", "inX-Injected: 2staller"},
      {u"http://a/", u"\r\n\r\nGET /x HTTP/1.1", "http://a/",
       "GET /x HTTP/1.1"},
  };
  CrashUploadTestServer server;
  ASSERT_TRUE(server.Start({"503"}));
  UseServer(server);
  for (const auto& c : kCases) {
    std::u16string id, location;
    CheckDuplicateCrash(c.active_url, c.origin, &id, &location, 3000);
  }
  const std::vector<RecordedRequest> requests = server.Requests();
  ASSERT_EQ(std::size(kCases), requests.size());
  for (size_t i = 0; i < requests.size(); ++i) {
    SCOPED_TRACE(kCases[i].sent_url);
    EXPECT_EQ("/submit", requests[i].target);
    EXPECT_FALSE(requests[i].Header("X-Injected"));
    ASSERT_TRUE(requests[i].Header("X-Velna-Crash-URL"));
    EXPECT_EQ(kCases[i].sent_url, *requests[i].Header("X-Velna-Crash-URL"));
    ASSERT_TRUE(requests[i].Header("X-Origin"));
    EXPECT_EQ(kCases[i].sent_origin, *requests[i].Header("X-Origin"));
  }
}

TEST_F(CrashUploadTest, EmailArrivesExactlyInBothRequests) {
  const struct {
    const char* path;
    std::u16string email;
    std::string expected;
  } kCases[] = {
      {"/submit", kAwkwardEmail, kAwkwardEmailUtf8},
      {"/submit?product=velna", kAwkwardEmail, kAwkwardEmailUtf8},
      // Far beyond any path buffer.
      {"/submit", std::u16string(600, u'm'), std::string(600, 'm')},
  };
  CrashUploadTestServer server;
  ASSERT_TRUE(server.Start({"200"}));
  for (const auto& c : kCases) {
    ScopedEnvironmentVariable email(kEmailVariable, c.email.c_str());
    UseServer(server, server.Url(c.path));
    std::u16string id, location;
    EXPECT_EQ(DuplicateCheckResult::kNoVerdict,
              CheckDuplicateCrash(kActiveUrl, kOrigin, &id, &location, 0));
    EXPECT_TRUE(UploadCrashLogNow(Write("velna-crashlog-7-1.txt", "log"),
                                  {{u"email", c.email}}, true));
  }
  const std::vector<RecordedRequest> requests = server.Requests();
  ASSERT_EQ(2 * std::size(kCases), requests.size());
  for (size_t i = 0; i < requests.size(); ++i) {
    const auto& c = kCases[i / 2];
    SCOPED_TRACE(requests[i].target);
    ASSERT_EQ(1u, requests[i].query.count("email"));
    EXPECT_EQ(std::vector<std::string>{c.expected},
              requests[i].query.at("email"));
    EXPECT_EQ(std::string(c.path) == "/submit" ? 1u : 2u,
              requests[i].query.size());
  }
  // The form field keeps the raw value.
  const RecordedPart* field = FindPart(requests[1], "email");
  ASSERT_TRUE(field);
  EXPECT_EQ(kAwkwardEmailUtf8, field->data);
}

void CrashUploadTest::CheckUploadsOfOneCrash(bool delete_files) {
  CrashUploadTestServer server;
  ASSERT_TRUE(server.Start({"200"}));
  UseServer(server);
  const std::string log_text = CrashLogText();
  const std::string dump_bytes = RandomBytes(1 << 20);
  const base::FilePath log = Write("velna-crashlog-42-1.txt", log_text);
  const base::FilePath zip =
      dir_.GetPath().AppendASCII("velna-crashlog-42-1.zip");
  const base::FilePath dump = Write("velna-crashlog-42-1.dmp", dump_bytes);
  const FormFields log_fields = {{u"origin", kOrigin},
                                 {u"CrashUptime", u"12"},
                                 {u"stacktraceId", u"abc"},
                                 {u"email", u"me@example.com"}};
  const FormFields dump_fields = {{u"ver", u"1.0.1.2"},
                                  {u"Origin", kOrigin},
                                  {u"prod", u"Velna"},
                                  {u"Email", u"me@example.com"}};
  QueueBothAndWait(log, log_fields, dump, dump_fields, delete_files);

  const std::vector<RecordedRequest> requests = server.Requests();
  ASSERT_EQ(2u, requests.size());
  const bool log_first = requests[0].target == "/submit";
  const RecordedRequest& log_request = requests[log_first ? 0 : 1];
  const RecordedRequest& dump_request = requests[log_first ? 1 : 0];

  EXPECT_EQ("POST", log_request.method);
  EXPECT_EQ("/submit", log_request.target);
  ASSERT_TRUE(log_request.Header("User-Agent"));
  EXPECT_EQ("CrashReporter/1.0 (Windows)" + UserAgentSuffix(),
            *log_request.Header("User-Agent"));
  EXPECT_FALSE(log_request.gzip_decoded);
  ASSERT_TRUE(log_request.is_form);
  EXPECT_TRUE(log_request.form_defects.empty());
  EXPECT_EQ((std::vector<std::string>{"CrashUptime", "email", "origin",
                                      "stacktraceId", "file"}),
            PartNames(log_request));
  EXPECT_EQ("12", log_request.parts[0].data);
  EXPECT_EQ("me@example.com", log_request.parts[1].data);
  EXPECT_EQ("installer", log_request.parts[2].data);
  EXPECT_EQ("abc", log_request.parts[3].data);
  const base::FilePath received_zip =
      Write("received.zip", log_request.parts[4].data);
  std::string entry_name, entry;
  ASSERT_TRUE(test::ReadOnlyZipEntry(received_zip, &entry_name, &entry));
  EXPECT_EQ("crashlog.txt", entry_name);
  EXPECT_EQ(log_text, entry);

  EXPECT_EQ("POST", dump_request.method);
  EXPECT_EQ("/collector/submit?k=v", dump_request.target);
  ASSERT_TRUE(dump_request.Header("Content-Encoding"));
  EXPECT_EQ("gzip", *dump_request.Header("Content-Encoding"));
  ASSERT_TRUE(dump_request.Header("User-Agent"));
  EXPECT_EQ("CrashUpload/0.8.0", *dump_request.Header("User-Agent"));
  ASSERT_TRUE(dump_request.gzip_decoded);
  ASSERT_TRUE(dump_request.is_form);
  EXPECT_TRUE(dump_request.form_defects.empty());
  EXPECT_EQ((std::vector<std::string>{"Email", "Origin", "prod", "ver",
                                      "upload_file_minidump"}),
            PartNames(dump_request));
  EXPECT_EQ("me@example.com", dump_request.parts[0].data);
  EXPECT_EQ("1.0.1.2", dump_request.parts[3].data);
  const RecordedPart& dump_part = dump_request.parts[4];
  ASSERT_TRUE(dump_part.has_filename);
  EXPECT_EQ("velna-crashlog-42-1.dmp", dump_part.filename);
  EXPECT_EQ("application/octet-stream", dump_part.content_type);
  EXPECT_TRUE(dump_part.data == dump_bytes);

  EXPECT_FALSE(base::PathExists(zip));
  EXPECT_EQ(!delete_files, base::PathExists(log));
  EXPECT_EQ(!delete_files, base::PathExists(dump));
}

TEST_F(CrashUploadTest, UploadsOfOneCrashDeleteTheirFiles) {
  CheckUploadsOfOneCrash(true);
}

TEST_F(CrashUploadTest, UploadsOfOneCrashKeepTheirFilesWhenAsked) {
  CheckUploadsOfOneCrash(false);
}

TEST_F(CrashUploadTest, UncompressedUploadsSendTheFilesAsTheyAre) {
  CrashUploadTestServer server;
  ASSERT_TRUE(server.Start({"200"}));
  UseServer(server);
  const std::string dump_bytes = RandomBytes(100000);
  const base::FilePath log = Write("velna-crashlog-3-1.txt", "plain log");
  const base::FilePath dump = Write("velna-crashlog-3-1.dmp", dump_bytes);
  EXPECT_TRUE(UploadCrashLogNow(log, {{u"a", u"1"}}, false));
  EXPECT_TRUE(UploadMinidumpNow(dump, {{u"a", u"1"}}, false));
  EXPECT_FALSE(base::PathExists(log));
  EXPECT_FALSE(base::PathExists(dump));

  const std::vector<RecordedRequest> requests = server.Requests();
  ASSERT_EQ(2u, requests.size());
  ASSERT_EQ(2u, requests[0].parts.size());
  EXPECT_EQ("plain log", requests[0].parts[1].data);
  EXPECT_FALSE(requests[1].Header("Content-Encoding"));
  ASSERT_EQ(2u, requests[1].parts.size());
  EXPECT_TRUE(requests[1].parts[1].data == dump_bytes);
}

// In a crash folder that others write (the system's temporary folder), a
// user may plant a file at the name the zip of a log would have had, as a
// second name of a file of their own: the zip is never written there, so
// the user reads nothing of the log and changes nothing of the upload.
TEST_F(CrashUploadTest, TheZipOfALogIsNeverAFileSomeonePlanted) {
  CrashUploadTestServer server;
  ASSERT_TRUE(server.Start({"200"}));
  UseServer(server);
  const std::string log_text = CrashLogText();
  const base::FilePath log = Write("velna-crashlog-42-1.txt", log_text);
  const base::FilePath own = Write("own.zip", "planted");
  const base::FilePath planted =
      dir_.GetPath().AppendASCII("velna-crashlog-42-1.zip");
  ASSERT_TRUE(CreateHardLinkW(base::as_wcstr(planted.value()),
                              base::as_wcstr(own.value()), nullptr));

  EXPECT_TRUE(UploadCrashLogNow(log, {{u"a", u"1"}}, true));
  std::string text;
  ASSERT_TRUE(base::FileUtil::ReadFileToString(own, &text));
  EXPECT_EQ("planted", text);
  ASSERT_TRUE(base::FileUtil::ReadFileToString(planted, &text));
  EXPECT_EQ("planted", text);
  const std::vector<RecordedRequest> requests = server.Requests();
  ASSERT_EQ(1u, requests.size());
  const RecordedPart* file = FindPart(requests[0], "file");
  ASSERT_TRUE(file);
  const base::FilePath received = Write("received.zip", file->data);
  std::string entry_name, entry;
  ASSERT_TRUE(test::ReadOnlyZipEntry(received, &entry_name, &entry));
  EXPECT_EQ(log_text, entry);
  // Only the planted names and what this test wrote are left.
  EXPECT_FALSE(base::PathExists(log));
  WIN32_FIND_DATAW found = {};
  const HANDLE search = FindFirstFileW(
      base::as_wcstr(dir_.GetPath().Append(u"*.zip").value()), &found);
  ASSERT_NE(INVALID_HANDLE_VALUE, search);
  std::vector<std::u16string> zips;
  do {
    zips.push_back(base::as_u16cstr(found.cFileName));
  } while (FindNextFileW(search, &found));
  FindClose(search);
  std::sort(zips.begin(), zips.end());
  EXPECT_EQ((std::vector<std::u16string>{u"own.zip", u"received.zip",
                                         u"velna-crashlog-42-1.zip"}),
            zips);
}

TEST_F(CrashUploadTest, BadFieldNameSendsNothing) {
  CrashUploadTestServer server;
  ASSERT_TRUE(server.Start({"200"}));
  UseServer(server);
  const base::FilePath log = Write("velna-crashlog-5-1.txt", "log");
  EXPECT_FALSE(UploadCrashLogNow(log, {{u"bad\"name", u"v"}}, true));
  EXPECT_FALSE(base::PathExists(log));
  EXPECT_FALSE(
      base::PathExists(dir_.GetPath().AppendASCII("velna-crashlog-5-1.zip")));
  EXPECT_TRUE(server.Requests().empty());
}

TEST_F(CrashUploadTest, MissingMinidumpFailsBeforeAnythingIsSent) {
  CrashUploadTestServer server;
  ASSERT_TRUE(server.Start({"200"}));
  UseServer(server);
  for (const bool compress : {true, false}) {
    EXPECT_FALSE(UploadMinidumpNow(dir_.GetPath().AppendASCII("gone.dmp"),
                                   {{u"a", u"1"}}, compress));
  }
  EXPECT_TRUE(server.Requests().empty());
}

TEST_F(CrashUploadTest, LogThatCannotBeZippedIsNotSentButDeleted) {
  CrashUploadTestServer server;
  ASSERT_TRUE(server.Start({"200"}));
  UseServer(server);
  const base::FilePath log = Write("velna-crashlog-6-1.txt", "");
  ReporterLifetime::AddRef();
  EXPECT_TRUE(UploadCrashLogAsync(log, {{u"a", u"1"}}, true));
  ReporterLifetime::Release();
  ASSERT_TRUE(
      ReporterLifetime::TimedWaitUntilIdle(base::TimeDelta::FromSeconds(60)));
  EXPECT_FALSE(base::PathExists(log));
  EXPECT_FALSE(
      base::PathExists(dir_.GetPath().AppendASCII("velna-crashlog-6-1.zip")));
  EXPECT_TRUE(server.Requests().empty());
}

bool RefuseWorkItem(base::PendingTask*, bool) { return false; }

TEST_F(CrashUploadTest, RefusedUploadDeletesItsFileAndReleasesTheReporter) {
  const base::FilePath log = Write("velna-crashlog-8-1.txt", "log");
  base::internal::SetQueueWorkItemFunctionForTesting(&RefuseWorkItem);
  ReporterLifetime::AddRef();
  EXPECT_FALSE(UploadCrashLogAsync(log, {{u"a", u"1"}}, true));
  ReporterLifetime::Release();
  base::internal::SetQueueWorkItemFunctionForTesting(nullptr);
  EXPECT_TRUE(ReporterLifetime::TimedWaitUntilIdle(base::TimeDelta()));
  EXPECT_FALSE(base::PathExists(log));
}

TEST_F(CrashUploadTest, EndpointsComeFromTheEnvironmentOrTheBranding) {
  {
    ScopedEnvironmentVariable server(kCrashServerUrlVariable, nullptr);
    ScopedEnvironmentVariable collector(kAlternativeCrashServerUrlVariable,
                                        u"");
    ScopedEnvironmentVariable email(kEmailVariable, u"x@y");
    InitCrashUploadUrls();
    EXPECT_EQ(u"https://crashes.velna.com/submit?email=x%40y",
              GetCrashUploadUrls().crash_server_url);
    EXPECT_EQ(kBuiltInCollectorUrl, GetCrashUploadUrls().collector_url);
    EXPECT_EQ(base::UTF8ToUTF16(UserAgentSuffix()),
              GetCrashUploadUrls().user_agent_suffix);
  }
  // Near the system's limit of 32,767 characters per variable.
  const std::u16string long_url = u"http://h/" + std::u16string(30000, u'p');
  ScopedEnvironmentVariable server(kCrashServerUrlVariable, long_url.c_str());
  ScopedEnvironmentVariable collector(kAlternativeCrashServerUrlVariable,
                                      u"http://c/");
  InitCrashUploadUrls();
  EXPECT_EQ(long_url.size(), GetCrashUploadUrls().crash_server_url.size());
  EXPECT_TRUE(long_url == GetCrashUploadUrls().crash_server_url);
  EXPECT_EQ(u"http://c/", GetCrashUploadUrls().collector_url);
}

}  // namespace
}  // namespace crash_reporter
