#include "desktop/windows/crash_reporter/module_info_impl.h"

#include <string.h>

#include <string>
#include <vector>

#include "desktop/windows/crash_reporter/pe_image_reader.h"
#include "desktop/windows/crash_reporter/test/pe_image_builder.h"
#include "gtest/gtest.h"

namespace crash_reporter {

namespace {

using L = PeImageLayout;

struct ReadResult {
  bool headers;
  std::string name;
  std::string version;
  uint32_t timestamp;
  uint64_t code_end;
};

ReadResult Read(const std::vector<uint8_t>& image,
                const std::u16string& name = u"") {
  ModuleInfoImpl module(name, 0x7FF600000000, 0x4000);
  const bool headers = module.ReadImage(image.data(), image.size());
  EXPECT_EQ(0x7FF600000000u, module.GetBaseAddress());
  EXPECT_EQ(module.GetBaseAddress(), module.GetStartAddress());
  EXPECT_EQ(0x4000u, module.GetSize());
  return {headers, module.GetName(), module.GetVersion(), module.GetTimestamp(),
          module.GetCodeEnd()};
}

void Put32(std::vector<uint8_t>* image, size_t offset, uint32_t value) {
  memcpy(image->data() + offset, &value, sizeof(value));
}

TEST(ModuleInfoImplTest, ReadsAWellFormedImage) {
  PeImageSpec spec;
  spec.export_name = "exported.dll";
  spec.original_filename = u"original.dll";
  const ReadResult result = Read(BuildPeImage(spec));
  EXPECT_TRUE(result.headers);
  EXPECT_EQ("exported.dll", result.name);
  EXPECT_EQ("1.2.3.4", result.version);
  EXPECT_EQ(0x5F00AB12u, result.timestamp);
  EXPECT_EQ(0x1200u, result.code_end);
}

TEST(ModuleInfoImplTest, WhereTheNameComesFrom) {
  struct {
    const char* name;
    std::u16string given;
    std::string export_name;
    std::u16string original;
    std::string expected;
  } cases[] = {
      {"the given name wins", u"given.exe", "exported.dll", u"original.dll",
       "given.exe"},
      {"then the export directory", u"", "exported.dll", u"original.dll",
       "exported.dll"},
      {"then the original file name", u"", "", u"original.dll", "original.dll"},
      {"else nothing", u"", "", u"", ""},
      {"non-ASCII names become UTF-8", u"\u00e9t\u00e9.dll", "", u"",
       "\xc3\xa9t\xc3\xa9.dll"},
      {"unprintable export names are masked", u"", "a\x01\x80z", u"", "a??z"},
  };
  for (const auto& test : cases) {
    SCOPED_TRACE(test.name);
    PeImageSpec spec;
    spec.export_name = test.export_name;
    spec.original_filename = test.original;
    EXPECT_EQ(test.expected, Read(BuildPeImage(spec), test.given).name);
  }
}

TEST(ModuleInfoImplTest, LongTextIsCut) {
  PeImageSpec spec;
  spec.file_version = std::u16string(200, u'9');
  spec.original_filename = u"x\u4e2d" + std::u16string(200, u'o');
  const ReadResult result = Read(BuildPeImage(spec));
  EXPECT_EQ(std::string(127, '9'), result.version);
  EXPECT_EQ("x?" + std::string(125, 'o'), result.name);

  // A given name is cut at 127 bytes, never inside a character.
  const std::u16string long_name = std::u16string(126, u'a') + u"\u00e9";
  EXPECT_EQ(std::string(126, 'a'), Read(BuildPeImage(spec), long_name).name);
}

TEST(ModuleInfoImplTest, MissingPiecesLeaveFieldsEmpty) {
  PeImageSpec no_resources;
  no_resources.has_resources = false;
  PeImageSpec no_version;
  no_version.has_version = false;
  PeImageSpec no_file_version;
  no_file_version.file_version.clear();
  for (const PeImageSpec& spec : {no_resources, no_version, no_file_version}) {
    const ReadResult result = Read(BuildPeImage(spec));
    EXPECT_TRUE(result.headers);
    EXPECT_EQ("", result.version);
    EXPECT_EQ("", result.name);
    EXPECT_EQ(0x5F00AB12u, result.timestamp);
  }
}

TEST(ModuleInfoImplTest, DamagedOffsetsAreCheckedAgainstTheFile) {
  PeImageSpec spec;
  spec.export_name = "exported.dll";
  spec.original_filename = u"original.dll";
  const std::vector<uint8_t> good = BuildPeImage(spec);
  struct {
    const char* name;
    size_t offset;
    uint32_t value;
    bool headers;
    const char* expected_name;
    const char* expected_version;
    size_t second_offset = 0;  // 0: one change only
    uint32_t second_value = 0;
  } cases[] = {
      {"e_lfanew past the end", L::kNewHeaderField, 0x7FFFFFF0, false, "", ""},
      {"e_lfanew at the last bytes", L::kNewHeaderField,
       static_cast<uint32_t>(good.size() - 2), false, "", ""},
      {"e_lfanew negative", L::kNewHeaderField, 0xFFFFFFFC, false, "", ""},
      {"sections far away", L::kNewHeader + 4 + 16, 0xFFFF, true, "", ""},
      {"export section raw data past the end", L::kSectionTable + 40 + 20,
       0xFFFFFF00, true, "original.dll", "1.2.3.4"},
      {"export name outside every section", L::kExportDirectory + 12,
       0x90000000, true, "original.dll", "1.2.3.4"},
      {"resource section raw data past the end", L::kSectionTable + 80 + 20,
       0xFFFFFF00, true, "exported.dll", ""},
      {"type subdirectory past the end", L::kResources + 20, 0x8FFFFFF0, true,
       "exported.dll", ""},
      {"type entry not a directory", L::kResources + 20, 0x18, true,
       "exported.dll", ""},
      {"no version type", L::kResources + 16, 3, true, "exported.dll", ""},
      {"entry count past the end", L::kResources + 12, 0xFFFF0000, true,
       "exported.dll", "", L::kResources + 16, 3},
      {"version data longer than the file", L::kVersionDataEntry + 4,
       0x7FFFFFFF, true, "exported.dll", ""},
      {"version data RVA outside", L::kVersionDataEntry, 0x10, true,
       "exported.dll", ""},
  };
  for (const auto& test : cases) {
    SCOPED_TRACE(test.name);
    std::vector<uint8_t> image = good;
    Put32(&image, test.offset, test.value);
    if (test.second_offset)
      Put32(&image, test.second_offset, test.second_value);
    const ReadResult result = Read(image);
    EXPECT_EQ(test.headers, result.headers);
    EXPECT_EQ(test.expected_name, result.name);
    EXPECT_EQ(test.expected_version, result.version);
  }
}

TEST(ModuleInfoImplTest, EveryTruncationIsSafe) {
  PeImageSpec spec;
  spec.export_name = "exported.dll";
  spec.original_filename = u"original.dll";
  const std::vector<uint8_t> image = BuildPeImage(spec);
  for (size_t size = 0; size <= image.size(); ++size) {
    // A copy of exactly |size| bytes, so that reading past it is caught.
    const std::vector<uint8_t> cut(image.begin(), image.begin() + size);
    const ReadResult result = Read(cut);
    EXPECT_EQ(size >= L::kNewHeader + 22, result.headers) << size;
    if (size < image.size()) {
      EXPECT_EQ("", result.version) << size;
    }
  }
  EXPECT_EQ("1.2.3.4", Read(image).version);
}

TEST(FindVersionStringTest, SearchesTheTextIgnoringCase) {
  auto text = [](const std::u16string& s) {
    std::vector<uint8_t> bytes;
    for (char16_t c : s) {
      bytes.push_back(static_cast<uint8_t>(c));
      bytes.push_back(static_cast<uint8_t>(c >> 8));
    }
    return bytes;
  };
  struct {
    std::u16string data;
    bool found;
    std::string value;
  } cases[] = {
      {std::u16string(u"fileversion\0\0002.0", 16), true, "2.0"},
      {std::u16string(u"FileVersion\0\0", 13), true, ""},
      {u"FileVersio", false, ""},
      // Only ASCII units match: U+0146 has the low byte of 'F'.
      {std::u16string(u"\u0146ileVersion\0001", 13), false, ""},
      {std::u16string(u"FileVersion\0a\tb\u00e9", 16), true, "a?b?"},
  };
  for (const auto& test : cases) {
    const std::vector<uint8_t> bytes = text(test.data);
    std::string value = "unchanged";
    EXPECT_EQ(test.found, FindVersionString(bytes.data(), bytes.size(),
                                            "FILEVERSION", &value));
    if (test.found) {
      EXPECT_EQ(test.value, value);
    }
  }
  std::string value;
  EXPECT_FALSE(FindVersionString(nullptr, 0, "FILEVERSION", &value));
  // An odd byte at the end is not half a character.
  const std::vector<uint8_t> odd = {'F', 0, 'I', 0, 'L'};
  EXPECT_FALSE(FindVersionString(odd.data(), odd.size(), "FIL", &value));
}

}  // namespace

}  // namespace crash_reporter
