#include "desktop/windows/installer/common/branding_config.h"

#include "base/values.h"

namespace installer {

// No resources outside Windows: the built-in document serves.
std::unique_ptr<base::DictionaryValue> LoadBrandingDocumentFromModules() {
  return nullptr;
}

}  // namespace installer
