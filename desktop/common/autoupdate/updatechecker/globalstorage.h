// GlobalStorage: a small key/value store of text values that the browser's
// autoupdater and the installer share across the processes of one user
// (for example the installation's "UUID"). GlobalStorageWin is the Windows
// implementation.
//
// Every log line of the storage begins with "[AU] GS: ".

#ifndef DESKTOP_COMMON_AUTOUPDATE_UPDATECHECKER_GLOBALSTORAGE_H_
#define DESKTOP_COMMON_AUTOUPDATE_UPDATECHECKER_GLOBALSTORAGE_H_

#include <stdint.h>

#include <string>

#include "base/files/file_path.h"

namespace autoupdate {

// The result of an access.
enum GlobalStorageStatus : int32_t {
  kGlobalStorageDone = 0,
  // Another process holds the storage at this moment; nothing was read or
  // written. The caller may try again.
  kGlobalStorageBusy = 1,
  kGlobalStorageFailed = -252,
  // An empty key, or no output string.
  kGlobalStorageInvalidArgument = -254,
};

class GlobalStorage {
 public:
  GlobalStorage(const GlobalStorage&) = delete;
  GlobalStorage& operator=(const GlobalStorage&) = delete;

  // The folder of the fallback file, for when the registry cannot be used;
  // the base implementation ignores it.
  virtual void SetFallbackDirectory(const base::FilePath& folder);
  // Stores |value| under |key|; an empty value removes the key.
  virtual GlobalStorageStatus Set(const std::string& key,
                                  const std::string& value) = 0;
  // Reads the value of |key| into |*out| (emptied first).
  virtual GlobalStorageStatus Get(const std::string& key, std::string* out) = 0;
  virtual ~GlobalStorage();

 protected:
  GlobalStorage() = default;
};

}  // namespace autoupdate

#endif  // DESKTOP_COMMON_AUTOUPDATE_UPDATECHECKER_GLOBALSTORAGE_H_
