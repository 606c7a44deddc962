// GlobalStorageWin: the global storage on Windows. Each value is a REG_SZ
// value under HKEY_CURRENT_USER\Software\<company>, named by its key (ANSI
// registry functions) and stored without a terminating NUL. A stand-alone
// installation, or a company key the user may not write, keeps the values
// in the fallback file instead (GlobalStorageFallbackFile); once the
// registry is usable, SetFallbackDirectory() copies a fallback file left
// from earlier into it.
//
// Every Get() and Set() runs inside the named mutex "vauc_registry_mutex"
// (in the caller's local namespace) and gives up at once, with
// kGlobalStorageBusy, when another process holds it. Inside a process the
// storage is used from one thread at a time; writing the fallback file
// needs a registered task runner on that thread.

#ifndef DESKTOP_COMMON_AUTOUPDATE_UPDATECHECKER_GLOBALSTORAGE_WIN_H_
#define DESKTOP_COMMON_AUTOUPDATE_UPDATECHECKER_GLOBALSTORAGE_WIN_H_

#include <windows.h>

#include <functional>
#include <string>

#include "base/files/file_path.h"
#include "base/win/scoped_handle.h"
#include "desktop/common/autoupdate/updatechecker/globalstorage.h"

namespace autoupdate {

inline constexpr char16_t kGlobalStorageMutexName[] = u"vauc_registry_mutex";

class GlobalStorageWin : public GlobalStorage {
 public:
  // What the storage asks of its surroundings once, to decide between the
  // registry and the fallback file.
  struct Environment {
    // Whether the running installation is a stand-alone copy.
    std::function<bool()> is_copy_only;
    // The result of opening the company key for reading and writing.
    std::function<LONG()> open_company_key;
  };

  // The process's storage, built on the first call (which must not race
  // with another); every call runs CheckRegistryUsable().
  static GlobalStorageWin* GetInstance();

  // The real surroundings: InstallationInfo of the running program and the
  // registry.
  GlobalStorageWin();
  explicit GlobalStorageWin(Environment environment);
  ~GlobalStorageWin() override;

  // Decides, on the first call only, whether the values live in the fallback
  // file: for a stand-alone installation, or when the company key cannot be
  // opened for writing because access is denied.
  void CheckRegistryUsable();

  // GlobalStorage.
  void SetFallbackDirectory(const base::FilePath& folder) override;
  GlobalStorageStatus Set(const std::string& key,
                          const std::string& value) override;
  GlobalStorageStatus Get(const std::string& key, std::string* out) override;

  bool uses_fallback() const { return use_fallback_; }

 private:
  // Opens (or creates) the mutex once; kGlobalStorageDone with a valid
  // handle, else kGlobalStorageFailed.
  GlobalStorageStatus EnsureMutex();
  // Without waiting: false when another process holds it.
  bool TakeMutex();

  GlobalStorageStatus SetInRegistry(const std::string& key,
                                    const std::string& value);
  GlobalStorageStatus GetFromRegistry(const std::string& key, std::string* out);

  const Environment environment_;
  base::win::ScopedHandle mutex_;
  base::FilePath fallback_path_;
  bool registry_decided_ = false;
  bool use_fallback_ = false;
  bool registry_written_ = false;
  bool migrating_ = false;
};

}  // namespace autoupdate

#endif  // DESKTOP_COMMON_AUTOUPDATE_UPDATECHECKER_GLOBALSTORAGE_WIN_H_
