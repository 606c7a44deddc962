#include "components/prefs/pref_store.h"

namespace prefs {

bool PrefStore::HasObservers() const { return false; }

bool PrefStore::IsInitializationComplete() const { return true; }

}  // namespace prefs
