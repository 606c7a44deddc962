// Reads the input as a persistent histogram segment written by another
// process, once through a read-only allocator (which must leave every byte
// as it was) and once through a writable one on a copy (which also
// allocates and adds). Byte 0 picks the page size; the rest is the segment,
// in an exactly sized buffer so that the sanitizers catch any access past
// it. Every histogram found is snapshotted, checked, drawn, serialised and
// added to.

#include <stddef.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <memory>
#include <string>

#include "base/metrics/bucket_ranges.h"
#include "base/metrics/histogram.h"
#include "base/metrics/persistent_histogram_allocator.h"
#include "base/metrics/persistent_memory_allocator.h"
#include "base/pickle.h"

namespace {

constexpr size_t kPageSizes[] = {0, 12, 64, 256, 1024, 4096, 1 << 20};

void Exercise(base::PersistentHistogramAllocator* allocator) {
  base::PersistentHistogramAllocator::Iterator iter(allocator);
  int found = 0;
  while (std::unique_ptr<base::HistogramBase> histogram = iter.GetNext()) {
    std::unique_ptr<base::HistogramSamples> samples =
        histogram->SnapshotSamples();
    histogram->FindCorruption(*samples);
    std::string text;
    histogram->WriteAscii(&text);
    base::Pickle pickle;
    histogram->SerializeInfo(&pickle);
    samples->Serialize(&pickle);
    histogram->Add(found);
    histogram->AddCount(INT32_MAX, 2);
    histogram->SnapshotDelta();
    ++found;
  }
  base::PersistentMemoryAllocator* memory = allocator->memory_allocator();
  base::PersistentMemoryAllocator::Iterator raw(memory);
  uint32_t type;
  while (base::PersistentMemoryAllocator::Reference ref = raw.GetNext(&type)) {
    memory->GetAllocSize(ref);
    std::unique_ptr<base::HistogramBase> histogram =
        allocator->GetHistogram(ref);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const size_t page_size = kPageSizes[data[0] % std::size(kPageSizes)];
  const size_t segment_size = size - 1;
  // Exactly sized: the end of the buffer is the end of the segment.
  std::unique_ptr<uint64_t[]> original(new uint64_t[segment_size / 8 + 1]);
  std::unique_ptr<char[]> check(new char[segment_size]);
  char* bytes = reinterpret_cast<char*>(original.get());
  memcpy(bytes, data + 1, segment_size);
  memcpy(check.get(), data + 1, segment_size);
  {
    base::PersistentHistogramAllocator reader(
        std::make_unique<base::PersistentMemoryAllocator>(bytes, segment_size,
                                                          page_size, 0, true));
    Exercise(&reader);
  }
  if (memcmp(bytes, check.get(), segment_size) != 0) abort();

  base::PersistentHistogramAllocator writer(
      std::make_unique<base::PersistentMemoryAllocator>(bytes, segment_size,
                                                        page_size, 0, false));
  Exercise(&writer);
  base::BucketRanges ranges(5);
  base::LinearHistogram::InitializeBucketRanges(1, 3, &ranges);
  base::PersistentHistogramAllocator::Reference ref = 0;
  for (base::HistogramType type :
       {base::LINEAR_HISTOGRAM, base::SPARSE_HISTOGRAM}) {
    if (std::unique_ptr<base::HistogramBase> histogram =
            writer.AllocateHistogram(type, "Fuzz.New", 1, 3, &ranges, 0,
                                     &ref)) {
      writer.FinalizeHistogram(ref, true);
      histogram->AddCount(2, 3);
      histogram->AddCount(-1, 1);
    }
  }
  Exercise(&writer);
  return 0;
}
