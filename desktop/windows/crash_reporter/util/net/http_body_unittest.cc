#include "desktop/windows/crash_reporter/util/net/http_body.h"

#include <zlib.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "base/files/file_util.h"
#include "base/rand_util.h"
#include "base/test/scoped_temp_dir.h"
#include "gtest/gtest.h"

namespace crash_reporter {
namespace {

// Reads |stream| to its end in pieces of |piece| bytes; false on an error.
bool ReadAll(HTTPBodyStream* stream, size_t piece, std::string* out) {
  std::vector<uint8_t> buffer(piece);
  for (;;) {
    const int64_t count = stream->GetBytesBuffer(buffer.data(), piece);
    if (count < 0) return false;
    if (count == 0) return true;
    EXPECT_LE(static_cast<uint64_t>(count), piece);
    out->append(reinterpret_cast<const char*>(buffer.data()),
                static_cast<size_t>(count));
  }
}

// A part that counts its calls and answers from a script.
class ScriptedStream : public HTTPBodyStream {
 public:
  ScriptedStream(std::vector<int64_t> answers, int* calls)
      : answers_(std::move(answers)), calls_(calls) {}
  int64_t GetBytesBuffer(uint8_t* buffer, uint64_t max_len) override {
    ++*calls_;
    const int64_t answer = answers_[next_ < answers_.size() ? next_++ : 0];
    for (int64_t i = 0; i < answer && static_cast<uint64_t>(i) < max_len; ++i)
      buffer[i] = 'x';
    return answer;
  }

 private:
  std::vector<int64_t> answers_;
  size_t next_ = 0;
  int* calls_;
};

std::string Inflate(const std::string& gzip, int* result) {
  z_stream stream = {};
  EXPECT_EQ(Z_OK, inflateInit2(&stream, 15 + 16));
  std::string out;
  stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(gzip.data()));
  stream.avail_in = static_cast<uInt>(gzip.size());
  char buffer[65536];
  do {
    stream.next_out = reinterpret_cast<Bytef*>(buffer);
    stream.avail_out = sizeof(buffer);
    *result = inflate(&stream, Z_NO_FLUSH);
    out.append(buffer, sizeof(buffer) - stream.avail_out);
  } while (*result == Z_OK);
  // Nothing may follow the member.
  EXPECT_EQ(0u, stream.avail_in);
  inflateEnd(&stream);
  return out;
}

TEST(HTTPBodyTest, StringStreamHandsOutItsBytesInOrder) {
  StringHTTPBodyStream stream("abcdefg");
  std::string out;
  ASSERT_TRUE(ReadAll(&stream, 3, &out));
  EXPECT_EQ("abcdefg", out);
  uint8_t byte;
  EXPECT_EQ(0, stream.GetBytesBuffer(&byte, 1));
}

TEST(HTTPBodyTest, FileStreamReadsTheWholeFile) {
  base::ScopedTempDir dir;
  ASSERT_TRUE(dir.CreateUniqueTempDir());
  const base::FilePath path = dir.GetPath().AppendASCII("data.bin");
  std::string data(70000, '\0');
  base::RandBytes(&data[0], data.size());
  ASSERT_EQ(static_cast<int>(data.size()),
            base::WriteBufferToFile(path, data.data(),
                                    static_cast<int>(data.size())));
  FileReaderHTTPBodyStream stream(path);
  std::string out;
  ASSERT_TRUE(ReadAll(&stream, 4096, &out));
  EXPECT_EQ(data, out);
  uint8_t byte;
  EXPECT_EQ(0, stream.GetBytesBuffer(&byte, 1));
}

TEST(HTTPBodyTest, MissingFileFailsNowAndLater) {
  base::ScopedTempDir dir;
  ASSERT_TRUE(dir.CreateUniqueTempDir());
  FileReaderHTTPBodyStream stream(dir.GetPath().AppendASCII("missing"));
  uint8_t buffer[16];
  EXPECT_EQ(-1, stream.GetBytesBuffer(buffer, sizeof(buffer)));
  EXPECT_EQ(-1, stream.GetBytesBuffer(buffer, sizeof(buffer)));
}

TEST(HTTPBodyTest, CompositeWithNoCapacityLeavesItsPartsAlone) {
  int calls = 0;
  std::vector<std::unique_ptr<HTTPBodyStream>> parts;
  parts.push_back(
      std::make_unique<ScriptedStream>(std::vector<int64_t>{1, 0}, &calls));
  CompositeHTTPBodyStream stream(std::move(parts));
  uint8_t buffer[4];
  EXPECT_EQ(0, stream.GetBytesBuffer(buffer, 0));
  EXPECT_EQ(0, calls);
}

TEST(HTTPBodyTest, CompositeFillsAcrossPartsAndPassesErrorsOn) {
  std::vector<std::unique_ptr<HTTPBodyStream>> parts;
  parts.push_back(std::make_unique<StringHTTPBodyStream>("ab"));
  parts.push_back(std::make_unique<StringHTTPBodyStream>(""));
  parts.push_back(std::make_unique<StringHTTPBodyStream>("cde"));
  CompositeHTTPBodyStream stream(std::move(parts));
  uint8_t buffer[4];
  ASSERT_EQ(4, stream.GetBytesBuffer(buffer, sizeof(buffer)));
  EXPECT_EQ("abcd", std::string(reinterpret_cast<char*>(buffer), 4));
  ASSERT_EQ(1, stream.GetBytesBuffer(buffer, sizeof(buffer)));
  EXPECT_EQ('e', buffer[0]);
  EXPECT_EQ(0, stream.GetBytesBuffer(buffer, sizeof(buffer)));

  int calls = 0;
  std::vector<std::unique_ptr<HTTPBodyStream>> failing;
  failing.push_back(std::make_unique<StringHTTPBodyStream>("ab"));
  failing.push_back(
      std::make_unique<ScriptedStream>(std::vector<int64_t>{-5}, &calls));
  CompositeHTTPBodyStream broken(std::move(failing));
  EXPECT_EQ(-5, broken.GetBytesBuffer(buffer, sizeof(buffer)));
}

TEST(HTTPBodyTest, GzipOfAnEmptySourceIsACompleteMember) {
  GzipBodyStream stream(std::make_unique<StringHTTPBodyStream>(""));
  ASSERT_TRUE(stream.Init());
  std::string gzip;
  ASSERT_TRUE(ReadAll(&stream, 1024, &gzip));
  ASSERT_GE(gzip.size(), 18u);  // header, empty block, CRC and length
  EXPECT_EQ('\x1f', gzip[0]);
  EXPECT_EQ('\x8b', gzip[1]);
  int result = Z_OK;
  EXPECT_EQ("", Inflate(gzip, &result));
  EXPECT_EQ(Z_STREAM_END, result);
  uint8_t byte;
  EXPECT_EQ(0, stream.GetBytesBuffer(&byte, 1));
}

TEST(HTTPBodyTest, GzipRoundTripsThroughSmallAndLargeBuffers) {
  std::string data(1 << 20, '\0');
  base::RandBytes(&data[0], data.size());
  for (const size_t piece : {size_t{1}, size_t{16384}}) {
    GzipBodyStream stream(std::make_unique<StringHTTPBodyStream>(data));
    ASSERT_TRUE(stream.Init());
    std::string gzip;
    ASSERT_TRUE(ReadAll(&stream, piece, &gzip)) << piece;
    int result = Z_OK;
    EXPECT_TRUE(Inflate(gzip, &result) == data) << piece;
    EXPECT_EQ(Z_STREAM_END, result);
  }
}

TEST(HTTPBodyTest, GzipPassesASourceErrorOn) {
  int calls = 0;
  GzipBodyStream stream(
      std::make_unique<ScriptedStream>(std::vector<int64_t>{-7}, &calls));
  ASSERT_TRUE(stream.Init());
  uint8_t buffer[64];
  EXPECT_EQ(-7, stream.GetBytesBuffer(buffer, sizeof(buffer)));
}

TEST(HTTPBodyTest, GzipWithoutInitOrCapacityGivesNothing) {
  int calls = 0;
  GzipBodyStream uninitialised(
      std::make_unique<ScriptedStream>(std::vector<int64_t>{1}, &calls));
  uint8_t buffer[64];
  EXPECT_EQ(0, uninitialised.GetBytesBuffer(buffer, sizeof(buffer)));

  GzipBodyStream no_room(
      std::make_unique<ScriptedStream>(std::vector<int64_t>{1}, &calls));
  ASSERT_TRUE(no_room.Init());
  EXPECT_EQ(0, no_room.GetBytesBuffer(buffer, 0));
  EXPECT_EQ(0, calls);
}

}  // namespace
}  // namespace crash_reporter
