#include "desktop/windows/crash_reporter/counter_file_win.h"

#include <string>

#include "base/files/file_util.h"
#include "base/test/scoped_temp_dir.h"
#include "desktop/windows/crash_reporter/counter_file_writer.h"
#include "gtest/gtest.h"

namespace crash_reporter {

namespace {

// Writes only the first half of what it is given.
int WriteHalf(base::File* file, int64_t offset, const char* data, int size) {
  return size > 1 ? file->Write(offset, data, size / 2) : 0;
}

class CounterFileTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(temp_.CreateUniqueTempDir());
    path_ = temp_.GetPath().Append(u"crash_counters.json");
  }
  std::string Contents() {
    std::string text;
    if (!base::FileUtil::ReadFileToString(path_, &text)) return "<none>";
    return text;
  }
  void Write(const std::string& text) {
    ASSERT_EQ(static_cast<int>(text.size()),
              base::WriteBufferToFile(path_, text.data(),
                                      static_cast<int>(text.size())));
  }

  base::ScopedTempDir temp_;
  base::FilePath path_;
};

TEST_F(CounterFileTest, MergesIntoTheFile) {
  EXPECT_TRUE(WriteCounterFile(path_, {{"installer", 1}}));
  EXPECT_EQ(R"({"installer":1})", Contents());
  EXPECT_TRUE(
      WriteCounterFile(path_, {{"installer", 2}, {"crash_reporter", 1}}));
  EXPECT_EQ(R"({"crash_reporter":1,"installer":3})", Contents());

  // A longer file is cut to the new text.
  Write(R"({"installer":1,"note":"a long text that is dropped"})");
  EXPECT_TRUE(WriteCounterFile(path_, {{"installer", 1}}));
  EXPECT_EQ(R"({"installer":2})", Contents());
}

TEST_F(CounterFileTest, AFileWithoutAnObjectIsNeverOverwritten) {
  for (const std::string text : {"", "[1]", "{\"installer\":"}) {
    Write(text);
    EXPECT_FALSE(WriteCounterFile(path_, {{"installer", 1}}));
    EXPECT_EQ(text, Contents());
  }
}

TEST_F(CounterFileTest, AShortWriteKeepsTheEarlierText) {
  Write(R"({"installer":4})");
  EXPECT_FALSE(WriteCounterFileWith(path_, {{"installer", 1}}, &WriteHalf));
  EXPECT_EQ(R"({"installer":4})", Contents());
  // The file still merges afterwards.
  EXPECT_TRUE(WriteCounterFile(path_, {{"installer", 1}}));
  EXPECT_EQ(R"({"installer":5})", Contents());

  // A file made by the failed call is removed.
  ASSERT_TRUE(base::DeleteFileOrDirectory(path_, false));
  EXPECT_FALSE(WriteCounterFileWith(path_, {{"installer", 1}}, &WriteHalf));
  EXPECT_FALSE(base::PathExists(path_));
}

TEST_F(CounterFileTest, AFileInUseFails) {
  Write(R"({"installer":4})");
  base::File holder(path_, base::File::FLAG_OPEN | base::File::FLAG_READ |
                               base::File::FLAG_EXCLUSIVE_READ |
                               base::File::FLAG_EXCLUSIVE_WRITE);
  ASSERT_TRUE(holder.IsValid());
  EXPECT_FALSE(WriteCounterFile(path_, {{"installer", 1}}));
  holder.Close();
  EXPECT_EQ(R"({"installer":4})", Contents());
}

TEST_F(CounterFileTest, TheWriterCountsIntoTheFile) {
  Write(R"({"installer":1,"other":"x"})");
  {
    CounterFileWriter writer(path_, &WriteCounterFile);
    writer.Add("installer", 1, /*wake=*/true);
    writer.Add("crash_reporter", 1, /*wake=*/true);
    writer.Add("installer", 1, /*wake=*/false);
  }
  EXPECT_EQ(R"({"crash_reporter":1,"installer":3})", Contents());
}

}  // namespace

}  // namespace crash_reporter
