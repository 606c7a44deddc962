// Synthetic images for the payload and PE layout tests: the few PE32+
// fields the checks read, and payload trailers. Portable.

#ifndef DESKTOP_WINDOWS_INSTALLER_PACKAGE_FETCHER_TEST_PE_TEST_IMAGE_H_
#define DESKTOP_WINDOWS_INSTALLER_PACKAGE_FETCHER_TEST_PE_TEST_IMAGE_H_

#include <stddef.h>
#include <stdint.h>

#include <string>

namespace installer {
namespace test {

// |size| bytes: "MZ", the NT headers' offset |nt_offset| at 60, "PE\0\0"
// and the PE32+ magic there, headers of 0x200 bytes and one section whose
// raw data fills the rest (so the image ends at |size|), no symbol table;
// every other byte a pattern (so a digest notices moved bytes); no
// signature. |size| is at least 0x200 and the section table fits below it.
std::string MakePeImage(uint32_t nt_offset = 0x80, size_t size = 0x400);

// Writes the security directory entry of an image from MakePeImage().
void SetSecurityDirectory(std::string* image, uint32_t offset, uint32_t size);

// "VLN", |payload|, and its length as 32-bit little-endian.
std::string Trailer(const std::string& payload);

// The 7z signature followed by |rest|.
std::string SevenZipPayload(const std::string& rest);

}  // namespace test
}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_PACKAGE_FETCHER_TEST_PE_TEST_IMAGE_H_
