// Builds small PE32+ files in memory for the tests of the module readers:
// headers, a code section, an optional export directory naming the module,
// and an optional version resource with "FileVersion" and
// "OriginalFilename" strings.

#ifndef DESKTOP_WINDOWS_CRASH_REPORTER_TEST_PE_IMAGE_BUILDER_H_
#define DESKTOP_WINDOWS_CRASH_REPORTER_TEST_PE_IMAGE_BUILDER_H_

#include <stddef.h>
#include <stdint.h>

#include <string>
#include <vector>

namespace crash_reporter {

struct PeImageSpec {
  uint32_t timestamp = 0x5F00AB12;
  uint32_t base_of_code = 0x1000;
  uint32_t size_of_code = 0x200;
  // Empty: no export directory.
  std::string export_name;
  // Without a version resource the resource directory holds an icon only.
  bool has_resources = true;
  bool has_version = true;
  std::u16string file_version = u"1.2.3.4";
  // Empty: the string is left out.
  std::u16string original_filename;
};

// The file offsets of the pieces that tests damage.
struct PeImageLayout {
  static constexpr size_t kNewHeaderField = 0x3C;
  static constexpr size_t kNewHeader = 0x80;
  static constexpr size_t kSectionTable = 0x188;
  static constexpr size_t kExportDirectory = 0x400;
  static constexpr size_t kResources = 0x600;
  // The data entry of the version resource: its RVA, then its size.
  static constexpr size_t kVersionDataEntry = kResources + 0x48;
  static constexpr size_t kVersionData = kResources + 0x58;
};

std::vector<uint8_t> BuildPeImage(const PeImageSpec& spec);

}  // namespace crash_reporter

#endif  // DESKTOP_WINDOWS_CRASH_REPORTER_TEST_PE_IMAGE_BUILDER_H_
