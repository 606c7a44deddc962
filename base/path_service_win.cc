#include <map>

#include "base/base_paths.h"
#include "base/base_paths_win.h"
#include "base/files/file_util.h"
#include "base/path_service.h"
#include "base/synchronization/lock.h"

namespace base {

namespace {

using ProviderFunction = bool (*)(int key, FilePath* result);

// The chain is fixed: the Windows keys first, then the common ones.
struct Provider {
  ProviderFunction function;
  const Provider* next;
};

const Provider kPathProvider = {&PathProvider, nullptr};
const Provider kPathProviderWin = {&PathProviderWin, &kPathProvider};

struct PathData {
  Lock lock;
  std::map<int, FilePath> cache;
  std::map<int, FilePath> overrides;
  const Provider* providers = &kPathProviderWin;
};

PathData* GetPathData() {
  // Built once even when threads race to the first call; never destroyed,
  // so paths can be asked for until the process ends.
  static PathData* const data = new PathData();
  return data;
}

bool LookUp(PathData* data, int key, FilePath* result) {
  AutoLock locked(data->lock);
  auto cached = data->cache.find(key);
  if (cached != data->cache.end()) {
    *result = cached->second;
    return true;
  }
  auto overridden = data->overrides.find(key);
  if (overridden != data->overrides.end()) {
    data->cache[key] = overridden->second;
    *result = overridden->second;
    return true;
  }
  return false;
}

}  // namespace

// static
bool PathService::Get(int key, FilePath* result) {
  if (key == DIR_CURRENT) return GetCurrentDirectory(result);

  PathData* data = GetPathData();
  if (LookUp(data, key, result)) return true;

  // Providers may ask for other keys, so they run without the lock.
  FilePath path;
  for (const Provider* provider = data->providers; provider;
       provider = provider->next) {
    if (provider->function(key, &path)) break;
  }
  if (path.empty()) return false;
  if (path.ReferencesParent()) {
    path = MakeAbsoluteFilePath(path);
    if (path.empty()) return false;
  }
  *result = path;
  AutoLock locked(data->lock);
  data->cache[key] = path;
  return true;
}

// static
bool PathService::OverrideAndCreateIfNeeded(int key, const FilePath& path,
                                            bool is_absolute, bool create) {
  if (create && !PathExists(path) && !FileUtil::CreateDirectory(path))
    return false;
  FilePath stored = path;
  if (!is_absolute) {
    stored = MakeAbsoluteFilePath(path);
    if (stored.empty()) return false;
  }
  PathData* data = GetPathData();
  AutoLock locked(data->lock);
  data->cache.clear();
  data->overrides[key] = stored;
  return true;
}

// static
bool PathService::RemoveOverrideForTesting(int key) {
  PathData* data = GetPathData();
  AutoLock locked(data->lock);
  data->cache.clear();
  return data->overrides.erase(key) > 0;
}

}  // namespace base
