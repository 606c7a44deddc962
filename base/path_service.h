// PathService answers "where is folder or file N?" for the integer keys of
// base_paths.h and base_paths_win.h: asked of a fixed chain of providers
// (PathProviderWin, then PathProvider), cached for the life of the process,
// and open to overrides. Any thread may call it.

#ifndef BASE_PATH_SERVICE_H_
#define BASE_PATH_SERVICE_H_

#include "base/files/file_path.h"

namespace base {

class PathService {
 public:
  PathService() = delete;

  // The path of |key|: DIR_CURRENT read afresh; otherwise the cached
  // answer, the override, or the first provider that answers (an answer
  // with a ".." component is made absolute first), which is then cached.
  // False, leaving |*result| alone, when nothing answers. The providers run
  // without the lock, so two threads may work out the same key at once.
  static bool Get(int key, FilePath* result);

  // Makes |key| answer |path| from now on, creating the folder chain first
  // when |create| is set and it is missing; a path that is not
  // |is_absolute| is made absolute against the current folder. Empties the
  // whole cache, since other answers may derive from this one. False,
  // changing nothing, when the folder cannot be made or the path cannot be
  // made absolute.
  static bool OverrideAndCreateIfNeeded(int key, const FilePath& path,
                                        bool is_absolute, bool create);

  // Drops the override of |key| and empties the cache; false when there
  // was none.
  static bool RemoveOverrideForTesting(int key);
};

}  // namespace base

#endif  // BASE_PATH_SERVICE_H_
