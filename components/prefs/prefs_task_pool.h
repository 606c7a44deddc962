// PrefsTaskPool: the process-wide owner of the one-thread worker pool that
// writes JSON preference files, and the factory through which installer
// code opens a preference file. Its worker is "PrefsTaskPoolWorker1/<id>".
//
// Created on first use, from any thread; shut down and deleted when the
// process's at-exit scope ends (a preference write posted before then is
// finished first). Each file's reads and writes run on a sequence of its
// own, named after the file, so two stores of one file never write at the
// same time.

#ifndef COMPONENTS_PREFS_PREFS_TASK_POOL_H_
#define COMPONENTS_PREFS_PREFS_TASK_POOL_H_

#include "base/files/file_path.h"
#include "base/memory/ref_counted.h"
#include "base/threading/sequenced_worker_pool.h"
#include "components/prefs/json_pref_store.h"

namespace prefs {

class PrefsTaskPool {
 public:
  // The thread-name prefix of the pool's worker.
  static constexpr char kThreadNamePrefix[] = "PrefsTaskPool";

  PrefsTaskPool(const PrefsTaskPool&) = delete;
  PrefsTaskPool& operator=(const PrefsTaskPool&) = delete;

  // The instance, created on the first call.
  static PrefsTaskPool* GetInstance();

  // A store for |path| on the file's sequence, already read (synchronously,
  // on the calling thread). The caller owns the reference; the calling
  // thread must have a registered task runner.
  base::ScopedRefPtr<JsonPrefStore> CreateJsonPrefStore(
      const base::FilePath& path);

  base::SequencedWorkerPool* pool() const { return pool_.get(); }

 private:
  PrefsTaskPool();
  ~PrefsTaskPool();

  // The at-exit deletion.
  static void DeleteInstance(void* state);

  base::ScopedRefPtr<base::SequencedWorkerPool> pool_;
};

}  // namespace prefs

#endif  // COMPONENTS_PREFS_PREFS_TASK_POOL_H_
