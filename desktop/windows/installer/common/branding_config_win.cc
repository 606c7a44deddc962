#include "desktop/windows/installer/common/branding_config.h"

#include <windows.h>

#include <string>

#include "base/values.h"

namespace installer {

namespace {

constexpr int kBrandingResourceId = 133;
constexpr wchar_t kHarnessModuleName[] = L"_velautolib.pyd";

// The document of |module| when it holds one that parses to an object.
std::unique_ptr<base::DictionaryValue> ReadFromModule(HMODULE module) {
  HRSRC resource =
      FindResourceW(module, MAKEINTRESOURCEW(kBrandingResourceId), L"TXT");
  if (!resource)
    return nullptr;
  HGLOBAL loaded = LoadResource(module, resource);
  const void* data = loaded ? LockResource(loaded) : nullptr;
  const DWORD size = SizeofResource(module, resource);
  if (!data || !size)
    return nullptr;
  // Exactly the resource's bytes: the compiler stores no terminator.
  return ParseBrandingDocument(
      base::StringPiece(static_cast<const char*>(data), size));
}

// The folder of the main executable, with a trailing separator.
std::wstring ExecutableFolder() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    DWORD length = GetModuleFileNameW(nullptr, path.data(),
                                      static_cast<DWORD>(path.size()));
    if (length == 0)
      return std::wstring();
    if (length < path.size()) {
      path.resize(length);
      break;
    }
    path.resize(path.size() * 2);
  }
  const size_t slash = path.find_last_of(L"\\/");
  return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash + 1);
}

// The test harness module's document. Loading it by bare name would run the
// code of whatever module of that name the search path offers (an installer
// often runs from Downloads), so it is used when already loaded, else only
// mapped as resource data from the executable's own folder.
std::unique_ptr<base::DictionaryValue> ReadFromHarnessModule() {
  if (HMODULE loaded = GetModuleHandleW(kHarnessModuleName))
    return ReadFromModule(loaded);
  const std::wstring folder = ExecutableFolder();
  if (folder.empty())
    return nullptr;
  const std::wstring path = folder + kHarnessModuleName;
  if (GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES)
    return nullptr;
  HMODULE data_module = LoadLibraryExW(
      path.c_str(), nullptr,
      LOAD_LIBRARY_AS_IMAGE_RESOURCE | LOAD_LIBRARY_AS_DATAFILE);
  if (!data_module)
    return nullptr;
  std::unique_ptr<base::DictionaryValue> document = ReadFromModule(data_module);
  FreeLibrary(data_module);
  return document;
}

}  // namespace

std::unique_ptr<base::DictionaryValue> LoadBrandingDocumentFromModules() {
  if (std::unique_ptr<base::DictionaryValue> document = ReadFromModule(nullptr))
    return document;
  return ReadFromHarnessModule();
}

}  // namespace installer
