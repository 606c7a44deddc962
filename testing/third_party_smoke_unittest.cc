#include <stdint.h>
#include <stdio.h>
#include <string.h>

#include <cstdlib>
#include <string>

#include "gtest/gtest.h"

#define OPENSSL_SUPPRESS_DEPRECATED
#include <openssl/sha.h>
#include <zlib.h>

#include "minizip/zip.h"

extern "C" {
#include "7zCrc.h"
}

namespace {

TEST(ThirdPartyTest, LzmaCrcTable) {
  CrcGenerateTable();
  // CRC-32 of "123456789" is the standard check value.
  EXPECT_EQ(0xCBF43926u, CrcCalc("123456789", 9));
}

TEST(ThirdPartyTest, ZlibDeflateRoundTrip) {
  const std::string input(1000, 'v');
  uLongf packed_size = compressBound(input.size());
  std::string packed(packed_size, '\0');
  ASSERT_EQ(Z_OK, compress(reinterpret_cast<Bytef*>(packed.data()),
                           &packed_size,
                           reinterpret_cast<const Bytef*>(input.data()),
                           input.size()));
  EXPECT_LT(packed_size, 100u);
  std::string output(input.size(), '\0');
  uLongf output_size = output.size();
  ASSERT_EQ(Z_OK, uncompress(reinterpret_cast<Bytef*>(output.data()),
                             &output_size,
                             reinterpret_cast<const Bytef*>(packed.data()),
                             packed_size));
  EXPECT_EQ(input, output);
}

TEST(ThirdPartyTest, MinizipWritesAnArchive) {
  const char* dir = getenv("TEMP");
  if (!dir) dir = getenv("TMPDIR");
  if (!dir) dir = "/tmp";
  const std::string path = std::string(dir) + "/velna_smoke_" +
                           std::to_string(reinterpret_cast<uintptr_t>(&dir)) +
                           ".zip";
  zipFile zip = zipOpen(path.c_str(), APPEND_STATUS_CREATE);
  ASSERT_NE(nullptr, zip);
  zip_fileinfo info = {};
  ASSERT_EQ(ZIP_OK, zipOpenNewFileInZip(zip, "log.txt", &info, nullptr, 0,
                                        nullptr, 0, nullptr, Z_DEFLATED,
                                        Z_DEFAULT_COMPRESSION));
  const char text[] = "crash log";
  EXPECT_EQ(ZIP_OK, zipWriteInFileInZip(zip, text, sizeof(text) - 1));
  EXPECT_EQ(ZIP_OK, zipCloseFileInZip(zip));
  EXPECT_EQ(ZIP_OK, zipClose(zip, nullptr));
  FILE* f = fopen(path.c_str(), "rb");
  ASSERT_NE(nullptr, f);
  char magic[4] = {};
  EXPECT_EQ(4u, fread(magic, 1, 4, f));
  fclose(f);
  remove(path.c_str());
  EXPECT_EQ(0, memcmp(magic, "PK\x03\x04", 4));
}

TEST(ThirdPartyTest, Sha256OfAbc) {
  unsigned char digest[SHA256_DIGEST_LENGTH];
  SHA256_CTX ctx;
  SHA256_Init(&ctx);
  SHA256_Update(&ctx, "abc", 3);
  SHA256_Final(digest, &ctx);
  std::string hex;
  for (unsigned char b : digest) {
    char buf[3];
    snprintf(buf, sizeof(buf), "%02x", b);
    hex += buf;
  }
  EXPECT_EQ("ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad",
            hex);
}

}  // namespace
