#include <string>

#include "base/files/file_util.h"
#include "base/test/scoped_temp_dir.h"
#include "desktop/windows/installer/package_fetcher/payload_reader.h"
#include "desktop/windows/installer/package_fetcher/test/package_test_material.h"
#include "desktop/windows/installer/package_fetcher/test/pe_test_image.h"
#include "gtest/gtest.h"

namespace installer {
namespace {

class PayloadReaderTest : public testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(temp_.CreateUniqueTempDir()); }

  std::string WrittenPayload(const PayloadReader& reader) {
    const base::FilePath out = temp_.GetPath().AppendASCII("payload");
    base::DeleteFileOrDirectory(out, false);
    if (!reader.WritePayload(out)) return "<not written>";
    std::string data;
    EXPECT_TRUE(base::FileUtil::ReadFileToString(out, &data));
    return data;
  }

  base::ScopedTempDir temp_;
};

TEST_F(PayloadReaderTest, ExecutablesWithPayloads) {
  const std::string tracking = test::MaterialString("payload.tracking");
  const struct {
    const char* exe;
    bool found;
    bool full_package;
    bool corrupt;
  } cases[] = {
      {"full_unsigned", true, true, false},
      {"full_signed", true, true, false},
      {"tracking_unsigned", true, false, false},
      {"tracking_after_signature", true, false, false},
      {"archive_after_signature", false, false, true},
      {"no_payload", false, false, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.exe);
    PayloadReader reader(test::MaterialPath(
        test::MaterialString(std::string("payload.") + c.exe)));
    EXPECT_EQ("", reader.GetTrackingData());
    EXPECT_EQ(c.found, reader.Read());
    // A corrupt file counts as read.
    EXPECT_EQ(c.found || c.corrupt, reader.Read());
    EXPECT_EQ(c.corrupt, reader.IsCorrupt());
    EXPECT_EQ(c.full_package, reader.IsFullPackage());
    if (!c.found) {
      EXPECT_EQ("", reader.GetTrackingData());
      EXPECT_EQ("<not written>", WrittenPayload(reader));
    } else if (c.full_package) {
      EXPECT_EQ(test::MaterialString("payload.archive_sha256"),
                test::Sha256Hex(WrittenPayload(reader)));
    } else {
      EXPECT_EQ(tracking, reader.GetTrackingData());
      EXPECT_EQ(tracking, WrittenPayload(reader));
    }
  }
}

TEST_F(PayloadReaderTest, TrackingDataOverride) {
  PayloadReader with_payload(
      test::MaterialPath(test::MaterialString("payload.tracking_unsigned")));
  ASSERT_TRUE(with_payload.Read());
  with_payload.SetTrackingData("from the command line");
  EXPECT_EQ("from the command line", with_payload.GetTrackingData());
  EXPECT_EQ("from the command line", WrittenPayload(with_payload));

  PayloadReader without(
      test::MaterialPath(test::MaterialString("payload.no_payload")));
  EXPECT_FALSE(without.Read());
  without.SetTrackingData("given");
  EXPECT_TRUE(without.Read());
  EXPECT_FALSE(without.IsFullPackage());
  EXPECT_EQ("given", without.GetTrackingData());
}

// Real executables made by the linker and the signing tool: the image ends
// where the sections (and any symbol table) end, so a copy cut short or
// with bytes appended is damaged, while the bare executable is a net
// installer without tracking data.
TEST_F(PayloadReaderTest, DamagedCopiesOfRealExecutables) {
  for (const char* exe : {"full_unsigned", "full_signed"}) {
    std::string bytes;
    ASSERT_TRUE(base::FileUtil::ReadFileToString(
        test::MaterialPath(test::MaterialString(std::string("payload.") + exe)),
        &bytes));
    const struct {
      const char* name;
      std::string file;
    } cases[] = {
        {"cut in half", bytes.substr(0, bytes.size() / 2)},
        {"cut by 1000 bytes", bytes.substr(0, bytes.size() - 1000)},
        {"7 bytes appended", bytes + "0123456"},
        {"100 kB appended", bytes + std::string(100 * 1024, '\x5A')},
    };
    for (const auto& c : cases) {
      SCOPED_TRACE(std::string(exe) + ", " + c.name);
      const base::FilePath path = temp_.GetPath().AppendASCII("damaged.exe");
      ASSERT_EQ(static_cast<int>(c.file.size()),
                base::WriteBufferToFile(path, c.file.data(),
                                        static_cast<int>(c.file.size())));
      PayloadReader reader(path);
      EXPECT_FALSE(reader.Read());
      EXPECT_TRUE(reader.IsCorrupt());
    }
  }
  PayloadReader bare(
      test::MaterialPath(test::MaterialString("payload.no_payload")));
  EXPECT_FALSE(bare.Read());
  EXPECT_FALSE(bare.IsCorrupt());
}

TEST_F(PayloadReaderTest, CorruptAndMissingFiles) {
  std::string image = test::MakePeImage();
  test::SetSecurityDirectory(&image, static_cast<uint32_t>(image.size() + 8),
                             16);
  image += test::Trailer("tracking");
  const base::FilePath corrupt = temp_.GetPath().AppendASCII("corrupt.exe");
  ASSERT_EQ(static_cast<int>(image.size()),
            base::WriteBufferToFile(corrupt, image.data(),
                                    static_cast<int>(image.size())));
  PayloadReader reader(corrupt);
  EXPECT_FALSE(reader.Read());
  EXPECT_TRUE(reader.IsCorrupt());
  EXPECT_TRUE(reader.Read());  // read, and corrupt
  EXPECT_EQ("", reader.GetTrackingData());
  EXPECT_EQ("<not written>", WrittenPayload(reader));

  PayloadReader missing(temp_.GetPath().AppendASCII("missing.exe"));
  EXPECT_FALSE(missing.Read());
  EXPECT_FALSE(missing.IsCorrupt());
}

}  // namespace
}  // namespace installer
