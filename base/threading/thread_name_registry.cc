#include "base/threading/thread_name_registry.h"

#include <atomic>

#include "base/lazy_instance.h"

namespace base {

namespace {

std::atomic<ThreadNameRegistry::InternedNameObserver> g_interned_observer{
    nullptr};

}  // namespace

ThreadNameRegistry::ThreadNameRegistry() {
  AutoLock lock(lock_);
  default_name_ = Intern(std::string());
  main_name_ = default_name_;
}

ThreadNameRegistry::~ThreadNameRegistry() = default;

// static
ThreadNameRegistry* ThreadNameRegistry::GetInstance() {
  static LeakyLazyInstance<ThreadNameRegistry> instance;
  return instance.Pointer();
}

// static
void ThreadNameRegistry::SetInternedNameObserver(
    InternedNameObserver observer) {
  g_interned_observer.store(observer, std::memory_order_release);
}

void ThreadNameRegistry::RegisterThread(PlatformThreadHandle handle,
                                        PlatformThreadId id) {
  AutoLock lock(lock_);
  id_to_handle_[id] = handle;
  handle_to_name_[handle] = default_name_;
  change_count_.fetch_add(1, std::memory_order_release);
}

void ThreadNameRegistry::SetName(PlatformThreadId id, const std::string& name) {
  const std::string* interned;
  {
    AutoLock lock(lock_);
    interned = Intern(name);
    change_count_.fetch_add(1, std::memory_order_release);
    auto found = id_to_handle_.find(id);
    if (found == id_to_handle_.end()) {
      // A thread not started here: the main thread.
      main_name_ = interned;
      main_id_ = id;
      return;
    }
    handle_to_name_[found->second] = interned;
  }
  if (InternedNameObserver observer =
          g_interned_observer.load(std::memory_order_acquire)) {
    observer(interned->c_str());
  }
}

void ThreadNameRegistry::SetName(const std::string& name) {
  SetName(PlatformThread::CurrentId(), name);
}

const char* ThreadNameRegistry::GetName(PlatformThreadId id) {
  AutoLock lock(lock_);
  if (id == main_id_) return main_name_->c_str();
  auto found = id_to_handle_.find(id);
  if (found == id_to_handle_.end()) return default_name_->c_str();
  auto name = handle_to_name_.find(found->second);
  return name == handle_to_name_.end() ? default_name_->c_str()
                                       : name->second->c_str();
}

void ThreadNameRegistry::RemoveName(PlatformThreadHandle handle,
                                    PlatformThreadId id) {
  AutoLock lock(lock_);
  handle_to_name_.erase(handle);
  change_count_.fetch_add(1, std::memory_order_release);
  auto found = id_to_handle_.find(id);
  // The system may have given the id to a newer thread already.
  if (found != id_to_handle_.end() && found->second == handle)
    id_to_handle_.erase(found);
}

const std::string* ThreadNameRegistry::Intern(const std::string& name) {
  auto found = interned_.find(name);
  if (found != interned_.end()) return found->second.get();
  auto copy = std::make_unique<std::string>(name);
  const std::string* result = copy.get();
  interned_.emplace(name, std::move(copy));
  return result;
}

}  // namespace base
