#include <windows.h>

#include "desktop/windows/installer/wininet/wininet_downloader.h"
// The system header, not the downloader's.
#include <wininet.h>

#include <algorithm>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "base/bind.h"
#include "base/command_line.h"
#include "base/files/file_util.h"
#include "base/json/json_reader.h"
#include "base/location.h"
#include "base/message_loop/message_loop.h"
#include "base/run_loop.h"
#include "base/strings/string_number_conversions.h"
#include "base/strings/utf_string_conversions.h"
#include "base/test/scoped_temp_dir.h"
#include "base/time/time.h"
#include "base/values.h"
#include "desktop/windows/installer/common/branding_config.h"
#include "desktop/windows/installer/common/version_info.h"
#include "desktop/windows/installer/core/stats_sender.h"
#include "desktop/windows/installer/service/test/log_capture.h"
#include "desktop/windows/installer/test/local_http_server_win.h"
#include "desktop/windows/installer/test/recording_ui_callback_runner.h"
#include "desktop/windows/installer/wininet/download_observer.h"
#include "desktop/windows/installer/wininet/wininet_response_writer.h"
#include "gtest/gtest.h"

namespace installer {
namespace {

using test::LocalHttpServer;

constexpr uint32_t kBigSize = 20 * 1024 * 1024;

// Bytes that no two offsets of a short window share by accident.
std::string MakeContent(size_t size) {
  std::string content(size, '\0');
  uint32_t state = 0x12345678u;
  for (char& c : content) {
    state = state * 1664525u + 1013904223u;
    c = static_cast<char>(state >> 24);
  }
  return content;
}

class RecordingListener : public DownloadProgressListener {
 public:
  void SetTotalProgress(int total) override { this->total = total; }
  void SetCurrentProgress(int current) override {
    this->current = current;
    if (on_current) on_current(current);
  }
  void NotifyStalled() override { ++stalled; }

  int total = -1;
  int current = 0;
  int stalled = 0;
  std::function<void(int)> on_current;
};

class RedirectRecorder : public DownloadObserver {
 public:
  void OnRedirect(const std::u16string& url) override { urls.push_back(url); }

  std::vector<std::u16string> urls;
};

int IntField(const base::DictionaryValue& dict, const char* key) {
  int value = -1;
  dict.GetInteger(key, &value);
  return value;
}

// The requests on |path|, all of one transfer, number |min_requests| to
// |max_requests|, and each after the first asks for exactly what the
// answers before it (as sent) left the client holding.
void ExpectEveryRequestContinues(const LocalHttpServer& server,
                                 base::StringPiece path, size_t min_requests,
                                 size_t max_requests) {
  const auto requests = server.RequestsFor(path);
  EXPECT_GE(requests.size(), min_requests);
  EXPECT_LE(requests.size(), max_requests);
  // An answer is logged once sent or left, maybe just after the client
  // saw its end.
  std::map<int, std::unique_ptr<base::DictionaryValue>> responses;
  const base::TimeTicks deadline =
      base::TimeTicks::Now() + base::TimeDelta::FromSeconds(20);
  while (true) {
    responses.clear();
    for (auto& response : server.Responses())
      responses[IntField(*response, "id")] = std::move(response);
    const bool all_logged =
        std::all_of(requests.begin(), requests.end(), [&](const auto& r) {
          return responses.count(IntField(*r, "id")) != 0;
        });
    if (all_logged || base::TimeTicks::Now() > deadline) break;
    ::Sleep(50);
  }
  // Held after each answer: a whole body, the part continuing what was
  // held, or (a part from elsewhere) nothing.
  uint64_t kept = 0;
  for (size_t i = 0; i < requests.size(); ++i) {
    SCOPED_TRACE(testing::Message() << "request " << i);
    std::string range;
    requests[i]->GetString("range", &range);
    EXPECT_EQ(kept ? "bytes=" + base::Uint64ToString(kept) + "-" : "", range);
    const auto response = responses.find(IntField(*requests[i], "id"));
    ASSERT_NE(responses.end(), response) << "no answer logged";
    const int status = IntField(*response->second, "status");
    const uint64_t start = IntField(*response->second, "start");
    const uint64_t sent = IntField(*response->second, "sent");
    if (status == 200) {
      kept = sent;
    } else if (status == 206) {
      kept = start == kept ? kept + sent : 0;
    }
  }
}

struct Outcome {
  bool started = false;
  int completions = 0;
  WinInetDownloader::State state = WinInetDownloader::kIdle;
};

class WinInetDownloaderTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(server_.Start());
    ASSERT_TRUE(temp_dir_.CreateUniqueTempDir());
    downloader_ = std::make_unique<WinInetDownloader>(&ui_runner_, &listener_);
    downloader_->set_retry_delay(base::TimeDelta::FromMilliseconds(50));
  }

  // Runs one transfer to its end (at most |limit|), then lets whatever was
  // posted after the completion run, so that a second completion shows.
  Outcome Transfer(const std::u16string& url, const std::string& body,
                   std::unique_ptr<ResponseWriter> writer,
                   std::unique_ptr<DownloadObserver> observer =
                       std::make_unique<DownloadObserver>(),
                   base::TimeDelta limit = base::TimeDelta::FromSeconds(40)) {
    Outcome outcome;
    base::RunLoop run_loop;
    outcome.started =
        downloader_->Start(url, body,
                           base::Bind(
                               [](int* completions, base::RunLoop* run_loop) {
                                 ++*completions;
                                 run_loop->Quit();
                               },
                               &outcome.completions, &run_loop),
                           std::move(writer), std::move(observer));
    if (outcome.started) {
      loop_.task_runner()->PostDelayedTask(CURRENT_LOCATION,
                                           run_loop.QuitClosure(), limit);
      run_loop.Run();
    }
    base::RunLoop().RunUntilIdle();
    outcome.state = downloader_->state();
    return outcome;
  }

  std::unique_ptr<FileResponseWriter> FileWriter(const char* name) {
    auto writer = std::make_unique<FileResponseWriter>();
    EXPECT_TRUE(writer->Open(temp_dir_.GetPath().AppendASCII(name)));
    return writer;
  }

  std::string ReadOutput(const char* name) {
    std::string contents;
    EXPECT_TRUE(base::FileUtil::ReadFileToString(
        temp_dir_.GetPath().AppendASCII(name), &contents));
    return contents;
  }

  static std::string Field(const base::DictionaryValue& request,
                           const char* key) {
    std::string value;
    request.GetString(key, &value);
    return value;
  }

  base::MessageLoop loop_;
  LocalHttpServer server_;
  base::ScopedTempDir temp_dir_;
  test::RecordingUICallbackRunner ui_runner_;
  RecordingListener listener_;
  std::unique_ptr<WinInetDownloader> downloader_;
};

// One downloader fetches a 20 MB file through every fault mode of the
// server, then the first transfer's chunk records go out with the
// statistics.
TEST_F(WinInetDownloaderTest, TwentyMegabytesThroughEveryFaultMode) {
  const std::string content = MakeContent(kBigSize);
  ASSERT_TRUE(server_.ServeFile("big.bin", content));
  StatsCollector collector(&ui_runner_);
  std::unique_ptr<StatsNode> fetch =
      collector.root_node()->AppendDictionary("fetches");

  // A cut connection resumes with the exact offset; the file stays whole.
  constexpr uint32_t kCut = 7340033;
  Outcome outcome = Transfer(
      server_.Url("/files/big.bin?cut=7340033&cut_count=1"), std::string(),
      FileWriter("cut.bin"),
      std::make_unique<DownloadStatsRecorder>(*fetch, "download_chunks"));
  EXPECT_EQ(1, outcome.completions);
  EXPECT_EQ(WinInetDownloader::kCompleted, outcome.state);
  EXPECT_TRUE(ReadOutput("cut.bin") == content);
  EXPECT_EQ(static_cast<int>(kBigSize), listener_.total);
  EXPECT_EQ(static_cast<int>(kBigSize), listener_.current);
  ExpectEveryRequestContinues(server_, "/files/big.bin", 2, 4);

  // Cases whose request log this test reads, each on a path of its own
  // (the server serves the file named by the last part).
  const struct {
    const char* name;
    const char* path;
    const char* query;
    size_t requests;  // as the faults plan them
  } repaired[] = {
      // The resumed request is answered with the whole body: it replaces
      // what was kept instead of being appended to it.
      {"range ignored", "/a/big.bin", "?cut=5000000&cut_count=1&ignore_range=1",
       2},
      // A partial reply from the wrong offset: start over without a Range.
      {"wrong Content-Range", "/b/big.bin",
       "?cut=3000000&cut_count=1&bad_range=1", 3},
      // Three 503s are retried.
      {"three 503s", "/c/big.bin", "?fail_count=3", 4},
  };
  for (const auto& test : repaired) {
    SCOPED_TRACE(test.name);
    listener_.stalled = 0;
    outcome = Transfer(server_.Url(std::string(test.path) + test.query),
                       std::string(), FileWriter("repaired.bin"));
    EXPECT_EQ(1, outcome.completions);
    EXPECT_EQ(WinInetDownloader::kCompleted, outcome.state);
    EXPECT_TRUE(ReadOutput("repaired.bin") == content);
    ExpectEveryRequestContinues(server_, test.path, test.requests,
                                test.requests + 2);
  }
  // The stall notice came with the third 503, once.
  EXPECT_EQ(1, listener_.stalled);

  // A server that always breaks off at zero fails at the lowered maximum:
  // the first request and three retries.
  downloader_->set_max_retry_count(2);
  outcome = Transfer(server_.Url("/d/big.bin?cut=0"), std::string(),
                     FileWriter("zero.bin"));
  EXPECT_EQ(1, outcome.completions);
  EXPECT_EQ(WinInetDownloader::kFailed, outcome.state);
  EXPECT_EQ(4u, server_.RequestsFor("/d/big.bin").size());
  downloader_->set_max_retry_count(WinInetDownloader::kDefaultMaxRetryCount);

  // A redirect to another host than the allowed one fails once, and no
  // request reaches that host.
  downloader_->set_allowed_host_suffixes({u"127.0.0.1"});
  const std::string other_host_url =
      base::UTF16ToUTF8(server_.UrlOnHost("localhost", "/e/big.bin"));
  outcome = Transfer(server_.Url("/files/big.bin?redirect=" + other_host_url),
                     std::string(), FileWriter("redirected.bin"));
  EXPECT_EQ(1, outcome.completions);
  EXPECT_EQ(WinInetDownloader::kFailed, outcome.state);
  for (const auto& request : server_.Requests())
    EXPECT_EQ(0u, Field(*request, "host").find("127.0.0.1:"));
  downloader_->set_allowed_host_suffixes({});

  // A 404 fails.
  outcome = Transfer(server_.Url("/files/big.bin?status=404"), std::string(),
                     FileWriter("missing.bin"));
  EXPECT_EQ(1, outcome.completions);
  EXPECT_EQ(WinInetDownloader::kFailed, outcome.state);

  // A POST body arrives intact, with the installer's user agent.
  std::string body = MakeContent(300000);
  std::string reply;
  outcome = Transfer(server_.Url("/post/target"), body,
                     std::make_unique<StringResponseWriter>(&reply));
  EXPECT_EQ(WinInetDownloader::kCompleted, outcome.state);
  EXPECT_EQ("ok", reply);
  auto requests = server_.RequestsFor("/post/target");
  ASSERT_EQ(1u, requests.size());
  EXPECT_EQ("POST", Field(*requests[0], "method"));
  EXPECT_EQ(test::Md5Hex(body), Field(*requests[0], "body_md5"));
  EXPECT_EQ("Velna NetInstaller/" + VersionInfo::GetProductVersion(),
            Field(*requests[0], "user_agent"));

  // The first transfer's records go out with the statistics.
  BrandingConfig::OverrideForTesting(
      "urls.autoupdate", std::make_unique<base::StringValue>(server_.Url("/")));
  base::RunLoop send_loop;
  ASSERT_TRUE(collector.Send(send_loop.QuitClosure(), true));
  send_loop.Run();
  requests = server_.RequestsFor("/netinstaller/feedback");
  ASSERT_EQ(1u, requests.size());
  std::unique_ptr<base::Value> sent =
      base::JSONReader::Read(Field(*requests[0], "body"));
  base::DictionaryValue* stats = nullptr;
  ASSERT_TRUE(sent && sent->GetAsDictionary(&stats));
  int retries = 0;
  std::string addresses;
  EXPECT_TRUE(stats->GetInteger("wininet_retries", &retries));
  EXPECT_EQ(2, retries);
  EXPECT_TRUE(stats->GetString("download_ips", &addresses));
  EXPECT_EQ("127.0.0.1; 127.0.0.1", addresses);
  base::ListValue* fetches = nullptr;
  base::DictionaryValue* fetch_record = nullptr;
  base::ListValue* chunks = nullptr;
  ASSERT_TRUE(stats->GetList("fetches", &fetches));
  ASSERT_TRUE(fetches->GetDictionary(0, &fetch_record));
  ASSERT_TRUE(fetch_record->GetList("download_chunks", &chunks));
  ASSERT_EQ(2u, chunks->GetSize());
  const struct {
    int number, start, end, status;
  } expected_chunks[] = {
      {0, 0, static_cast<int>(kCut), 200},
      {1, static_cast<int>(kCut), static_cast<int>(kBigSize), 206}};
  for (size_t i = 0; i < 2; ++i) {
    SCOPED_TRACE(i);
    base::DictionaryValue* chunk = nullptr;
    ASSERT_TRUE(chunks->GetDictionary(i, &chunk));
    int value = -1;
    std::string text;
    EXPECT_TRUE(chunk->GetInteger("chunk_number", &value));
    EXPECT_EQ(expected_chunks[i].number, value);
    EXPECT_TRUE(chunk->GetInteger("chunk_start", &value));
    EXPECT_EQ(expected_chunks[i].start, value);
    EXPECT_TRUE(chunk->GetInteger("chunk_end", &value));
    EXPECT_EQ(expected_chunks[i].end, value);
    EXPECT_TRUE(chunk->GetInteger("http_status", &value));
    EXPECT_EQ(expected_chunks[i].status, value);
    EXPECT_TRUE(chunk->GetString("ip", &text));
    EXPECT_EQ("127.0.0.1", text);
    EXPECT_TRUE(chunk->GetString("headers.Server", &text));
    EXPECT_EQ(0u, text.find("VelnaTestServer/1.0"));
    EXPECT_TRUE(chunk->GetString("headers.X-Served-By", &text));
    EXPECT_EQ("velna-test", text);
    EXPECT_TRUE(chunk->GetString("headers.Date", &text));
    EXPECT_FALSE(text.empty());
  }
  base::DictionaryValue* second = nullptr;
  int retry_count = -1;
  ASSERT_TRUE(chunks->GetDictionary(1, &second));
  EXPECT_TRUE(second->GetInteger("retry_count", &retry_count));
  EXPECT_EQ(0, retry_count);  // an uncounted resume

  // Stop during a trickle: no completion, and destruction is prompt.
  outcome = Outcome();
  EXPECT_TRUE(downloader_->Start(
      server_.Url("/files/big.bin?trickle=20&trickle_bytes=4096"),
      std::string(),
      base::Bind([](int* completions) { ++*completions; },
                 &outcome.completions),
      FileWriter("trickle.bin"), std::make_unique<DownloadObserver>()));
  base::RunLoop wait;
  loop_.task_runner()->PostDelayedTask(CURRENT_LOCATION, wait.QuitClosure(),
                                       base::TimeDelta::FromMilliseconds(700));
  wait.Run();
  downloader_->Stop();
  EXPECT_EQ(WinInetDownloader::kStopped, downloader_->state());
  base::RunLoop after_stop;
  loop_.task_runner()->PostDelayedTask(CURRENT_LOCATION,
                                       after_stop.QuitClosure(),
                                       base::TimeDelta::FromMilliseconds(500));
  after_stop.Run();
  const base::TimeTicks before = base::TimeTicks::Now();
  downloader_.reset();
  // The rest of the trickle would take over a minute; a loaded machine
  // may take seconds to close the handles.
  EXPECT_LT(base::TimeTicks::Now() - before, base::TimeDelta::FromSeconds(10));
  EXPECT_EQ(0, outcome.completions);
}

// Resumes that bring only a few bytes each count against the retry limit,
// and the log keeps to a line a second however fast they come; resumes that
// bring real progress stay free.
TEST_F(WinInetDownloaderTest, ResumesWithLittleProgressAreCounted) {
  const std::string content = MakeContent(300000);
  ASSERT_TRUE(server_.ServeFile("few.bin", content));
  const struct {
    const char* path;
    const char* query;
    WinInetDownloader::State state;
    size_t requests;
  } cases[] = {
      // One byte per connection: the first request and three retries.
      {"/few/a/few.bin", "?cut=1", WinInetDownloader::kFailed, 4},
      {"/few/b/few.bin", "?cut=1000", WinInetDownloader::kFailed, 4},
      // 70,000 bytes per connection: never counted.
      {"/few/c/few.bin", "?cut=70000", WinInetDownloader::kCompleted, 5},
  };
  downloader_->set_max_retry_count(2);
  downloader_->set_retry_delay(base::TimeDelta::FromMilliseconds(0));
  for (const auto& c : cases) {
    SCOPED_TRACE(c.query);
    test::ScopedLogCapture log;
    const Outcome outcome =
        Transfer(server_.Url(std::string(c.path) + c.query), std::string(),
                 FileWriter("few.bin"), std::make_unique<DownloadObserver>(),
                 base::TimeDelta::FromSeconds(20));
    EXPECT_EQ(1, outcome.completions);
    EXPECT_EQ(c.state, outcome.state);
    EXPECT_EQ(c.requests, server_.RequestsFor(c.path).size());
    if (c.state == WinInetDownloader::kCompleted) {
      EXPECT_TRUE(ReadOutput("few.bin") == content);
      continue;
    }
    int retrying = 0;
    int resume_lines = 0;
    for (const std::string& line : log.Messages(logging::LOG_INFO)) {
      retrying += line.find("Retrying ") == 0;
      resume_lines += line.find("Attempting download resume") == 0;
    }
    EXPECT_EQ(3, retrying);
    // Three resumes, usually within a few milliseconds: never a line each.
    EXPECT_GE(resume_lines, 1);
    EXPECT_LE(resume_lines, 2);
  }
}

// A body may not grow beyond what the reply declared, nor beyond the
// owner's maximum.
TEST_F(WinInetDownloaderTest, BodiesLargerThanDeclaredOrAllowedFail) {
  const std::string content = MakeContent(200000);
  ASSERT_TRUE(server_.ServeFile("over.bin", content));
  const struct {
    const char* name;
    std::string url;
    uint64_t max_size;
    WinInetDownloader::State state;
  } cases[] = {
      {"the resumed part runs past the declared total",
       "/files/over.bin?cut=100000&cut_count=1&overrun=5000", 0,
       WinInetDownloader::kFailed},
      {"as declared", "/files/over.bin?cut=100000&cut_count=1", 0,
       WinInetDownloader::kCompleted},
      {"a declared length beyond the maximum", "/files/over.bin", 150000,
       WinInetDownloader::kFailed},
      {"no length, beyond the maximum", "/files/over.bin?no_length=1", 150000,
       WinInetDownloader::kFailed},
      {"exactly the maximum", "/files/over.bin?no_length=1", 200000,
       WinInetDownloader::kCompleted},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    downloader_->set_max_size(c.max_size);
    const Outcome outcome =
        Transfer(server_.Url(c.url), std::string(), FileWriter("over.bin"));
    EXPECT_EQ(1, outcome.completions);
    EXPECT_EQ(c.state, outcome.state);
    if (c.state == WinInetDownloader::kCompleted) {
      EXPECT_TRUE(ReadOutput("over.bin") == content);
    }
  }
}

// The host and path limits of the URL: at the limit a transfer starts,
// beyond it it is refused before anything is sent.
TEST_F(WinInetDownloaderTest, UrlLimits) {
  const std::string path4095 =
      "/limits/" + std::string(4095 - 8 - 4, 'p') + "?q=1";
  ASSERT_EQ(4095u, path4095.size());
  const std::u16string long_host =
      u"http://" + std::u16string(252, u'h') + u".invalid/";
  const struct {
    const char* name;
    std::u16string url;
    bool started;
  } cases[] = {
      {"longest path", server_.Url(path4095), true},
      {"path too long", server_.Url("/x" + path4095), false},
      {"host too long", long_host, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const Outcome outcome =
        Transfer(c.url, std::string(), FileWriter("limits.bin"));
    EXPECT_EQ(c.started, outcome.started);
    if (c.started) {
      EXPECT_EQ(WinInetDownloader::kCompleted, outcome.state);
    }
  }
  EXPECT_EQ(1u, server_.Requests().size());
}

TEST_F(WinInetDownloaderTest, BodyWithoutLengthEndsWithTheConnection) {
  const std::string content = MakeContent(1500000);
  ASSERT_TRUE(server_.ServeFile("plain.bin", content));
  Outcome outcome = Transfer(server_.Url("/files/plain.bin?no_length=1"),
                             std::string(), FileWriter("plain.bin"));
  EXPECT_EQ(1, outcome.completions);
  EXPECT_EQ(WinInetDownloader::kCompleted, outcome.state);
  EXPECT_TRUE(ReadOutput("plain.bin") == content);
  EXPECT_EQ(1u, server_.RequestsFor("/files/plain.bin").size());
}

TEST_F(WinInetDownloaderTest, SilentServerIsLeftAfterTheReceiveTimeout) {
  const std::string content = MakeContent(2000000);
  ASSERT_TRUE(server_.ServeFile("slow.bin", content));
  downloader_->set_receive_timeout_for_testing(base::TimeDelta::FromSeconds(2));
  Outcome outcome =
      Transfer(server_.Url("/files/slow.bin?stall_after=600000&stall_count=1"),
               std::string(), FileWriter("slow.bin"));
  EXPECT_EQ(1, outcome.completions);
  EXPECT_EQ(WinInetDownloader::kCompleted, outcome.state);
  EXPECT_TRUE(ReadOutput("slow.bin") == content);
  // Resumed after what was kept: the bytes of the read that timed out are
  // not reported (under Wine a pending read loses them), so at most the
  // stalled offset.
  auto requests = server_.RequestsFor("/files/slow.bin");
  ASSERT_EQ(2u, requests.size());
  const std::string range = Field(*requests[1], "range");
  unsigned offset = 0;
  ASSERT_EQ(0u, range.find("bytes="));
  ASSERT_EQ('-', range.back());
  ASSERT_TRUE(base::StringToUint(range.substr(6, range.size() - 7), &offset));
  EXPECT_GT(offset, 0u);
  EXPECT_LE(offset, 600000u);

  // A slow server that is never silent that long is not left, though the
  // whole body takes longer than the time-out.
  const std::string slow_content = MakeContent(16 * 16000);
  ASSERT_TRUE(server_.ServeFile("live.bin", slow_content));
  outcome =
      Transfer(server_.Url("/files/live.bin?trickle=200&trickle_bytes=16000"),
               std::string(), FileWriter("live.bin"));
  EXPECT_EQ(WinInetDownloader::kCompleted, outcome.state);
  EXPECT_TRUE(ReadOutput("live.bin") == slow_content);
  EXPECT_EQ(1u, server_.RequestsFor("/files/live.bin").size());
}

// A name that does not resolve is a connectivity error that is retried,
// unless the owner has it fail at once.
TEST_F(WinInetDownloaderTest, UnresolvedNameIsRetriedUnlessTheOwnerSaysNo) {
  class ErrorRecorder : public DownloadObserver {
   public:
    explicit ErrorRecorder(std::vector<uint32_t>* errors) : errors_(errors) {}
    void OnWinInetError(uint32_t code) override {
      if (code != ERROR_SUCCESS) errors_->push_back(code);
    }

   private:
    std::vector<uint32_t>* errors_;
  };
  const struct {
    bool retry;
    size_t attempts;
    int retries;
  } cases[] = {{true, 3, 2}, {false, 1, 0}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.retry);
    downloader_ = std::make_unique<WinInetDownloader>(&ui_runner_, &listener_);
    downloader_->set_retry_delay(base::TimeDelta::FromMilliseconds(50));
    downloader_->set_max_retry_count(1);
    downloader_->set_retry_unresolved_name(c.retry);
    std::vector<uint32_t> errors;
    const Outcome outcome = Transfer(
        u"http://velna-test.invalid/overrides", std::string(),
        FileWriter("unresolved.bin"), std::make_unique<ErrorRecorder>(&errors));
    ASSERT_FALSE(errors.empty());
    if (errors[0] != ERROR_INTERNET_NAME_NOT_RESOLVED)
      GTEST_SKIP() << "this machine answers for a reserved name: " << errors[0];
    EXPECT_EQ(1, outcome.completions);
    EXPECT_EQ(WinInetDownloader::kFailed, outcome.state);
    EXPECT_EQ(
        std::vector<uint32_t>(c.attempts, ERROR_INTERNET_NAME_NOT_RESOLVED),
        errors);
    EXPECT_EQ(c.retries, downloader_->retry_count());
  }
}

TEST_F(WinInetDownloaderTest, RedirectsAreFollowedByTheRules) {
  ASSERT_TRUE(server_.ServeFile("target.bin", "target body"));
  ASSERT_TRUE(server_.SetRoutes(R"({"/loop": {"redirect": "/loop"}})"));
  downloader_->set_allowed_host_suffixes({u"127.0.0.1"});
  const std::string target =
      base::UTF16ToUTF8(server_.Url("/files/target.bin"));
  const struct {
    const char* name;
    std::string url;
    std::string body;
    WinInetDownloader::State state;
    // The method and body length that reached the target.
    const char* target_method;
    int target_body_length;
  } cases[] = {
      {"302 turns a POST into a GET", "/r1?redirect=" + target, "tracking",
       WinInetDownloader::kCompleted, "GET", 0},
      {"303 too", "/r2?redirect_code=303&redirect=" + target, "tracking",
       WinInetDownloader::kCompleted, "GET", 0},
      {"307 keeps the POST and its body",
       "/r3?redirect_code=307&redirect=" + target, "tracking",
       WinInetDownloader::kCompleted, "POST", 8},
      {"308 too", "/r4?redirect_code=308&redirect=" + target, "tracking",
       WinInetDownloader::kCompleted, "POST", 8},
      {"a relative location", "/r5?redirect=/files/target.bin", "",
       WinInetDownloader::kCompleted, "GET", 0},
      {"a redirect loop ends after ten hops", "/loop", "",
       WinInetDownloader::kFailed, nullptr, 0},
      {"an unparsable location", "/r7?redirect=http://", "",
       WinInetDownloader::kFailed, nullptr, 0},
  };
  for (const auto& test : cases) {
    SCOPED_TRACE(test.name);
    const size_t before = server_.RequestsFor("/files/target.bin").size();
    std::string reply;
    auto observer = std::make_unique<RedirectRecorder>();
    std::vector<std::u16string>* redirects = &observer->urls;
    Outcome outcome = Transfer(server_.Url(test.url), test.body,
                               std::make_unique<StringResponseWriter>(&reply),
                               std::move(observer));
    EXPECT_EQ(1, outcome.completions);
    EXPECT_EQ(test.state, outcome.state);
    auto requests = server_.RequestsFor("/files/target.bin");
    if (!test.target_method) {
      EXPECT_EQ(before, requests.size());
      continue;
    }
    // The downloader keeps its observer until the next Start.
    EXPECT_EQ(std::vector<std::u16string>{server_.Url("/files/target.bin")},
              *redirects);
    ASSERT_EQ(before + 1, requests.size());
    EXPECT_EQ("target body", reply);
    EXPECT_EQ(test.target_method, Field(*requests.back(), "method"));
    int body_length = -1;
    requests.back()->GetInteger("body_length", &body_length);
    EXPECT_EQ(test.target_body_length, body_length);
  }
  // The loop: the first request and ten followed hops.
  EXPECT_EQ(11u, server_.RequestsFor("/loop").size());
}

// What came over https is not handed on to plain http, even on the same
// host: a redirect that drops the encryption fails the transfer.
TEST_F(WinInetDownloaderTest, RedirectFromHttpsToHttpIsRefused) {
  LocalHttpServer server;
  ASSERT_TRUE(server.StartWithTls());
  ASSERT_TRUE(server.ServeFile("target.bin", "target body"));
  downloader_->set_ignore_certificate_errors_for_testing(true);
  const std::string plain = base::UTF16ToUTF8(server.Url("/files/target.bin"));
  const std::string secure =
      base::UTF16ToUTF8(server.TlsUrl("/files/target.bin"));
  const struct {
    const char* name;
    std::u16string url;
    WinInetDownloader::State state;
    size_t target_requests;
  } cases[] = {
      {"https to https", server.TlsUrl("/r1?redirect=" + secure),
       WinInetDownloader::kCompleted, 1},
      {"http to https", server.Url("/r2?redirect=" + secure),
       WinInetDownloader::kCompleted, 1},
      {"https to http", server.TlsUrl("/r3?redirect=" + plain),
       WinInetDownloader::kFailed, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const size_t before = server.RequestsFor("/files/target.bin").size();
    std::string reply;
    const Outcome outcome = Transfer(
        c.url, std::string(), std::make_unique<StringResponseWriter>(&reply));
    EXPECT_EQ(c.state, outcome.state);
    EXPECT_EQ(c.target_requests,
              server.RequestsFor("/files/target.bin").size() - before);
    if (c.state == WinInetDownloader::kCompleted) {
      EXPECT_EQ("target body", reply);
    }
  }
}

TEST_F(WinInetDownloaderTest, ProxyPromptAnswers) {
  const struct {
    const char* name;
    std::vector<int> replies;
    size_t requests;
    const char* message;
  } cases[] = {
      {"cancelled",
       {ERROR_CANCELLED},
       1,
       "The user cancelled the prompt for proxy credentials"},
      {"declined by a silent front end",
       {0},
       1,
       "The user cancelled the prompt for proxy credentials"},
      {"dialog failure",
       {ERROR_INVALID_HANDLE},
       1,
       "Failed to obtain credentials for proxy"},
      // Credentials given: the request goes again, and is refused again.
      {"retry, then cancelled",
       {ERROR_INTERNET_FORCE_RETRY, ERROR_CANCELLED},
       2,
       "The user cancelled the prompt for proxy credentials"},
  };
  int path_number = 0;
  for (const auto& test : cases) {
    SCOPED_TRACE(test.name);
    ui_runner_.SetReplies(test.replies);
    const std::string path = "/proxy" + base::IntToString(++path_number);
    test::ScopedLogCapture log;
    Outcome outcome = Transfer(server_.Url(path + "?status=407"), std::string(),
                               std::make_unique<ResponseWriter>());
    EXPECT_EQ(1, outcome.completions);
    EXPECT_EQ(WinInetDownloader::kFailed, outcome.state);
    EXPECT_EQ(test.requests, ui_runner_.calls());
    EXPECT_EQ(test.requests, server_.RequestsFor(path).size());
    EXPECT_TRUE(log.Has(logging::LOG_ERROR, test.message));
  }
}

TEST_F(WinInetDownloaderTest, RefusedStartsNeverComplete) {
  downloader_->set_allowed_host_suffixes({u"velna.com", u"127.0.0.1"});
  const struct {
    const char* name;
    std::u16string url;
  } cases[] = {
      {"not a URL", u"not a url"},
      {"another scheme", u"ftp://127.0.0.1/file"},
      {"a host outside the list", u"http://evil-velna.com/file"},
      {"a host that merely ends like one", u"http://127.0.0.10/file"},
  };
  for (const auto& test : cases) {
    SCOPED_TRACE(test.name);
    Outcome outcome =
        Transfer(test.url, std::string(), std::make_unique<ResponseWriter>());
    EXPECT_FALSE(outcome.started);
    EXPECT_EQ(0, outcome.completions);
    EXPECT_EQ(WinInetDownloader::kIdle, outcome.state);
  }
  EXPECT_TRUE(server_.Requests().empty());
}

TEST_F(WinInetDownloaderTest, StopDropsAnAlreadyPostedCompletion) {
  const std::string content = MakeContent(100000);
  ASSERT_TRUE(server_.ServeFile("small.bin", content));
  // The last progress report is posted before the completion; stopping
  // there leaves a completion in the queue that must not run.
  // The run ends once the queue is idle after the stop, the completion's
  // turn included, however long a loaded machine takes to get there.
  listener_.on_current = [&](int current) {
    if (current != static_cast<int>(content.size())) return;
    downloader_->Stop();
    base::MessageLoop::current()->QuitWhenIdle();
  };
  Outcome outcome = Transfer(server_.Url("/files/small.bin"), std::string(),
                             FileWriter("small.bin"));
  EXPECT_EQ(0, outcome.completions);
  EXPECT_EQ(WinInetDownloader::kStopped, outcome.state);

  // The downloader is usable again, and may be destroyed by its completion.
  listener_.on_current = nullptr;
  base::RunLoop run_loop;
  WinInetDownloader* downloader = downloader_.get();
  ASSERT_TRUE(downloader->Start(
      server_.Url("/files/small.bin"), std::string(),
      base::Bind(
          [](std::unique_ptr<WinInetDownloader>* owner,
             WinInetDownloader::State* state, base::RunLoop* run_loop) {
            *state = (*owner)->state();
            owner->reset();
            run_loop->Quit();
          },
          &downloader_, &outcome.state, &run_loop),
      FileWriter("again.bin"), std::make_unique<DownloadObserver>()));
  run_loop.Run();
  EXPECT_FALSE(downloader_);
  EXPECT_EQ(WinInetDownloader::kCompleted, outcome.state);
  EXPECT_TRUE(ReadOutput("again.bin") == content);
}

}  // namespace
}  // namespace installer
