#include "base/test/scoped_native_libraries_first_win.h"

#include "base/win/registry.h"

namespace base {

namespace {

constexpr char16_t kAppDefaultsKey[] = u"Software\\Wine\\AppDefaults";

}  // namespace

ScopedNativeLibrariesFirst::ScopedNativeLibrariesFirst(
    const std::u16string& program_name,
    const std::vector<std::u16string>& libraries)
    : program_name_(program_name) {
  const std::u16string key = std::u16string(kAppDefaultsKey) + u"\\" +
                             program_name + u"\\DllOverrides";
  win::RegKey overrides;
  if (overrides.Create(HKEY_CURRENT_USER, key.c_str(), KEY_SET_VALUE) !=
      ERROR_SUCCESS) {
    return;
  }
  ok_ = true;
  for (const std::u16string& library : libraries) {
    // Wine's names drop the ".dll".
    const std::u16string name = library.substr(0, library.rfind(u'.'));
    ok_ = ok_ && overrides.WriteValue(name.c_str(), u"native,builtin") ==
                     ERROR_SUCCESS;
  }
}

ScopedNativeLibrariesFirst::~ScopedNativeLibrariesFirst() {
  win::RegKey app_defaults;
  if (app_defaults.Open(HKEY_CURRENT_USER, kAppDefaultsKey, KEY_ALL_ACCESS) ==
      ERROR_SUCCESS) {
    app_defaults.DeleteKey(program_name_.c_str());
  }
}

}  // namespace base
