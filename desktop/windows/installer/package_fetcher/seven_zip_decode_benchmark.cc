// Decode-and-verify speed of the archive walk that unpacking uses: opens a
// 7z archive, checks every name and decodes every item into memory (with
// the CRC checks), as `7zz t -mmt1` does, once with whole blocks and once
// with blocks streamed. Run by hand:
//   seven_zip_decode_benchmark ARCHIVE [rounds]
// Prints the best time of the rounds and the decoded bytes per second.

#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>

#include <chrono>
#include <string>
#include <vector>

#include "7zAlloc.h"
#include "base/files/file_path.h"
#include "base/files/file_util.h"
#include "base/strings/utf_string_conversions.h"
#include "desktop/windows/installer/package_fetcher/seven_zip_reader.h"
#include "desktop/windows/installer/package_fetcher/test/memory_in_stream.h"

namespace {

const ISzAlloc kHeap = {SzAlloc, SzFree};

// Decoded bytes; -1 on any failure. |streamed|: blocks decoded as streams
// (as unpacking does where it can), else whole.
int64_t DecodeAll(const std::string& archive, bool streamed) {
  installer::test::MemoryInStream stream(
      reinterpret_cast<const uint8_t*>(archive.data()), archive.size());
  installer::SevenZipReader reader(stream.stream());
  reader.SetBlockAllocator(&kHeap);
  if (reader.Open() != SZ_OK || !reader.CheckItemPaths(nullptr)) return -1;
  int64_t total = 0;
  std::vector<uint8_t> buffer(size_t{1} << 20);
  for (uint32_t i = 0; i < reader.item_count(); ++i) {
    if (streamed && reader.CanStreamItem(i)) {
      if (reader.BeginItemStream(i) != SZ_OK) return -1;
      for (size_t size = 1; size;) {
        size = buffer.size();
        if (reader.ReadItemStream(buffer.data(), &size) != SZ_OK) return -1;
        total += size;
      }
      continue;
    }
    const uint8_t* data = nullptr;
    size_t size = 0;
    if (reader.ReadItem(i, &data, &size) != SZ_OK) return -1;
    total += size;
  }
  return total;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    fprintf(stderr, "usage: %s ARCHIVE [rounds]\n", argv[0]);
    return 2;
  }
  const int rounds = argc > 2 ? atoi(argv[2]) : 3;
  std::string archive;
  if (!base::FileUtil::ReadFileToString(
          base::FilePath(base::UTF8ToUTF16(argv[1])), &archive)) {
    fprintf(stderr, "cannot read %s\n", argv[1]);
    return 1;
  }
  for (bool streamed : {false, true}) {
    double best = 1e30;
    int64_t bytes = 0;
    for (int round = 0; round < rounds; ++round) {
      const auto start = std::chrono::steady_clock::now();
      bytes = DecodeAll(archive, streamed);
      const std::chrono::duration<double> elapsed =
          std::chrono::steady_clock::now() - start;
      if (bytes < 0) {
        fprintf(stderr, "decoding failed\n");
        return 1;
      }
      if (elapsed.count() < best) best = elapsed.count();
    }
    printf(
        "%s: %lld bytes decoded and verified in %.3f s (%.1f MB/s), best "
        "of %d\n",
        streamed ? "streamed" : "whole blocks", static_cast<long long>(bytes),
        best, bytes / best / 1e6, rounds);
  }
  return 0;
}
