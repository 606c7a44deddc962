#include "components/prefs/prefs_task_pool.h"

#include <stdint.h>

#include <atomic>
#include <utility>

#include "base/lazy_instance.h"

namespace prefs {

namespace {

// 0 none, 1 being created, else the instance.
std::atomic<uintptr_t> g_instance_state{0};

}  // namespace

PrefsTaskPool::PrefsTaskPool()
    : pool_(base::MakeRefCounted<base::SequencedWorkerPool>(
          1, kThreadNamePrefix)) {}

PrefsTaskPool::~PrefsTaskPool() = default;

// static
PrefsTaskPool* PrefsTaskPool::GetInstance() {
  const uintptr_t state = g_instance_state.load(std::memory_order_acquire);
  if (state > base::LazyInstanceHelper::kCreating)
    return reinterpret_cast<PrefsTaskPool*>(state);
  if (base::LazyInstanceHelper::NeedsInstance(&g_instance_state)) {
    auto* instance = new PrefsTaskPool();
    base::LazyInstanceHelper::CompleteInstance(
        &g_instance_state, reinterpret_cast<uintptr_t>(instance),
        &DeleteInstance);
    return instance;
  }
  return reinterpret_cast<PrefsTaskPool*>(
      base::LazyInstanceHelper::WaitForInstance(&g_instance_state));
}

// static
void PrefsTaskPool::DeleteInstance(void* state) {
  auto* word = static_cast<std::atomic<uintptr_t>*>(state);
  auto* instance =
      reinterpret_cast<PrefsTaskPool*>(word->load(std::memory_order_acquire));
  // Writes already posted block shutdown and finish here; nothing new is
  // taken.
  instance->pool_->Shutdown(0);
  delete instance;
  word->store(0, std::memory_order_release);
}

base::ScopedRefPtr<JsonPrefStore> PrefsTaskPool::CreateJsonPrefStore(
    const base::FilePath& path) {
  base::ScopedRefPtr<base::SequencedTaskRunner> task_runner =
      JsonPrefStore::GetTaskRunnerForFile(path, pool_.get());
  auto store = base::MakeRefCounted<JsonPrefStore>(path, std::move(task_runner),
                                                   nullptr);
  store->ReadPrefs();
  return store;
}

}  // namespace prefs
