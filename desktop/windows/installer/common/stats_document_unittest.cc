#include "desktop/windows/installer/common/stats_document.h"

#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "base/time/time.h"
#include "base/time/time_override.h"
#include "base/values.h"
#include "desktop/windows/installer/common/branding_config.h"
#include "desktop/windows/installer/common/stats_node.h"
#include "desktop/windows/installer/common/version_info.h"
#include "gtest/gtest.h"

namespace installer {
namespace {

std::string JsonOf(const StatsDocument& document) {
  std::string json;
  EXPECT_TRUE(document.WriteJson(&json));
  return json;
}

// A wall clock and a monotonic clock that the test moves by hand.
int64_t g_file_time = 0;
base::TimeTicks g_ticks;
int64_t FakeFileTime() { return g_file_time; }
base::TimeTicks FakeTicks() { return g_ticks; }

TEST(StatsNodeTest, WritesDottedKeysAndReplacesWhatStandsInTheWay) {
  auto document = base::MakeRefCounted<StatsDocument>();
  StatsNode root = document->root();
  root.SetString("os.name", "windows");
  root.SetInteger("os.version.major", 10);
  root.SetInteger("flag", true);
  root.SetString("blocker", "text");
  root.SetInteger("blocker.inner", 7);  // the string gives way
  EXPECT_EQ(R"({"blocker":{"inner":7},"flag":1,"os":{"name":"windows",)"
            R"("version":{"major":10}}})",
            JsonOf(*document));

  root.Remove("os.version");
  root.Remove("no.such.key");
  EXPECT_EQ(R"({"blocker":{"inner":7},"flag":1,"os":{"name":"windows"}})",
            JsonOf(*document));
}

TEST(StatsNodeTest, IncrementIntegerCountsFromZero) {
  auto document = base::MakeRefCounted<StatsDocument>();
  StatsNode root = document->root();
  root.IncrementInteger("ui.changed_language");  // missing: 1
  root.IncrementInteger("ui.changed_language");
  root.SetString("text", "x");
  root.IncrementInteger("text");  // not an integer: counts from 0
  EXPECT_EQ(R"({"text":1,"ui":{"changed_language":2}})", JsonOf(*document));
}

TEST(StatsNodeTest, AppendedDictionariesKeepCallOrderAndTheirOwnKeys) {
  auto document = base::MakeRefCounted<StatsDocument>();
  StatsNode root = document->root();
  std::unique_ptr<StatsNode> first = root.AppendDictionary("fetches");
  std::unique_ptr<StatsNode> second = root.AppendDictionary("fetches");
  second->SetInteger("try_number", 2);
  first->SetInteger("try_number", 1);
  std::unique_ptr<StatsNode> chunk = first->AppendDictionary("download_chunks");
  chunk->SetString("headers.Server", "test");
  // A list below a dotted key, and a copy of a node writing where it does.
  std::unique_ptr<StatsNode> page = root.AppendDictionary("ui.page_sequence");
  StatsNode copy = *page;
  copy.SetString("page_type", "welcome");
  EXPECT_EQ(R"({"fetches":[{"download_chunks":[{"headers":{"Server":"test"}}],)"
            R"("try_number":1},{"try_number":2}],)"
            R"("ui":{"page_sequence":[{"page_type":"welcome"}]}})",
            JsonOf(*document));
}

TEST(StatsNodeTest, NodesOfRemovedOrReplacedDictionariesWriteNothing) {
  auto document = base::MakeRefCounted<StatsDocument>();
  StatsNode root = document->root();
  std::unique_ptr<StatsNode> fetch = root.AppendDictionary("fetches");
  std::unique_ptr<StatsNode> chunk = fetch->AppendDictionary("chunks");

  struct Case {
    const char* name;
    void (*change)(StatsNode* root);
  } cases[] = {
      {"list removed", [](StatsNode* root) { root->Remove("fetches"); }},
      {"list replaced by a string",
       [](StatsNode* root) { root->SetString("fetches", "gone"); }},
      {"list replaced by a dictionary",
       [](StatsNode* root) { root->SetInteger("fetches.count", 1); }},
  };
  for (const Case& test : cases) {
    SCOPED_TRACE(test.name);
    root.Remove("fetches");
    root.AppendDictionary("fetches")->AppendDictionary("chunks");
    test.change(&root);
    const std::string before = JsonOf(*document);
    chunk->SetInteger("chunk_end", 5);
    chunk->IncrementInteger("counter");
    chunk->SetTimeNow("chunk_end_time");
    fetch->AppendDictionary("more")->SetString("a", "b");
    EXPECT_EQ(before, JsonOf(*document));
  }
}

TEST(StatsNodeTest, NodesKeepTheDocumentAliveAfterItsOwnerLetGo) {
  std::unique_ptr<StatsNode> fetch;
  {
    auto document = base::MakeRefCounted<StatsDocument>();
    fetch = document->root().AppendDictionary("fetches");
  }
  // Under AddressSanitizer a freed document would be reported here.
  fetch->SetString("result", "package_ready");
  fetch->AppendDictionary("download_chunks")->SetInteger("chunk_start", 0);
}

TEST(StatsNodeTest, TimeStampsAreUtcTextAndElapsedMilliseconds) {
  base::Time::Exploded exploded = {};
  exploded.year = 2016;
  exploded.month = 10;
  exploded.day_of_month = 12;
  exploded.hour = 17;
  exploded.minute = 0;
  exploded.second = 1;
  exploded.millisecond = 42;
  base::Time start;
  ASSERT_TRUE(base::Time::FromUTCExploded(exploded, &start));
  g_file_time = static_cast<int64_t>(start.ToFileTimeValue());
  g_ticks = base::TimeTicks::FromInternalValue(1000000);
  base::subtle::ScopedTimeClockOverrides clocks(&FakeFileTime, &FakeTicks);

  auto document = base::MakeRefCounted<StatsDocument>();
  g_ticks += base::TimeDelta::FromMilliseconds(2500);
  StatsNode root = document->root();
  root.SetTimeNow("download_start_time");
  root.SetTime("package_ready_time");
  EXPECT_EQ(R"({"download_start_time":{"elapsed":2500,)"
            R"("time":"2016-10-12 17:00:03.542"},)"
            R"("package_ready_time":"2016-10-12 17:00:03.542"})",
            JsonOf(*document));
}

TEST(StatsNodeTest, TimeTextPadsEveryField) {
  EXPECT_EQ("2016-10-12 17:00:01.042",
            FormatStatsTime(2016, 10, 12, 17, 0, 1, 42));
  EXPECT_EQ("2001-01-02 03:04:05.006", FormatStatsTime(2001, 1, 2, 3, 4, 5, 6));
  EXPECT_EQ("12345-12-31 23:59:59.999",
            FormatStatsTime(12345, 12, 31, 23, 59, 59, 999));
}

TEST(StatsDocumentTest, BaseFieldsDescribeTheRun) {
  auto document = base::MakeRefCounted<StatsDocument>();
  StatsDocument::OsVersion os;
  os.major = 10;
  os.minor = 0;
  os.build = 19045;
  os.service_pack_major = 1;
  os.service_pack_minor = 2;
  document->AddBaseFields(os, "--silent --installfolder=\"C:\\Velna\"");
  std::unique_ptr<base::DictionaryValue> tree = document->CreateSnapshot();

  std::string text;
  int number = -1;
  EXPECT_TRUE(tree->GetString("installer_start_time.time", &text));
  EXPECT_TRUE(tree->GetInteger("installer_start_time.elapsed", &number));
  EXPECT_TRUE(tree->GetString("installation_start_time", &text));
  EXPECT_EQ(23u, text.size());
  EXPECT_TRUE(tree->GetString("version", &text));
  EXPECT_EQ(VersionInfo::GetProductVersion(), text);
  EXPECT_TRUE(tree->GetString("stream", &text));
  EXPECT_EQ(VersionInfo::GetStream(), text);
  EXPECT_TRUE(tree->GetString("product", &text));
  EXPECT_EQ(BrandingConfig::GetProductName(), text);
  EXPECT_TRUE(tree->GetString("os.name", &text));
  EXPECT_EQ("windows", text);
  const struct {
    const char* key;
    int value;
  } numbers[] = {{"os.version.major", 10},
                 {"os.version.minor", 0},
                 {"os.version.build", 19045},
                 {"os.service_pack.major", 1},
                 {"os.service_pack.minor", 2}};
  for (const auto& expected : numbers) {
    EXPECT_TRUE(tree->GetInteger(expected.key, &number)) << expected.key;
    EXPECT_EQ(expected.value, number) << expected.key;
  }
  EXPECT_TRUE(tree->GetString("command_line_args", &text));
  EXPECT_EQ("--silent --installfolder=\"C:\\Velna\"", text);
}

TEST(StatsDocumentTest, DownloadSummaryCountsChunksAndJoinsAddresses) {
  auto document = base::MakeRefCounted<StatsDocument>();
  StatsNode root = document->root();
  // Without any fetch there is no summary at all.
  document->AddDownloadSummary();
  EXPECT_EQ("{}", JsonOf(*document));

  std::unique_ptr<StatsNode> first = root.AppendDictionary("fetches");
  first->AppendDictionary("download_chunks")->SetString("ip", "10.0.0.1");
  first->AppendDictionary("download_chunks");  // reused connection: no ip
  root.AppendDictionary("fetches");            // a fetch without download
  std::unique_ptr<StatsNode> third = root.AppendDictionary("fetches");
  third->AppendDictionary("download_chunks")->SetString("ip", "10.0.0.2");
  third->AppendDictionary("download_chunks")->SetInteger("ip", 3);
  third->AppendDictionary("download_chunks")->SetString("ip", "10.0.0.1");
  document->AddDownloadSummary();

  std::unique_ptr<base::DictionaryValue> tree = document->CreateSnapshot();
  int retries = 0;
  std::string addresses;
  EXPECT_TRUE(tree->GetInteger("wininet_retries", &retries));
  EXPECT_EQ(5, retries);
  EXPECT_TRUE(tree->GetString("download_ips", &addresses));
  EXPECT_EQ("10.0.0.1; 10.0.0.2; 10.0.0.1", addresses);
}

TEST(StatsDocumentTest, FetchesWithoutChunksGiveAnEmptySummary) {
  auto document = base::MakeRefCounted<StatsDocument>();
  document->root().AppendDictionary("fetches");
  document->AddDownloadSummary();
  EXPECT_EQ(R"({"download_ips":"","fetches":[{}],"wininet_retries":0})",
            JsonOf(*document));
}

// Writers on several threads (as the UI, the fetcher worker and WinINet's
// callback threads are) while another thread keeps serialising; run under
// ThreadSanitizer in the sanitizer build.
TEST(StatsDocumentTest, ConcurrentWritersAndSerialiser) {
  constexpr int kWriters = 4;
  constexpr int kFetchesPerWriter = 50;
  constexpr int kChunksPerFetch = 4;
  auto document = base::MakeRefCounted<StatsDocument>();
  StatsNode root = document->root();

  std::vector<std::thread> writers;
  for (int w = 0; w < kWriters; ++w) {
    writers.emplace_back([root, w]() mutable {
      for (int f = 0; f < kFetchesPerWriter; ++f) {
        std::unique_ptr<StatsNode> fetch = root.AppendDictionary("fetches");
        fetch->SetInteger("writer", w);
        fetch->SetTimeNow("start_time");
        for (int c = 0; c < kChunksPerFetch; ++c) {
          std::unique_ptr<StatsNode> chunk =
              fetch->AppendDictionary("download_chunks");
          chunk->SetString("ip", "127.0.0.1");
          chunk->IncrementInteger("events");
        }
        StatsNode copy = root;
        copy.IncrementInteger("total_fetches");
      }
    });
  }
  std::thread serialiser([document] {
    for (int i = 0; i < 200; ++i) {
      std::string json;
      EXPECT_TRUE(document->WriteJson(&json));
      EXPECT_FALSE(json.empty());
    }
  });
  for (std::thread& writer : writers) writer.join();
  serialiser.join();

  document->AddDownloadSummary();
  std::unique_ptr<base::DictionaryValue> tree = document->CreateSnapshot();
  int number = 0;
  EXPECT_TRUE(tree->GetInteger("total_fetches", &number));
  EXPECT_EQ(kWriters * kFetchesPerWriter, number);
  EXPECT_TRUE(tree->GetInteger("wininet_retries", &number));
  EXPECT_EQ(kWriters * kFetchesPerWriter * kChunksPerFetch, number);
  const base::ListValue* fetches = nullptr;
  ASSERT_TRUE(tree->GetList("fetches", &fetches));
  ASSERT_EQ(static_cast<size_t>(kWriters * kFetchesPerWriter),
            fetches->GetSize());
  for (const auto& fetch : *fetches) {
    const base::DictionaryValue* dictionary = nullptr;
    const base::ListValue* chunks = nullptr;
    ASSERT_TRUE(fetch->GetAsDictionary(&dictionary));
    ASSERT_TRUE(dictionary->GetList("download_chunks", &chunks));
    EXPECT_EQ(static_cast<size_t>(kChunksPerFetch), chunks->GetSize());
  }
}

}  // namespace
}  // namespace installer
