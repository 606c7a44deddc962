// Real processes sharing one named file mapping: the parent makes the
// segment and three histograms, four children add samples to them (and
// make their own) from four threads each, and the parent then reads the
// segment back read-only. Finally a copy of the segment is damaged in many
// ways and read again: never a crash or a hang.

#include <windows.h>

#include <map>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "base/command_line.h"
#include "base/logging.h"
#include "base/metrics/histogram.h"
#include "base/metrics/persistent_histogram_allocator.h"
#include "base/metrics/sparse_histogram.h"
#include "base/metrics/test/multiprocess_histograms.h"
#include "base/metrics/test/shared_segment_win.h"
#include "base/pickle.h"
#include "base/strings/utf_string_conversions.h"
#include "base/test/child_process_win.h"
#include "gtest/gtest.h"

namespace base {
namespace {

namespace mh = multiprocess_histograms;

using Reference = PersistentMemoryAllocator::Reference;

struct Expected {
  int64_t count = 0;
  int64_t sum = 0;
};

// Everything the parent and the children add, per histogram.
std::map<std::string, Expected> ExpectedTotals(int parent_exponential,
                                               int parent_linear) {
  std::map<std::string, Expected> totals;
  const int threads = mh::kChildren * mh::kThreadsPerChild;
  Expected& exponential = totals[mh::kExponential];
  Expected& linear = totals[mh::kLinear];
  exponential.count = 3;
  exponential.sum = 3 * parent_exponential;
  linear.count = 2;
  linear.sum = 2 * parent_linear;
  for (int round = 0; round < mh::kAddsPerThread; ++round) {
    exponential.count += threads;
    exponential.sum += int64_t{threads} * mh::ExponentialSample(round);
    linear.count += threads;
    linear.sum += int64_t{threads} * mh::LinearSample(round);
  }
  Expected& sparse = totals[mh::kSparse];
  sparse.count = 1 + 2 * int64_t{threads} * mh::kAddsPerThread;
  sparse.sum =
      mh::kSharedSparseValue * (1 + int64_t{threads} * mh::kAddsPerThread);
  for (int child = 0; child < mh::kChildren; ++child) {
    sparse.sum += int64_t{mh::OwnSparseValue(child)} * mh::kThreadsPerChild *
                  mh::kAddsPerThread;
    for (int thread = 0; thread < mh::kThreadsPerChild; ++thread)
      totals[mh::OwnHistogramName(child, thread)] = {1, thread};
  }
  return totals;
}

// Reads every histogram of a read-only view; counts how often each name
// turns up.
void ReadSegment(const void* memory, size_t size,
                 std::map<std::string, int>* seen,
                 std::map<std::string, std::unique_ptr<HistogramBase>>* found,
                 std::unique_ptr<PersistentHistogramAllocator>* reader) {
  *reader = std::make_unique<PersistentHistogramAllocator>(
      std::make_unique<PersistentMemoryAllocator>(
          const_cast<void*>(memory), size, mh::kPageSize, 0, true));
  PersistentHistogramAllocator::Iterator iter(reader->get());
  while (std::unique_ptr<HistogramBase> histogram = iter.GetNext()) {
    std::string name = histogram->histogram_name();
    ++(*seen)[name];
    (*found)[name] = std::move(histogram);
  }
}

// Damages the copy the way another process could, reads it, and undoes
// the damage.
void ReadDamagedCopies(const char* pristine, size_t used, int rounds) {
  std::vector<uint64_t> copy_words(mh::kSegmentSize / 8);
  char* copy = reinterpret_cast<char*>(copy_words.data());
  memcpy(copy, pristine, mh::kSegmentSize);
  // The blocks, walked by their sizes as the creator laid them out.
  std::vector<uint32_t> blocks;
  for (uint32_t ref = 56; ref + 16 <= used;) {
    uint32_t block_size;
    memcpy(&block_size, pristine + ref, 4);
    if (block_size < 16 || block_size % 8) break;
    blocks.push_back(ref);
    ref += block_size;
  }
  ASSERT_GT(blocks.size(), 40u);

  std::mt19937 random(20240607);
  logging::SetMinLogLevel(logging::LOG_FATAL);
  int64_t histograms_read = 0;
  for (int round = 0; round < rounds; ++round) {
    std::vector<size_t> damaged;
    const int flips = 1 + static_cast<int>(random() % 3);
    for (int i = 0; i < flips; ++i) {
      size_t offset;
      switch (random() % 4) {
        case 0:  // the segment header: flags, free offset, tail, queue head
          offset = 28 + random() % 28;
          break;
        case 1:  // a block header: size, cookie, type, link
          offset = blocks[random() % blocks.size()] + random() % 16;
          break;
        case 2:  // a record's payload: counts, references, names
          offset = blocks[random() % blocks.size()] + 16 + random() % 96;
          break;
        default:  // anywhere in the used part
          offset = random() % used;
          break;
      }
      offset = std::min(offset, mh::kSegmentSize - 1);
      damaged.push_back(offset);
      copy[offset] ^= static_cast<char>(1 + random() % 255);
    }
    {
      PersistentHistogramAllocator reader(
          std::make_unique<PersistentMemoryAllocator>(copy, mh::kSegmentSize,
                                                      mh::kPageSize, 0, true));
      PersistentHistogramAllocator::Iterator iter(&reader);
      int histograms = 0;
      while (std::unique_ptr<HistogramBase> histogram = iter.GetNext()) {
        std::unique_ptr<HistogramSamples> samples =
            histogram->SnapshotSamples();
        histogram->FindCorruption(*samples);
        std::string text;
        histogram->WriteAscii(&text);
        Pickle pickle;
        histogram->SerializeInfo(&pickle);
        ASSERT_LT(++histograms, 1000);
      }
      histograms_read += histograms;
    }
    for (size_t offset : damaged) copy[offset] = pristine[offset];
  }
  logging::SetMinLogLevel(logging::LOG_INFO);
  // Most damage spares most records: the reads really went through them.
  EXPECT_GT(histograms_read, int64_t{rounds} * 5);
  printf("read %lld histograms from %d damaged copies\n",
         static_cast<long long>(histograms_read), rounds);
}

TEST(PersistentHistogramMultiProcessTest, ChildrenShareOneSegment) {
  const std::u16string mapping_name =
      u"Local\\VelnaHistogramTest" +
      UTF8ToUTF16(std::to_string(GetCurrentProcessId()));
  std::unique_ptr<SharedSegment> segment =
      SharedSegment::Create(mapping_name, mh::kSegmentSize);
  ASSERT_TRUE(segment);
  PersistentHistogramAllocator::SetGlobalForTesting(
      std::make_unique<PersistentHistogramAllocator>(
          std::make_unique<PersistentMemoryAllocator>(
              segment->memory(), segment->size(), mh::kPageSize, 1, false)));

  constexpr int kParentExponential = 250;
  constexpr int kParentLinear = 3;
  HistogramBase* exponential = Histogram::FactoryGet(
      mh::kExponential, 1, mh::kExponentialMax, mh::kExponentialBuckets, 0);
  HistogramBase* linear = LinearHistogram::FactoryGet(
      mh::kLinear, 1, mh::kLinearMax, mh::kLinearBuckets, 0);
  HistogramBase* sparse = SparseHistogram::FactoryGet(mh::kSparse, 0);
  ASSERT_TRUE(exponential && linear && sparse);
  exponential->AddCount(kParentExponential, 3);
  linear->AddCount(kParentLinear, 2);
  sparse->Add(mh::kSharedSparseValue);

  std::vector<std::thread> launchers;
  std::vector<std::string> outputs(mh::kChildren);
  std::vector<DWORD> exit_codes(mh::kChildren, 99);
  std::vector<bool> started(mh::kChildren, false);
  for (int child = 0; child < mh::kChildren; ++child) {
    launchers.emplace_back([&, child] {
      std::u16string command = CommandLine::QuoteForCommandLine(
                                   GetTestExecutableFolder() +
                                       u"persistent_histogram_test_child.exe",
                                   false) +
                               u" " + mapping_name + u" " +
                               UTF8ToUTF16(std::to_string(child));
      started[child] =
          RunChildProcess(command, {}, &outputs[child], &exit_codes[child]);
    });
  }
  for (std::thread& launcher : launchers) launcher.join();
  for (int child = 0; child < mh::kChildren; ++child) {
    ASSERT_TRUE(started[child]);
    EXPECT_EQ(exit_codes[child], 0u) << outputs[child];
  }

  std::unique_ptr<SharedSegment> view =
      SharedSegment::Open(mapping_name, mh::kSegmentSize, true);
  ASSERT_TRUE(view);
  std::map<std::string, int> seen;
  std::map<std::string, std::unique_ptr<HistogramBase>> found;
  std::unique_ptr<PersistentHistogramAllocator> reader;
  ReadSegment(view->memory(), view->size(), &seen, &found, &reader);
  for (const auto& [name, times] : seen) EXPECT_EQ(times, 1) << name;
  for (const auto& [name, expected] :
       ExpectedTotals(kParentExponential, kParentLinear)) {
    SCOPED_TRACE(name);
    ASSERT_TRUE(found.count(name));
    std::unique_ptr<HistogramSamples> samples = found[name]->SnapshotSamples();
    EXPECT_EQ(samples->TotalCount(), expected.count);
    EXPECT_EQ(samples->redundant_count(), expected.count);
    EXPECT_EQ(samples->sum(), expected.sum);
    EXPECT_EQ(found[name]->FindCorruption(*samples), 0u);
  }
  EXPECT_FALSE(reader->memory_allocator()->IsCorrupt());
  std::unique_ptr<HistogramSamples> sparse_samples =
      found[mh::kSparse]->SnapshotSamples();
  EXPECT_EQ(sparse_samples->GetCount(mh::kSharedSparseValue),
            1 + mh::kChildren * mh::kThreadsPerChild * mh::kAddsPerThread);
  for (int child = 0; child < mh::kChildren; ++child) {
    EXPECT_EQ(sparse_samples->GetCount(mh::OwnSparseValue(child)),
              mh::kThreadsPerChild * mh::kAddsPerThread);
  }

  ReadDamagedCopies(static_cast<const char*>(view->memory()),
                    reader->memory_allocator()->used(), 10000);

  // Histograms made here count in the segment until the process ends.
  PersistentHistogramAllocator::SetGlobalForTesting(nullptr).release();
  segment.release();
}

}  // namespace
}  // namespace base
