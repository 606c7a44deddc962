#include "base/metrics/persistent_histogram_allocator.h"

#include <string.h>

#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "base/logging.h"
#include "base/metrics/bucket_ranges.h"
#include "base/metrics/histogram.h"
#include "base/metrics/sparse_histogram.h"
#include "base/metrics/statistics_recorder.h"
#include "gtest/gtest.h"

namespace base {
namespace {

using Reference = PersistentHistogramAllocator::Reference;

constexpr size_t kSegmentSize = 64 * 1024;

// Histograms registered from a segment live as long as the process (as do
// the result and report histograms a factory may put there), so segments
// and global allocators are kept, never freed.
std::vector<uint64_t>& KeptSegment(size_t size) {
  static auto* kept = new std::vector<std::unique_ptr<std::vector<uint64_t>>>;
  kept->push_back(std::make_unique<std::vector<uint64_t>>(size / 8, 0));
  return *kept->back();
}

class PersistentHistogramAllocatorTest : public testing::Test {
 protected:
  PersistentHistogramAllocatorTest() : memory_(KeptSegment(kSegmentSize)) {}

  void SetUp() override { logging::SetMinLogLevel(logging::LOG_FATAL); }
  void TearDown() override {
    static auto* retired =
        new std::vector<std::unique_ptr<PersistentHistogramAllocator>>;
    retired->push_back(
        PersistentHistogramAllocator::SetGlobalForTesting(nullptr));
    logging::SetMinLogLevel(logging::LOG_INFO);
  }

  char* segment() { return reinterpret_cast<char*>(memory_.data()); }

  std::unique_ptr<PersistentHistogramAllocator> MakeAllocator(bool read_only) {
    return std::make_unique<PersistentHistogramAllocator>(
        std::make_unique<PersistentMemoryAllocator>(segment(), kSegmentSize,
                                                    4096, 1, read_only));
  }

  // The histograms a reader finds in the segment, by name.
  std::vector<std::unique_ptr<HistogramBase>> ReadAll() {
    auto reader = MakeAllocator(true);
    PersistentHistogramAllocator::Iterator iter(reader.get());
    std::vector<std::unique_ptr<HistogramBase>> result;
    while (std::unique_ptr<HistogramBase> histogram = iter.GetNext())
      result.push_back(std::move(histogram));
    readers_.push_back(std::move(reader));
    return result;
  }

  std::vector<uint64_t>& memory_;
  std::vector<std::unique_ptr<PersistentHistogramAllocator>> readers_;
};

TEST_F(PersistentHistogramAllocatorTest, FactoriesCountInTheSegment) {
  PersistentHistogramAllocator::SetGlobalForTesting(MakeAllocator(false));
  HistogramBase* exponential =
      Histogram::FactoryGet("PersistentTest.Exp", 1, 1000, 20, 0);
  HistogramBase* linear =
      LinearHistogram::FactoryGet("PersistentTest.Linear", 1, 5, 6, 0);
  HistogramBase* sparse =
      SparseHistogram::FactoryGet("PersistentTest.Sparse", 0);
  HistogramBase* custom =
      CustomHistogram::FactoryGet("PersistentTest.Custom", {3, 30}, 0);
  HistogramBase* boolean =
      BooleanHistogram::FactoryGet("PersistentTest.Bool", 0);
  for (HistogramBase* histogram :
       {exponential, linear, sparse, custom, boolean})
    EXPECT_TRUE(histogram->flags() & HistogramBase::kPersistentFlag);
  exponential->AddCount(50, 3);
  linear->Add(4);
  sparse->AddCount(-7, 2);
  sparse->Add(INT32_MAX);
  custom->Add(31);
  boolean->Add(1);

  std::vector<std::unique_ptr<HistogramBase>> found = ReadAll();
  std::map<std::string, HistogramBase*> by_name;
  for (const auto& histogram : found)
    by_name[histogram->histogram_name()] = histogram.get();
  ASSERT_TRUE(by_name.count("PersistentTest.Exp"));
  HistogramBase* read_exp = by_name["PersistentTest.Exp"];
  EXPECT_EQ(read_exp->GetHistogramType(), HISTOGRAM);
  EXPECT_TRUE(read_exp->HasConstructionArguments(1, 1000, 20));
  std::unique_ptr<HistogramSamples> samples = read_exp->SnapshotSamples();
  EXPECT_EQ(samples->TotalCount(), 3);
  EXPECT_EQ(samples->sum(), 150);
  EXPECT_EQ(samples->redundant_count(), 3);
  EXPECT_EQ(read_exp->FindCorruption(*samples), 0u);
  EXPECT_EQ(by_name["PersistentTest.Linear"]->GetHistogramType(),
            LINEAR_HISTOGRAM);
  EXPECT_EQ(by_name["PersistentTest.Custom"]->GetHistogramType(),
            CUSTOM_HISTOGRAM);
  EXPECT_TRUE(
      by_name["PersistentTest.Custom"]->HasConstructionArguments(3, 30, 3));
  EXPECT_EQ(by_name["PersistentTest.Bool"]->SnapshotSamples()->GetCount(1), 1);
  std::unique_ptr<HistogramSamples> sparse_samples =
      by_name["PersistentTest.Sparse"]->SnapshotSamples();
  EXPECT_EQ(sparse_samples->GetCount(-7), 2);
  EXPECT_EQ(sparse_samples->GetCount(INT32_MAX), 1);
  EXPECT_EQ(sparse_samples->sum(), int64_t{INT32_MAX} - 14);

  // A reader's histograms never write the segment.
  std::vector<uint64_t> before = memory_;
  read_exp->Add(5);
  by_name["PersistentTest.Sparse"]->Add(12345);
  read_exp->SnapshotDelta();
  EXPECT_EQ(memory_, before);
}

TEST_F(PersistentHistogramAllocatorTest, DuplicateRecordIsFreed) {
  auto allocator = MakeAllocator(false);
  auto ranges = std::make_unique<BucketRanges>(5);
  LinearHistogram::InitializeBucketRanges(1, 3, ranges.get());
  Reference first_ref = 0;
  Reference second_ref = 0;
  std::unique_ptr<HistogramBase> first =
      allocator->AllocateHistogram(LINEAR_HISTOGRAM, "PersistentTest.Dup", 1, 3,
                                   ranges.get(), 0, &first_ref);
  std::unique_ptr<HistogramBase> second =
      allocator->AllocateHistogram(LINEAR_HISTOGRAM, "PersistentTest.Dup", 1, 3,
                                   ranges.get(), 0, &second_ref);
  ASSERT_TRUE(first && second);
  allocator->FinalizeHistogram(first_ref, true);
  allocator->FinalizeHistogram(second_ref, false);
  EXPECT_EQ(allocator->memory_allocator()->GetType(second_ref), 0u);
  EXPECT_EQ(ReadAll().size(), 1u);
}

// Records another process could have damaged: each yields no histogram.
TEST_F(PersistentHistogramAllocatorTest, DamagedRecordsAreRefused) {
  const struct {
    const char* name;
    void (*damage)(char* record, char* segment);
  } kCases[] = {
      {"checksum", [](char* record,
                      char*) { reinterpret_cast<uint32_t*>(record)[6] ^= 1; }},
      {"boundary 0 not 0",
       [](char* record, char* segment) {
         uint32_t ranges_ref = reinterpret_cast<uint32_t*>(record)[5];
         auto* ranges = reinterpret_cast<int32_t*>(segment + ranges_ref + 16);
         ranges[0] = -1;
         // Keep the checksum right, so only the bound refuses it.
         reinterpret_cast<uint32_t*>(record)[6] = ChecksumOfRanges(ranges, 5);
       }},
      {"last boundary not INT32_MAX",
       [](char* record, char* segment) {
         uint32_t ranges_ref = reinterpret_cast<uint32_t*>(record)[5];
         auto* ranges = reinterpret_cast<int32_t*>(segment + ranges_ref + 16);
         ranges[4] = 1000;
         reinterpret_cast<uint32_t*>(record)[6] = ChecksumOfRanges(ranges, 5);
       }},
      {"bucket count huge",
       [](char* record, char*) {
         reinterpret_cast<uint32_t*>(record)[4] = 0x40000000;
       }},
      {"bucket count one",
       [](char* record, char*) { reinterpret_cast<uint32_t*>(record)[4] = 1; }},
      {"counts elsewhere",
       [](char* record, char*) {
         reinterpret_cast<uint32_t*>(record)[7] = 0xFFFFFFF8;
       }},
      {"unknown type",
       [](char* record, char*) { reinterpret_cast<int32_t*>(record)[0] = 9; }},
      {"no metadata id",
       [](char* record, char*) { memset(record + 32, 0, 8); }},
      {"unterminated name",
       [](char* record, char*) { memset(record + 80, 'x', 24); }},
  };
  for (const auto& test : kCases) {
    SCOPED_TRACE(test.name);
    memory_.assign(kSegmentSize / 8, 0);
    auto allocator = MakeAllocator(false);
    auto ranges = std::make_unique<BucketRanges>(5);
    LinearHistogram::InitializeBucketRanges(1, 3, ranges.get());
    Reference ref = 0;
    ASSERT_TRUE(allocator->AllocateHistogram(LINEAR_HISTOGRAM,
                                             "PersistentTest.Damaged", 1, 3,
                                             ranges.get(), 0, &ref));
    allocator->FinalizeHistogram(ref, true);
    test.damage(segment() + ref + 16, segment());
    EXPECT_TRUE(ReadAll().empty());
  }
}

TEST_F(PersistentHistogramAllocatorTest, SparseRecordsAreSharedAndAtomic) {
  auto first = MakeAllocator(false);
  auto second = MakeAllocator(false);  // another user of the same segment
  Reference ref = 0;
  std::unique_ptr<HistogramBase> mine = first->AllocateHistogram(
      SPARSE_HISTOGRAM, "PersistentTest.Shared", 0, 0, nullptr, 0, &ref);
  first->FinalizeHistogram(ref, true);
  mine->AddCount(42, 5);
  std::unique_ptr<HistogramBase> theirs = second->GetHistogram(ref);
  ASSERT_TRUE(theirs);
  EXPECT_EQ(theirs->SnapshotSamples()->GetCount(42), 5);

  constexpr int kAdds = 5000;
  std::thread a([&] {
    for (int i = 0; i < kAdds; ++i) mine->Add(42);
  });
  std::thread b([&] {
    for (int i = 0; i < kAdds; ++i) theirs->Add(42);
  });
  a.join();
  b.join();
  // Both histograms count in the one record, without losing an add.
  EXPECT_EQ(mine->SnapshotSamples()->GetCount(42), 5 + 2 * kAdds);
  EXPECT_EQ(theirs->SnapshotSamples()->TotalCount(), 5 + 2 * kAdds);
}

TEST_F(PersistentHistogramAllocatorTest, FullSegmentFallsBackToTheHeap) {
  memory_.assign(1024 / 8, 0);
  PersistentHistogramAllocator::SetGlobalForTesting(
      std::make_unique<PersistentHistogramAllocator>(
          std::make_unique<PersistentMemoryAllocator>(segment(), 1024, 1024, 1,
                                                      false)));
  HistogramBase* big =
      Histogram::FactoryGet("PersistentTest.TooBig", 1, 100000, 200, 0);
  ASSERT_NE(big, nullptr);
  EXPECT_FALSE(big->flags() & HistogramBase::kPersistentFlag);
  big->Add(10);
  EXPECT_EQ(big->SnapshotSamples()->TotalCount(), 1);
}

}  // namespace
}  // namespace base
