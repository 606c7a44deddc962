// PrefFilter: a hook that sees a store's values when they are loaded,
// changed and written, and may alter them (for example to check their
// integrity). Owned by the store; used on the store's thread.

#ifndef COMPONENTS_PREFS_PREF_FILTER_H_
#define COMPONENTS_PREFS_PREF_FILTER_H_

#include <memory>
#include <string>

#include "base/callback.h"
#include "base/values.h"

namespace prefs {

class PrefFilter {
 public:
  // Hands the filtered values back, and whether they must be written.
  using PostFilterOnLoadCallback = base::Callback<void(
      std::unique_ptr<base::DictionaryValue> prefs, bool schedule_write)>;

  virtual ~PrefFilter() = default;

  // Receives the loaded values and must run |post_filter_on_load| once,
  // now or later, with the values the store is to use.
  virtual void FilterOnLoad(
      const PostFilterOnLoadCallback& post_filter_on_load,
      std::unique_ptr<base::DictionaryValue> pref_store_contents) = 0;
  // The value at |path| changed.
  virtual void FilterUpdate(const std::string& path) = 0;
  // The values are about to be written.
  virtual void FilterSerializeData(
      base::DictionaryValue* pref_store_contents) = 0;
};

}  // namespace prefs

#endif  // COMPONENTS_PREFS_PREF_FILTER_H_
