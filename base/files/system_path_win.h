// The spelling of a path that the system's file calls take. In its plain
// form ("C:\x", "\\server\share\x") a path is limited to MAX_PATH units
// with its terminator, and a new folder's to 248 (room for an 8.3 name in
// it); prefixed with "\\?\" (or "\\?\UNC\" for a share) the limit is
// 32,767. The prefix also turns off the system's own clean-up of the path
// ("/" read as "\", "." and ".." resolved), so that clean-up is done here
// before the prefix goes on. A name ending with a dot or a space (which the
// plain spelling trims and the long one keeps) has no long form: such a path
// stays as it is and the call fails as before when it is too long.
//
// Callers keep plain paths everywhere (in logs, comparisons, records) and
// use this only for the argument of the call itself. No state; any thread.

#ifndef BASE_FILES_SYSTEM_PATH_WIN_H_
#define BASE_FILES_SYSTEM_PATH_WIN_H_

#include <stddef.h>

#include <string>

#include "base/files/file_path.h"
#include "base/strings/string_util_win.h"

namespace base {

// The plain spelling's limits, terminator included: every file call, and
// CreateDirectoryW.
inline constexpr size_t kPlainPathLimit = 260;
inline constexpr size_t kPlainNewFolderLimit = 248;

// The longest path the prefixed spelling reaches, prefix included.
inline constexpr size_t kSystemPathLimit = 32767;

// |path| as the system's call takes it: when |path| is |limit| units or
// longer and has a long form (GetSystemLongForm), that form; otherwise
// |path| unchanged (relative paths and those spelled for the system already
// among them).
std::u16string ToSystemPath(const std::u16string& path,
                            size_t limit = kPlainPathLimit);
std::u16string ToSystemPath(const FilePath& path,
                            size_t limit = kPlainPathLimit);

// The long form of |path|, at any length: for an absolute path ("C:\..." or
// "\\server\share\...") "\\?\" or "\\?\UNC\" and the path with "/"
// read as "\", repeated and trailing separators dropped, and "." and ".."
// resolved (".." stops at the drive or share). False, and |*long_form|
// untouched, for a relative path, one that already carries "\\?\" or
// "\\.\", and one with a name that ends with a dot or a space.
bool GetSystemLongForm(const std::u16string& path, std::u16string* long_form);
bool HasSystemLongForm(const std::u16string& path);

// Whether |path| carries the "\\?\" prefix.
bool IsSystemLongForm(const std::u16string& path);

// ToSystemPath() as the argument of one call, alive until the end of the
// statement that makes it:  ::DeleteFileW(SystemPathArg(path));
class SystemPathArg {
 public:
  explicit SystemPathArg(const std::u16string& path,
                         size_t limit = kPlainPathLimit)
      : value_(ToSystemPath(path, limit)) {}
  explicit SystemPathArg(const FilePath& path, size_t limit = kPlainPathLimit)
      : SystemPathArg(path.value(), limit) {}
  SystemPathArg(const SystemPathArg&) = delete;
  SystemPathArg& operator=(const SystemPathArg&) = delete;

  operator const wchar_t*() const { return as_wcstr(value_); }

 private:
  const std::u16string value_;
};

}  // namespace base

#endif  // BASE_FILES_SYSTEM_PATH_WIN_H_
