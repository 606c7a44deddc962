// PrefStore: a read-only source of preference values, looked up by dotted
// path ("browser.window.width"). Stores are reference counted and used on
// the thread that created them.

#ifndef COMPONENTS_PREFS_PREF_STORE_H_
#define COMPONENTS_PREFS_PREF_STORE_H_

#include <string>

#include "base/memory/ref_counted.h"
#include "base/values.h"

namespace prefs {

class PrefStore : public base::RefCounted<PrefStore> {
 public:
  class Observer {
   public:
    // The value at |key| was set, changed or removed.
    virtual void OnPrefValueChanged(const std::string& key) = 0;
    // The store finished loading; false when it could not be loaded.
    virtual void OnInitializationCompleted(bool succeeded) = 0;

   protected:
    virtual ~Observer() = default;
  };

  PrefStore() = default;
  PrefStore(const PrefStore&) = delete;
  PrefStore& operator=(const PrefStore&) = delete;

  // The default store has no observers and is always initialized.
  virtual void AddObserver(Observer* observer) {}
  virtual void RemoveObserver(Observer* observer) {}
  virtual bool HasObservers() const;
  virtual bool IsInitializationComplete() const;

  // The value at |key|, owned by the store; |result| may be null to test
  // for presence only. False when there is none.
  virtual bool GetValue(const std::string& key,
                        const base::Value** result) const = 0;

 protected:
  friend class base::RefCounted<PrefStore>;
  virtual ~PrefStore() = default;
};

}  // namespace prefs

#endif  // COMPONENTS_PREFS_PREF_STORE_H_
