#include "components/prefs/json_pref_store.h"

#include <algorithm>
#include <utility>

#include "base/bind.h"
#include "base/files/file_util.h"
#include "base/json/json_file_value_serializer.h"
#include "base/json/json_reader.h"
#include "base/json/json_string_value_serializer.h"
#include "base/logging.h"
#include "base/metrics/histogram.h"

namespace prefs {

namespace {

// The histogram suffix of a file: its base name in UTF-8, spaces as '_'.
std::string GetHistogramSuffix(const base::FilePath& path) {
  std::string name = path.BaseName().AsUTF8();
  std::replace(name.begin(), name.end(), ' ', '_');
  return name;
}

PrefReadError FileErrorToReadError(int error_code) {
  switch (error_code) {
    case base::JSONFileValueDeserializer::JSON_ACCESS_DENIED:
      return PREF_READ_ERROR_ACCESS_DENIED;
    case base::JSONFileValueDeserializer::JSON_CANNOT_READ_FILE:
      return PREF_READ_ERROR_FILE_OTHER;
    case base::JSONFileValueDeserializer::JSON_FILE_LOCKED:
      return PREF_READ_ERROR_FILE_LOCKED;
    case base::JSONFileValueDeserializer::JSON_NO_SUCH_FILE:
      return PREF_READ_ERROR_NO_FILE;
    default:
      return PREF_READ_ERROR_JSON_PARSE;
  }
}

// Keeps a file that does not parse for later inspection and for recovery by
// hand, rather than overwriting it with an empty store.
PrefReadError MoveCorruptFileAside(const base::FilePath& path,
                                   const std::string& parse_error) {
  const base::FilePath bad = path.ReplaceExtension(u"bad");
  const bool bad_existed = base::PathExists(bad);
  LOG(ERROR) << "Preferences " << path.value() << " are not valid JSON ("
             << parse_error << "); moving them to " << bad.value();
  if (!base::FileUtil::Move(path, bad)) {
    const logging::SystemErrorCode error = logging::GetLastSystemErrorCode();
    LOG(ERROR) << "Cannot move " << path.value()
               << " aside: " << logging::SystemErrorCodeToString(error);
  }
  return bad_existed ? PREF_READ_ERROR_JSON_REPEAT : PREF_READ_ERROR_JSON_PARSE;
}

void RecordReadSize(const base::FilePath& path, size_t size) {
  base::HistogramBase* histogram = base::Histogram::FactoryGet(
      "Settings.JsonDataReadSizeKilobytes." + GetHistogramSuffix(path), 1,
      10000, 50, base::HistogramBase::kUmaTargetedFlag);
  if (histogram)
    histogram->Add(static_cast<base::HistogramBase::Sample>(size / 1024));
}

}  // namespace

// static
base::ScopedRefPtr<base::SequencedTaskRunner>
JsonPrefStore::GetTaskRunnerForFile(const base::FilePath& path,
                                    base::SequencedWorkerPool* worker_pool) {
  return worker_pool->GetSequencedTaskRunner(
      worker_pool->GetNamedSequenceToken("json_pref_store-" + path.AsUTF8()),
      base::SequencedWorkerPool::BLOCK_SHUTDOWN);
}

JsonPrefStore::JsonPrefStore(
    const base::FilePath& path,
    base::ScopedRefPtr<base::SequencedTaskRunner> task_runner,
    std::unique_ptr<PrefFilter> pref_filter)
    : JsonPrefStore(path, base::FilePath(), std::move(task_runner),
                    std::move(pref_filter)) {}

JsonPrefStore::JsonPrefStore(
    const base::FilePath& path, const base::FilePath& alternate_path,
    base::ScopedRefPtr<base::SequencedTaskRunner> task_runner,
    std::unique_ptr<PrefFilter> pref_filter)
    : path_(path),
      alternate_path_(alternate_path),
      sequenced_task_runner_(task_runner),
      prefs_(std::make_unique<base::DictionaryValue>()),
      writer_(path, std::move(task_runner)),
      pref_filter_(std::move(pref_filter)),
      write_count_histogram_(writer_.commit_interval(), path) {}

JsonPrefStore::~JsonPrefStore() { CommitPendingWrite(); }

// static
JsonPrefStore::ReadResult JsonPrefStore::ReadPrefsFromDisk(
    const base::FilePath& path, const base::FilePath& alternate_path) {
  if (!base::PathExists(path) && !alternate_path.empty() &&
      base::PathExists(alternate_path)) {
    base::FileUtil::Move(alternate_path, path);
  }

  ReadResult result;
  base::JSONFileValueDeserializer deserializer(path);
  int error_code = 0;
  std::string error_message;
  result.value = deserializer.Deserialize(&error_code, &error_message);
  if (!result.value) {
    result.error = FileErrorToReadError(error_code);
    if (result.error == PREF_READ_ERROR_JSON_PARSE)
      result.error = MoveCorruptFileAside(path, error_message);
  } else if (!result.value->IsType(base::Value::TYPE_DICTIONARY)) {
    LOG(ERROR) << "Preferences " << path.value()
               << " are not a dictionary; keeping them read-only";
    result.error = PREF_READ_ERROR_JSON_TYPE;
  }
  result.no_dir = !base::DirectoryExists(path.DirName());
  if (result.error == PREF_READ_ERROR_NONE)
    RecordReadSize(path, deserializer.get_last_read_size());
  return result;
}

bool JsonPrefStore::GetValue(const std::string& key,
                             const base::Value** result) const {
  const base::Value* value = nullptr;
  if (!prefs_->Get(key, &value)) return false;
  if (result) *result = value;
  return true;
}

void JsonPrefStore::AddObserver(PrefStore::Observer* observer) {
  observers_.AddObserver(observer);
}

void JsonPrefStore::RemoveObserver(PrefStore::Observer* observer) {
  observers_.RemoveObserver(observer);
}

bool JsonPrefStore::HasObservers() const {
  return observers_.might_have_observers();
}

bool JsonPrefStore::IsInitializationComplete() const { return initialized_; }

bool JsonPrefStore::GetMutableValue(const std::string& key,
                                    base::Value** result) {
  return prefs_->Get(key, result);
}

void JsonPrefStore::SetValue(const std::string& key,
                             std::unique_ptr<base::Value> value,
                             uint32_t flags) {
  CHECK(value);
  base::Value* old_value = nullptr;
  if (prefs_->Get(key, &old_value) && value->Equals(old_value)) return;
  prefs_->Set(key, std::move(value));
  ReportValueChanged(key, flags);
}

void JsonPrefStore::SetValueSilently(const std::string& key,
                                     std::unique_ptr<base::Value> value,
                                     uint32_t flags) {
  CHECK(value);
  base::Value* old_value = nullptr;
  if (prefs_->Get(key, &old_value) && value->Equals(old_value)) return;
  prefs_->Set(key, std::move(value));
  ScheduleWrite(flags);
}

void JsonPrefStore::RemoveValue(const std::string& key, uint32_t flags) {
  if (prefs_->RemovePath(key, nullptr)) ReportValueChanged(key, flags);
}

bool JsonPrefStore::ReadOnly() const { return read_only_; }

PrefReadError JsonPrefStore::GetReadError() const { return read_error_; }

PrefReadError JsonPrefStore::ReadPrefs() {
  OnFileRead(ReadPrefsFromDisk(path_, alternate_path_));
  return filtering_in_progress_ ? PREF_READ_ERROR_ASYNCHRONOUS_TASK_INCOMPLETE
                                : read_error_;
}

void JsonPrefStore::ReadPrefsAsync(ReadErrorDelegate* error_delegate) {
  initialized_ = false;
  error_delegate_.reset(error_delegate);
  auto result = std::make_shared<ReadResult>();
  base::Closure read = base::Bind(
      [](const base::FilePath& path, const base::FilePath& alternate_path,
         const std::shared_ptr<ReadResult>& result) {
        *result = ReadPrefsFromDisk(path, alternate_path);
      },
      path_, alternate_path_, result);
  // Through a weak pointer: a store destroyed meanwhile gets no reply.
  base::Closure reply = base::Bind(
      [](const base::WeakPtr<JsonPrefStore>& store,
         const std::shared_ptr<ReadResult>& result) {
        if (store) store->OnFileRead(std::move(*result));
      },
      weak_factory_.GetWeakPtr(), result);
  sequenced_task_runner_->PostTaskAndReply(
      base::Location("ReadPrefsAsync", __FILE__, __LINE__,
                     base::GetProgramCounter()),
      read, reply);
}

void JsonPrefStore::CommitPendingWrite() {
  SchedulePendingLossyWrites();
  if (writer_.HasPendingWrite() && !read_only_) writer_.DoScheduledWrite();
}

void JsonPrefStore::SchedulePendingLossyWrites() {
  if (pending_lossy_write_) writer_.ScheduleWrite(this);
}

void JsonPrefStore::ReportValueChanged(const std::string& key, uint32_t flags) {
  if (pref_filter_) pref_filter_->FilterUpdate(key);
  observers_.Notify(&PrefStore::Observer::OnPrefValueChanged, key);
  ScheduleWrite(flags);
}

void JsonPrefStore::ClearMutableValues() { LOG(ERROR) << "NOT IMPLEMENTED"; }

void JsonPrefStore::RegisterOnNextSuccessfulWriteCallback(
    const base::Closure& callback) {
  writer_.RegisterOnNextSuccessfulWriteCallback(callback);
}

bool JsonPrefStore::SerializeData(std::string* output) {
  pending_lossy_write_ = false;
  write_count_histogram_.RecordWriteOccured();
  if (pref_filter_) pref_filter_->FilterSerializeData(prefs_.get());
  base::JSONStringValueSerializer serializer(output);
  serializer.set_pretty_print(false);
  if (serializer.Serialize(*prefs_)) return true;
  // The next start would move an unreadable file aside and lose every
  // value, so the file keeps its last good contents instead.
  LOG(ERROR) << "Preferences " << path_.value()
             << " not written: a value nests deeper than "
             << base::JSONReader::kMaxContainerDepth
             << " containers or cannot be written as JSON";
  return false;
}

void JsonPrefStore::OnFileRead(ReadResult read_result) {
  auto unfiltered_prefs = std::make_unique<base::DictionaryValue>();
  read_error_ = read_result.error;
  const bool initialization_successful = !read_result.no_dir;
  if (initialization_successful) {
    switch (read_error_) {
      case PREF_READ_ERROR_ACCESS_DENIED:
      case PREF_READ_ERROR_FILE_OTHER:
      case PREF_READ_ERROR_FILE_LOCKED:
      case PREF_READ_ERROR_JSON_TYPE:
        // What cannot be read or understood must never be overwritten.
        read_only_ = true;
        break;
      case PREF_READ_ERROR_NONE:
        unfiltered_prefs.reset(
            static_cast<base::DictionaryValue*>(read_result.value.release()));
        break;
      default:
        break;
    }
  }

  if (!pref_filter_) {
    FinalizeFileRead(initialization_successful, std::move(unfiltered_prefs),
                     false);
    return;
  }
  filtering_in_progress_ = true;
  pref_filter_->FilterOnLoad(
      base::Bind(&JsonPrefStore::FinalizeFileRead, weak_factory_.GetWeakPtr(),
                 initialization_successful),
      std::move(unfiltered_prefs));
}

void JsonPrefStore::FinalizeFileRead(
    bool initialization_successful,
    std::unique_ptr<base::DictionaryValue> prefs, bool schedule_write) {
  filtering_in_progress_ = false;
  if (!initialization_successful) {
    observers_.Notify(&PrefStore::Observer::OnInitializationCompleted, false);
    return;
  }
  prefs_ = std::move(prefs);
  initialized_ = true;
  if (schedule_write) ScheduleWrite(DEFAULT_PREF_WRITE_FLAGS);
  if (error_delegate_ && read_error_ != PREF_READ_ERROR_NONE)
    error_delegate_->OnError(read_error_);
  observers_.Notify(&PrefStore::Observer::OnInitializationCompleted, true);
}

void JsonPrefStore::ScheduleWrite(uint32_t flags) {
  if (read_only_) return;
  if (flags & LOSSY_PREF_WRITE_FLAG)
    pending_lossy_write_ = true;
  else
    writer_.ScheduleWrite(this);
}

JsonPrefStore::WriteCountHistogram::WriteCountHistogram(
    base::TimeDelta commit_interval, const base::FilePath& path)
    : commit_interval_(commit_interval),
      path_(path),
      report_interval_(base::TimeDelta::FromMinutes(5)),
      last_report_time_(base::Time::Now()) {}

JsonPrefStore::WriteCountHistogram::~WriteCountHistogram() = default;

void JsonPrefStore::WriteCountHistogram::RecordWriteOccured() {
  ReportOutstandingWrites();
  ++writes_since_last_report_;
}

void JsonPrefStore::WriteCountHistogram::ReportOutstandingWrites() {
  const base::TimeDelta elapsed = base::Time::Now() - last_report_time_;
  if (elapsed <= report_interval_) return;
  base::HistogramBase* histogram = GetHistogram();
  if (histogram) {
    histogram->Add(
        static_cast<base::HistogramBase::Sample>(writes_since_last_report_));
  }
  // Intervals without any write count as zero writes each.
  const int64_t intervals = elapsed / report_interval_;
  if (histogram && intervals > 1)
    histogram->AddCount(
        0, static_cast<int>(std::min<int64_t>(intervals - 1, INT32_MAX)));
  writes_since_last_report_ = 0;
  last_report_time_ = last_report_time_ + report_interval_ * intervals;
}

base::HistogramBase* JsonPrefStore::WriteCountHistogram::GetHistogram() {
  const int64_t max_writes =
      commit_interval_.is_zero() ? 1 : report_interval_ / commit_interval_;
  const base::HistogramBase::Sample maximum =
      static_cast<base::HistogramBase::Sample>(
          std::clamp<int64_t>(max_writes, 2, INT32_MAX - 1));
  return base::Histogram::FactoryGet(
      "Settings.JsonDataWriteCount." + GetHistogramSuffix(path_), 1, maximum,
      static_cast<uint32_t>(maximum) + 1,
      base::HistogramBase::kUmaTargetedFlag);
}

}  // namespace prefs
