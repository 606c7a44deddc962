// JsonPrefStore: the preferences of one JSON file, kept in memory as a
// dictionary and written back whole through an ImportantFileWriter, which
// replaces the file atomically after the commit interval (so a burst of
// changes costs one write).
//
//   ScopedRefPtr<JsonPrefStore> store =
//       PrefsTaskPool::GetInstance()->CreateJsonPrefStore(path);
//   store->SetValue("install.folder", std::make_unique<StringValue>(f), 0);
//
// Reading never throws away data silently: a file that is not valid JSON is
// moved aside to the same name with the extension "bad" and the store starts
// empty; a file that cannot be read, or whose root is not a dictionary,
// makes the store read-only for good, so that it never overwrites what it
// could not understand. A missing file gives an empty, writable store.
//
// The store is used on the thread that created it, which needs a registered
// task runner; only the asynchronous read and the file writes run on the
// store's sequenced task runner. Destroying the store writes a pending
// change at once.

#ifndef COMPONENTS_PREFS_JSON_PREF_STORE_H_
#define COMPONENTS_PREFS_JSON_PREF_STORE_H_

#include <stdint.h>

#include <memory>
#include <string>

#include "base/files/file_path.h"
#include "base/files/important_file_writer.h"
#include "base/memory/ref_counted.h"
#include "base/memory/weak_ptr.h"
#include "base/metrics/histogram_base.h"
#include "base/observer_list.h"
#include "base/sequenced_task_runner.h"
#include "base/threading/sequenced_worker_pool.h"
#include "base/time/time.h"
#include "base/values.h"
#include "components/prefs/persistent_pref_store.h"
#include "components/prefs/pref_filter.h"

namespace prefs {

class JsonPrefStore : public PersistentPrefStore,
                      public base::ImportantFileWriter::DataSerializer {
 public:
  // What reading the file gave.
  struct ReadResult {
    std::unique_ptr<base::Value> value;
    PrefReadError error = PREF_READ_ERROR_NONE;
    // The file's folder does not exist.
    bool no_dir = false;
  };

  // Counts serializations and reports them per five minutes to
  // "Settings.JsonDataWriteCount.<file name>".
  class WriteCountHistogram {
   public:
    WriteCountHistogram(base::TimeDelta commit_interval,
                        const base::FilePath& path);
    WriteCountHistogram(const WriteCountHistogram&) = delete;
    WriteCountHistogram& operator=(const WriteCountHistogram&) = delete;
    ~WriteCountHistogram();

    void RecordWriteOccured();

   private:
    // Reports the writes of each full interval since the last report.
    void ReportOutstandingWrites();
    base::HistogramBase* GetHistogram();

    const base::TimeDelta commit_interval_;
    const base::FilePath path_;
    const base::TimeDelta report_interval_;
    base::Time last_report_time_;
    uint32_t writes_since_last_report_ = 0;
  };

  // The pool's runner for |path|'s own sequence, whose tasks block the
  // pool's shutdown, so that a posted write is never lost at exit.
  static base::ScopedRefPtr<base::SequencedTaskRunner> GetTaskRunnerForFile(
      const base::FilePath& path, base::SequencedWorkerPool* worker_pool);

  // |pref_filter| may be null. When |path| is missing and |alternate_path|
  // exists, the latter is moved to |path| on the first read.
  JsonPrefStore(const base::FilePath& path,
                base::ScopedRefPtr<base::SequencedTaskRunner> task_runner,
                std::unique_ptr<PrefFilter> pref_filter);
  JsonPrefStore(const base::FilePath& path,
                const base::FilePath& alternate_path,
                base::ScopedRefPtr<base::SequencedTaskRunner> task_runner,
                std::unique_ptr<PrefFilter> pref_filter);

  // Reads and parses |path| on the calling thread (which may block),
  // moving a file that does not parse aside as described above.
  static ReadResult ReadPrefsFromDisk(const base::FilePath& path,
                                      const base::FilePath& alternate_path);

  // PrefStore:
  bool GetValue(const std::string& key,
                const base::Value** result) const override;
  void AddObserver(PrefStore::Observer* observer) override;
  void RemoveObserver(PrefStore::Observer* observer) override;
  bool HasObservers() const override;
  bool IsInitializationComplete() const override;

  // PersistentPrefStore. A value equal to the stored one changes nothing:
  // no notification, no write.
  bool GetMutableValue(const std::string& key, base::Value** result) override;
  void SetValue(const std::string& key, std::unique_ptr<base::Value> value,
                uint32_t flags) override;
  void SetValueSilently(const std::string& key,
                        std::unique_ptr<base::Value> value,
                        uint32_t flags) override;
  // Nested dictionaries left empty go too.
  void RemoveValue(const std::string& key, uint32_t flags) override;
  bool ReadOnly() const override;
  PrefReadError GetReadError() const override;
  // PREF_READ_ERROR_ASYNCHRONOUS_TASK_INCOMPLETE while a filter works.
  PrefReadError ReadPrefs() override;
  void ReadPrefsAsync(ReadErrorDelegate* error_delegate) override;
  void CommitPendingWrite() override;
  void SchedulePendingLossyWrites() override;
  void ReportValueChanged(const std::string& key, uint32_t flags) override;
  // Not supported: logs an error.
  void ClearMutableValues() override;

  // Runs |callback| on this thread after the next successful write.
  void RegisterOnNextSuccessfulWriteCallback(const base::Closure& callback);

  // A write is scheduled and not yet handed to the task runner.
  bool HasPendingWriteForTesting() const { return writer_.HasPendingWrite(); }

  // ImportantFileWriter::DataSerializer: the compact JSON of the values.
  // False, logged, when the values cannot be written as JSON that reads
  // back (a value nested deeper than the reader accepts): the file then
  // keeps its last contents.
  bool SerializeData(std::string* output) override;

 private:
  ~JsonPrefStore() override;

  void OnFileRead(ReadResult read_result);
  void FinalizeFileRead(bool initialization_successful,
                        std::unique_ptr<base::DictionaryValue> prefs,
                        bool schedule_write);
  void ScheduleWrite(uint32_t flags);

  const base::FilePath path_;
  const base::FilePath alternate_path_;
  const base::ScopedRefPtr<base::SequencedTaskRunner> sequenced_task_runner_;
  std::unique_ptr<base::DictionaryValue> prefs_;
  bool read_only_ = false;
  base::ImportantFileWriter writer_;
  std::unique_ptr<PrefFilter> pref_filter_;
  base::ObserverList<PrefStore::Observer> observers_;
  std::unique_ptr<ReadErrorDelegate> error_delegate_;
  bool initialized_ = false;
  bool filtering_in_progress_ = false;
  bool pending_lossy_write_ = false;
  PrefReadError read_error_ = PREF_READ_ERROR_NONE;
  WriteCountHistogram write_count_histogram_;
  base::WeakPtrFactory<JsonPrefStore> weak_factory_{this};
};

}  // namespace prefs

#endif  // COMPONENTS_PREFS_JSON_PREF_STORE_H_
