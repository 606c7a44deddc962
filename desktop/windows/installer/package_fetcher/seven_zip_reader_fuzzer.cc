// Feeds arbitrary bytes to the archive walk as unpacking runs it: open the
// database, check every name, and decode every item, streamed where the
// block can be (in small pieces, so that every buffer boundary is crossed)
// and whole otherwise. Names that pass the check never reach outside the
// folder; nothing crashes, hangs, leaks or reads out of bounds. Large blocks
// are refused as a full disk would.

#include <stddef.h>
#include <stdint.h>
#include <stdlib.h>

#include <string>

#include "7zAlloc.h"
#include "desktop/windows/installer/package_fetcher/seven_zip_reader.h"
#include "desktop/windows/installer/package_fetcher/test/memory_in_stream.h"

namespace {

constexpr size_t kLimit = size_t{64} << 20;

void* LimitedAlloc(ISzAllocPtr, size_t size) {
  return size > kLimit ? nullptr : SzAlloc(nullptr, size);
}
void LimitedFree(ISzAllocPtr, void* address) { SzFree(nullptr, address); }

const ISzAlloc kLimitedAllocator = {LimitedAlloc, LimitedFree};

volatile uint8_t g_sink;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  installer::test::MemoryInStream stream(data, size);
  installer::SevenZipReader reader(stream.stream());
  reader.SetBlockAllocator(&kLimitedAllocator);
  reader.SetStreamAllocator(&kLimitedAllocator);
  if (reader.Open() != SZ_OK) return 0;
  if (!reader.CheckItemPaths(nullptr)) return 0;
  for (uint32_t i = 0; i < reader.item_count(); ++i) {
    // A name that passed has no empty, "." or ".." component and no drive.
    const std::u16string path = reader.GetItemPath(i) + u"\\";
    if (path.find(u':') != std::u16string::npos) abort();
    size_t start = 0;
    for (size_t end = path.find(u'\\'); end != std::u16string::npos;
         start = end + 1, end = path.find(u'\\', start)) {
      const std::u16string component = path.substr(start, end - start);
      if (component.empty() || component == u"." || component == u"..") abort();
    }
    if (reader.GetSizeOfBlockToDecode(i) > kLimit) return 0;
    if (reader.CanStreamItem(i)) {
      if (reader.BeginItemStream(i) != SZ_OK) return 0;
      uint8_t piece[997];
      for (size_t size = 1; size != 0;) {
        size = sizeof(piece);
        if (reader.ReadItemStream(piece, &size) != SZ_OK) return 0;
      }
      continue;
    }
    const uint8_t* item = nullptr;
    size_t item_size = 0;
    if (reader.ReadItem(i, &item, &item_size) != SZ_OK) return 0;
    // Touch the bytes handed out, so ASan sees any read past the block.
    uint8_t sum = 0;
    for (size_t j = 0; j < item_size; j += 4096) sum ^= item[j];
    if (item_size) sum ^= item[item_size - 1];
    g_sink = sum;
    uint64_t time;
    reader.GetLastWriteTime(i, &time);
  }
  return 0;
}
