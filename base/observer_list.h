// ObserverList<Observer>: the observers of one subject, notified in the
// order they were added. Observers may add or remove themselves, and may
// even destroy the subject, from inside a notification: a removed entry is
// only cleared while notifications run and the list is compacted when the
// outermost one ends; a list destroyed mid-notification ends the pass.
//
// Single-threaded: the subject's thread adds, removes and notifies. The list
// holds raw pointers and owns none of them.
//
//   observers_.Notify(&Observer::OnStep, step);
// or, by hand:
//   ObserverList<Observer>::Iter it(&observers_);
//   while (Observer* observer = it.GetNext())
//     observer->OnStep(step);

#ifndef BASE_OBSERVER_LIST_H_
#define BASE_OBSERVER_LIST_H_

#include <stddef.h>

#include <algorithm>
#include <limits>
#include <vector>

#include "base/logging.h"
#include "base/memory/weak_ptr.h"

namespace base {

enum class ObserverListPolicy {
  // Observers added during a notification are notified in it too.
  kNotifyAll = 0,
  // A notification stops at the size the list had when it started.
  kNotifyExistingOnly = 1,
};

template <typename Observer>
class ObserverList {
 public:
  // One notification pass. Keep it on the stack for the length of the pass.
  class Iter {
   public:
    explicit Iter(ObserverList* list)
        : list_(list),
          list_alive_(list->weak_owner_.GetRef()),
          end_(list->policy_ == ObserverListPolicy::kNotifyExistingOnly
                   ? list->observers_.size()
                   : std::numeric_limits<size_t>::max()) {
      ++list_->notify_depth_;
    }
    Iter(const Iter&) = delete;
    Iter& operator=(const Iter&) = delete;
    ~Iter() {
      if (list_alive_.IsValid() && --list_->notify_depth_ == 0)
        list_->Compact();
    }

    // The following observer, or null at the end of the pass or once the
    // list is gone.
    Observer* GetNext() {
      if (!list_alive_.IsValid()) return nullptr;
      const std::vector<Observer*>& observers = list_->observers_;
      size_t limit = std::min(observers.size(), end_);
      while (index_ < limit && observers[index_] == nullptr) ++index_;
      return index_ < limit ? observers[index_++] : nullptr;
    }

   private:
    ObserverList* const list_;
    const WeakReference list_alive_;
    size_t index_ = 0;
    const size_t end_;
  };

  explicit ObserverList(
      ObserverListPolicy policy = ObserverListPolicy::kNotifyAll)
      : policy_(policy) {}
  ObserverList(const ObserverList&) = delete;
  ObserverList& operator=(const ObserverList&) = delete;
  ~ObserverList() = default;

  // Appends |observer| unless it is in the list already.
  void AddObserver(Observer* observer) {
    CHECK(observer);
    if (!HasObserver(observer)) observers_.push_back(observer);
  }
  void AddObserverIfAbsent(Observer* observer) { AddObserver(observer); }

  // Removes |observer|; while a notification runs its entry is only
  // cleared. An absent observer is ignored.
  void RemoveObserver(const Observer* observer) {
    auto it = std::find(observers_.begin(), observers_.end(), observer);
    if (it == observers_.end()) return;
    if (notify_depth_ > 0)
      *it = nullptr;
    else
      observers_.erase(it);
  }

  bool HasObserver(const Observer* observer) const {
    return observer && std::find(observers_.begin(), observers_.end(),
                                 observer) != observers_.end();
  }

  // True unless the list is known to be empty (cleared entries count until
  // the list is compacted).
  bool might_have_observers() const { return !observers_.empty(); }

  // Removes every observer (only clears them during a notification).
  void Clear() {
    if (notify_depth_ > 0)
      std::fill(observers_.begin(), observers_.end(), nullptr);
    else
      observers_.clear();
  }

  // Calls |method| with |args| on every observer, in one pass.
  template <typename Method, typename... Args>
  void Notify(Method method, const Args&... args) {
    Iter it(this);
    while (Observer* observer = it.GetNext()) (observer->*method)(args...);
  }

 private:
  void Compact() {
    observers_.erase(std::remove(observers_.begin(), observers_.end(), nullptr),
                     observers_.end());
  }

  WeakReferenceOwner weak_owner_;
  std::vector<Observer*> observers_;
  int notify_depth_ = 0;
  const ObserverListPolicy policy_;
};

}  // namespace base

#endif  // BASE_OBSERVER_LIST_H_
