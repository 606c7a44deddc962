// PersistentPrefStore: a preference store that can be changed and is kept
// on disk. Changes schedule a write of the whole store; reads and writes of
// the backing file are the implementation's concern.

#ifndef COMPONENTS_PREFS_PERSISTENT_PREF_STORE_H_
#define COMPONENTS_PREFS_PERSISTENT_PREF_STORE_H_

#include <stdint.h>

#include <memory>
#include <string>

#include "base/values.h"
#include "components/prefs/pref_store.h"

namespace prefs {

// The outcome of reading a store's file. The numbers are kept in reports.
enum PrefReadError {
  PREF_READ_ERROR_NONE = 0,
  // Not valid JSON; the file was moved aside (".bad").
  PREF_READ_ERROR_JSON_PARSE = 1,
  // The root is not a dictionary; the store is read-only.
  PREF_READ_ERROR_JSON_TYPE = 2,
  PREF_READ_ERROR_ACCESS_DENIED = 3,
  PREF_READ_ERROR_FILE_OTHER = 4,
  PREF_READ_ERROR_FILE_LOCKED = 5,
  PREF_READ_ERROR_NO_FILE = 6,
  // Not valid JSON, and an earlier ".bad" file was replaced.
  PREF_READ_ERROR_JSON_REPEAT = 7,
  // A filter is still working on the loaded values.
  PREF_READ_ERROR_ASYNCHRONOUS_TASK_INCOMPLETE = 10,
};

// Write flags of SetValue, RemoveValue and ReportValueChanged.
enum PrefWriteFlags : uint32_t {
  DEFAULT_PREF_WRITE_FLAGS = 0,
  // Written only with a later ordinary write or SchedulePendingLossyWrites.
  LOSSY_PREF_WRITE_FLAG = 1 << 1,
};

class PersistentPrefStore : public PrefStore {
 public:
  // Told the read error of an asynchronous read, when there is one.
  class ReadErrorDelegate {
   public:
    virtual ~ReadErrorDelegate() = default;
    virtual void OnError(PrefReadError error) = 0;
  };

  // Stores |value| at |key| and schedules a write.
  virtual void SetValue(const std::string& key,
                        std::unique_ptr<base::Value> value, uint32_t flags) = 0;
  virtual void RemoveValue(const std::string& key, uint32_t flags) = 0;
  // A value the caller may change in place; report the change with
  // ReportValueChanged.
  virtual bool GetMutableValue(const std::string& key,
                               base::Value** result) = 0;
  virtual void ReportValueChanged(const std::string& key, uint32_t flags) = 0;
  // Like SetValue, without telling observers.
  virtual void SetValueSilently(const std::string& key,
                                std::unique_ptr<base::Value> value,
                                uint32_t flags) = 0;
  // A read-only store keeps changes in memory only.
  virtual bool ReadOnly() const = 0;
  virtual PrefReadError GetReadError() const = 0;
  // Reads the file on the calling thread.
  virtual PrefReadError ReadPrefs() = 0;
  // Reads the file in the background; |error_delegate| (owned, may be
  // null) hears about a read error.
  virtual void ReadPrefsAsync(ReadErrorDelegate* error_delegate) = 0;
  // Starts a scheduled write now.
  virtual void CommitPendingWrite() = 0;
  // Schedules the lossy changes held back so far.
  virtual void SchedulePendingLossyWrites() = 0;
  virtual void ClearMutableValues() = 0;

 protected:
  ~PersistentPrefStore() override = default;
};

}  // namespace prefs

#endif  // COMPONENTS_PREFS_PERSISTENT_PREF_STORE_H_
