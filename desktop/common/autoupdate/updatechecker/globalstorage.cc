#include "desktop/common/autoupdate/updatechecker/globalstorage.h"

namespace autoupdate {

void GlobalStorage::SetFallbackDirectory(const base::FilePath& folder) {}

GlobalStorage::~GlobalStorage() = default;

}  // namespace autoupdate
