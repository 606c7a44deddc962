// GlobalStorageFallbackFile: the global storage's values in a JSON
// preference file ("au_global_storage" in a folder the caller chooses),
// under the top-level key "GS", for installations that cannot use the
// registry. Made for one access at a time: it reads the file at once, on
// the calling thread, and writes through a one-thread worker pool
// ("GsTaskPool") that its destruction shuts down, waiting for the write, so
// a value written is on disk when the object is gone.
//
// The calling thread needs a registered task runner (a message loop) to
// write. An empty value is never stored.

#ifndef DESKTOP_COMMON_AUTOUPDATE_UPDATECHECKER_GLOBALSTORAGE_FALLBACK_FILE_H_
#define DESKTOP_COMMON_AUTOUPDATE_UPDATECHECKER_GLOBALSTORAGE_FALLBACK_FILE_H_

#include <memory>
#include <string>

#include "base/files/file_path.h"
#include "base/memory/ref_counted.h"
#include "base/threading/sequenced_worker_pool.h"
#include "base/values.h"
#include "components/prefs/json_pref_store.h"

namespace autoupdate {

// The file's name in its folder, and the top-level key of its values.
inline constexpr char16_t kGlobalStorageFileName[] = u"au_global_storage";
inline constexpr char kGlobalStorageDictionaryKey[] = "GS";

class GlobalStorageFallbackFile {
 public:
  explicit GlobalStorageFallbackFile(const base::FilePath& path);
  GlobalStorageFallbackFile(const GlobalStorageFallbackFile&) = delete;
  GlobalStorageFallbackFile& operator=(const GlobalStorageFallbackFile&) =
      delete;
  // Waits for a write to reach the disk.
  ~GlobalStorageFallbackFile();

  // The ASCII text stored under |key|: the literal key first, then |key| as
  // a dotted path into nested dictionaries. True with an empty value when
  // the file holds no values at all; false when "GS" is not a dictionary or
  // the key is missing.
  bool ReadValue(const std::string& key, std::string* out);
  // A copy of all values; null when "GS" is missing or not a dictionary.
  std::unique_ptr<base::DictionaryValue> ReadAll();
  // Stores |value| under the literal |key| (an empty value removes it) and
  // commits the write. False for a file that cannot be written safely (read
  // only, "GS" not a dictionary, or its folder missing).
  bool WriteValue(const std::string& key, const std::string& value);

 private:
  const base::FilePath path_;
  base::ScopedRefPtr<base::SequencedWorkerPool> pool_;
  base::ScopedRefPtr<prefs::JsonPrefStore> store_;
};

}  // namespace autoupdate

#endif  // DESKTOP_COMMON_AUTOUPDATE_UPDATECHECKER_GLOBALSTORAGE_FALLBACK_FILE_H_
