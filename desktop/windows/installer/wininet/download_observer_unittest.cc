#include "desktop/windows/installer/wininet/download_observer.h"

#include <memory>
#include <string>

#include "base/values.h"
#include "desktop/windows/installer/common/stats_document.h"
#include "gtest/gtest.h"

namespace installer {
namespace {

int IntAt(const base::DictionaryValue& dictionary, const char* key) {
  int value = -1;
  EXPECT_TRUE(dictionary.GetInteger(key, &value)) << key;
  return value;
}

std::string StringAt(const base::DictionaryValue& dictionary, const char* key) {
  std::string value;
  EXPECT_TRUE(dictionary.GetString(key, &value)) << key;
  return value;
}

// The events of a transfer that was cut once and resumed, as the downloader
// raises them.
TEST(DownloadStatsRecorderTest, RecordsOneChunkPerRequestInOrder) {
  auto document = base::MakeRefCounted<StatsDocument>();
  std::unique_ptr<StatsNode> fetch =
      document->root().AppendDictionary("fetches");
  DownloadStatsRecorder recorder(*fetch, "download_chunks");

  recorder.OnChunkStart(0);
  recorder.OnServerAddress("127.0.0.1");
  recorder.OnWinInetError(0);
  recorder.OnHttpStatus(200);
  recorder.OnHeader(u"Date", u"Tue, 01 Oct 2024 10:00:00 GMT");
  recorder.OnHeader(u"X-Served-By", u"");  // absent: recorded empty
  recorder.OnChunkEnd(1000);
  recorder.OnChunkStart(1000);
  recorder.OnRetry(0);
  recorder.OnServerAddress("10.1.2.3");
  recorder.OnRedirect(u"http://mirror.velna.com/package.exe");
  recorder.OnHttpStatus(206);
  recorder.OnChunkEnd(5000);
  recorder.OnChunkEnd(5000);  // the transfer closes

  std::unique_ptr<base::DictionaryValue> tree = document->CreateSnapshot();
  const base::ListValue* chunks = nullptr;
  const base::DictionaryValue* fetch_record = nullptr;
  const base::ListValue* fetches = nullptr;
  ASSERT_TRUE(tree->GetList("fetches", &fetches));
  ASSERT_TRUE(fetches->GetDictionary(0, &fetch_record));
  ASSERT_TRUE(fetch_record->GetList("download_chunks", &chunks));
  ASSERT_EQ(2u, chunks->GetSize());

  const base::DictionaryValue* first = nullptr;
  ASSERT_TRUE(chunks->GetDictionary(0, &first));
  EXPECT_EQ(0, IntAt(*first, "chunk_number"));
  EXPECT_EQ(0, IntAt(*first, "chunk_start"));
  EXPECT_EQ(1000, IntAt(*first, "chunk_end"));
  EXPECT_EQ("127.0.0.1", StringAt(*first, "ip"));
  EXPECT_EQ(0, IntAt(*first, "wininet_error"));
  EXPECT_EQ(200, IntAt(*first, "http_status"));
  EXPECT_EQ("Tue, 01 Oct 2024 10:00:00 GMT", StringAt(*first, "headers.Date"));
  EXPECT_EQ("", StringAt(*first, "headers.X-Served-By"));
  EXPECT_TRUE(first->GetString("chunk_start_time.time",
                               static_cast<std::string*>(nullptr)));
  EXPECT_TRUE(first->GetInteger("chunk_end_time.elapsed", nullptr));
  EXPECT_FALSE(first->HasKey("retry_count"));

  const base::DictionaryValue* second = nullptr;
  ASSERT_TRUE(chunks->GetDictionary(1, &second));
  EXPECT_EQ(1, IntAt(*second, "chunk_number"));
  EXPECT_EQ(1000, IntAt(*second, "chunk_start"));
  EXPECT_EQ(5000, IntAt(*second, "chunk_end"));
  EXPECT_EQ(0, IntAt(*second, "retry_count"));
  EXPECT_EQ("10.1.2.3", StringAt(*second, "ip"));
  EXPECT_EQ("http://mirror.velna.com/package.exe",
            StringAt(*second, "redirected_url"));
  EXPECT_EQ(206, IntAt(*second, "http_status"));

  // Two ends of one chunk raised the counter twice: the next record gets
  // the next number after both.
  recorder.OnChunkStart(0);
  tree = document->CreateSnapshot();
  ASSERT_TRUE(tree->GetList("fetches", &fetches));
  ASSERT_TRUE(fetches->GetDictionary(0, &fetch_record));
  ASSERT_TRUE(fetch_record->GetList("download_chunks", &chunks));
  const base::DictionaryValue* third = nullptr;
  ASSERT_TRUE(chunks->GetDictionary(2, &third));
  EXPECT_EQ(3, IntAt(*third, "chunk_number"));
}

TEST(DownloadStatsRecorderTest, EventsBeforeTheFirstChunkAreDropped) {
  auto document = base::MakeRefCounted<StatsDocument>();
  DownloadStatsRecorder recorder(document->root(), "download_chunks");
  recorder.OnServerAddress("127.0.0.1");
  recorder.OnHttpStatus(200);
  recorder.OnChunkEnd(10);
  std::string json;
  ASSERT_TRUE(document->WriteJson(&json));
  EXPECT_EQ("{}", json);
}

TEST(DownloadResultRecorderTest, KeepsTheLastResultUnderItsPrefix) {
  auto document = base::MakeRefCounted<StatsDocument>();
  DownloadResultRecorder recorder(document->root(), "fetch_download_url_");
  recorder.OnChunkStart(0);
  recorder.OnServerAddress("127.0.0.1");
  recorder.OnWinInetError(12029);
  recorder.OnHttpStatus(503);
  recorder.OnWinInetError(0);
  recorder.OnHttpStatus(200);
  recorder.OnChunkEnd(10);
  std::string json;
  ASSERT_TRUE(document->WriteJson(&json));
  EXPECT_EQ(R"({"fetch_download_url_http_status":200,)"
            R"("fetch_download_url_wininet_error":0})",
            json);
}

}  // namespace
}  // namespace installer
