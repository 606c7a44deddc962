#include "desktop/windows/crash_reporter/counter_file_writer.h"

#include <utility>

#include "base/logging.h"

namespace crash_reporter {

CounterFileWriter::CounterFileWriter(const base::FilePath& path,
                                     WriteCountsFunction write_counts)
    : path_(path),
      write_counts_(write_counts),
      wake_up_(base::WaitableEvent::ResetPolicy::kAutomatic,
               base::WaitableEvent::InitialState::kNotSignaled) {
  thread_started_ = base::PlatformThread::Create(0, this, &thread_);
  if (!thread_started_)
    LOG(ERROR) << "Could not start the crash counter thread";
}

CounterFileWriter::~CounterFileWriter() {
  stop_.store(true);
  wake_up_.Signal();
  if (thread_started_)
    base::PlatformThread::Join(thread_);
  else
    FinalAttempts();  // without a worker, the counts are written here
}

void CounterFileWriter::Add(const std::string& key, int count, bool wake) {
  AddAll(CrashCounts{{key, count}}, wake);
}

void CounterFileWriter::AddAll(const CrashCounts& counts, bool wake) {
  {
    base::AutoLock locked(lock_);
    AddCrashCounts(counts, &pending_);
  }
  if (wake) wake_up_.Signal();
}

CrashCounts CounterFileWriter::TakePending() {
  CrashCounts counts;
  base::AutoLock locked(lock_);
  counts.swap(pending_);
  return counts;
}

bool CounterFileWriter::HasPending() {
  base::AutoLock locked(lock_);
  return !pending_.empty();
}

bool CounterFileWriter::FlushOnce() {
  const CrashCounts counts = TakePending();
  if (counts.empty()) return true;
  if (write_counts_(path_, counts)) return true;
  LOG(ERROR) << "Could not write the crash counts to " << path_.value();
  AddAll(counts, /*wake=*/false);
  return false;
}

void CounterFileWriter::ThreadMain() {
  base::PlatformThread::SetName("CrashCounterWorker");
  wake_up_.Wait();
  int failures = 0;
  while (!stop_.load()) {
    if (FlushOnce()) {
      failures = 0;
    } else if (++failures < kMaxFailuresInARow) {
      // Retry at once after the pause: the wait below returns at once.
      wake_up_.Signal();
      base::PlatformThread::Sleep(kRetryDelay);
    } else {
      failures = 0;  // the counts wait for the next wake-up
    }
    wake_up_.Wait();
  }
  FinalAttempts();
}

void CounterFileWriter::FinalAttempts() {
  for (int attempt = 0; attempt < kMaxFinalAttempts && HasPending();
       ++attempt) {
    if (FlushOnce()) return;
    base::PlatformThread::Sleep(kFinalRetryDelay);
  }
}

}  // namespace crash_reporter
