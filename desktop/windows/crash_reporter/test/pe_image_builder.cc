#include "desktop/windows/crash_reporter/test/pe_image_builder.h"

#include <string.h>

namespace crash_reporter {

namespace {

void Put16(std::vector<uint8_t>* image, size_t offset, uint16_t value) {
  memcpy(image->data() + offset, &value, sizeof(value));
}

void Put32(std::vector<uint8_t>* image, size_t offset, uint32_t value) {
  memcpy(image->data() + offset, &value, sizeof(value));
}

void AppendText(std::vector<uint8_t>* data, const std::u16string& text) {
  for (char16_t c : text) {
    data->push_back(static_cast<uint8_t>(c));
    data->push_back(static_cast<uint8_t>(c >> 8));
  }
  data->push_back(0);
  data->push_back(0);
  while (data->size() % 4) data->push_back(0);
}

// A version block laid out like a real one: length words, a key, padding
// and a value. Only the text matters to the reader.
std::vector<uint8_t> VersionData(const PeImageSpec& spec) {
  std::vector<uint8_t> data(6, 0);
  AppendText(&data, u"VS_VERSION_INFO");
  data.resize(data.size() + 52, 0);  // the fixed file information
  data.insert(data.end(), 6, 0);
  AppendText(&data, u"StringFileInfo");
  data.insert(data.end(), 6, 0);
  AppendText(&data, u"040904b0");
  auto add_string = [&data](const std::u16string& key,
                            const std::u16string& value) {
    data.insert(data.end(), 6, 0);
    AppendText(&data, key);
    AppendText(&data, value);
  };
  add_string(u"CompanyName", u"Velna");
  if (!spec.file_version.empty()) add_string(u"FileVersion", spec.file_version);
  if (!spec.original_filename.empty())
    add_string(u"OriginalFilename", spec.original_filename);
  return data;
}

// A resource directory header with |ids| id entries.
void PutResourceDirectory(std::vector<uint8_t>* image, size_t offset,
                          uint16_t ids) {
  Put16(image, offset + 14, ids);
}

}  // namespace

std::vector<uint8_t> BuildPeImage(const PeImageSpec& spec) {
  using L = PeImageLayout;
  const std::vector<uint8_t> version = VersionData(spec);
  std::vector<uint8_t> image(L::kVersionData + version.size(), 0);

  Put16(&image, 0, 0x5A4D);  // "MZ"
  Put32(&image, L::kNewHeaderField, L::kNewHeader);
  Put32(&image, L::kNewHeader, 0x00004550);  // "PE\0\0"
  const size_t file_header = L::kNewHeader + 4;
  Put16(&image, file_header, 0x8664);  // x64
  Put16(&image, file_header + 2, 3);   // sections
  Put32(&image, file_header + 4, spec.timestamp);
  Put16(&image, file_header + 16, 240);  // optional header size
  const size_t optional = file_header + 20;
  Put16(&image, optional, 0x20B);  // PE32+
  Put32(&image, optional + 4, spec.size_of_code);
  Put32(&image, optional + 20, spec.base_of_code);
  Put32(&image, optional + 108, 16);  // data directories
  const size_t directories = optional + 112;
  if (!spec.export_name.empty()) {
    Put32(&image, directories, 0x2000);
    Put32(&image, directories + 4, 40);
  }
  if (spec.has_resources) {
    Put32(&image, directories + 16, 0x3000);
    Put32(&image, directories + 20,
          static_cast<uint32_t>(image.size() - L::kResources));
  }

  // .text, .rdata (exports) and .rsrc, each raw size = virtual size.
  struct Section {
    uint32_t virtual_address;
    uint32_t raw;
    uint32_t size;
  } sections[] = {{0x1000, 0x200, 0x200},
                  {0x2000, L::kExportDirectory, 0x200},
                  {0x3000, L::kResources,
                   static_cast<uint32_t>(image.size() - L::kResources)}};
  for (size_t i = 0; i < 3; ++i) {
    const size_t header = L::kSectionTable + i * 40;
    Put32(&image, header + 8, sections[i].size);
    Put32(&image, header + 12, sections[i].virtual_address);
    Put32(&image, header + 16, sections[i].size);
    Put32(&image, header + 20, sections[i].raw);
  }

  if (!spec.export_name.empty()) {
    Put32(&image, L::kExportDirectory + 12, 0x2040);
    memcpy(image.data() + L::kExportDirectory + 0x40, spec.export_name.data(),
           spec.export_name.size());
  }

  // type -> name -> language -> data entry.
  const size_t root = L::kResources;
  PutResourceDirectory(&image, root, 1);
  Put32(&image, root + 16, spec.has_version ? 16 : 3);
  Put32(&image, root + 20, 0x80000018);
  PutResourceDirectory(&image, root + 0x18, 1);
  Put32(&image, root + 0x18 + 16, 1);
  Put32(&image, root + 0x18 + 20, 0x80000030);
  PutResourceDirectory(&image, root + 0x30, 1);
  Put32(&image, root + 0x30 + 16, 0x409);
  Put32(&image, root + 0x30 + 20, 0x48);
  Put32(&image, L::kVersionDataEntry, 0x3058);
  Put32(&image, L::kVersionDataEntry + 4,
        static_cast<uint32_t>(version.size()));
  memcpy(image.data() + L::kVersionData, version.data(), version.size());
  return image;
}

}  // namespace crash_reporter
