#include "base/win/shortcut.h"

#include <objbase.h>
#include <shellapi.h>
#include <shlobj.h>
#include <string.h>
#include <wrl/client.h>

#include "base/logging.h"
#include "base/strings/string_util_win.h"

namespace base {
namespace win {

using Microsoft::WRL::ComPtr;

namespace {

// The property set of the application user model.
constexpr GUID kAppUserModelProperties = {
    0x9F4C2855,
    0x9F79,
    0x4B39,
    {0xA8, 0xD0, 0xE1, 0xD4, 0x2D, 0xE1, 0xD5, 0xF3}};

}  // namespace

const PROPERTYKEY kAppUserModelIdKey = {kAppUserModelProperties, 5};
const PROPERTYKEY kAppUserModelIsDualModeKey = {kAppUserModelProperties, 11};

namespace {

// Texts read back from a link. Arguments and descriptions may be longer than
// a path (up to INFOTIPSIZE); a shorter buffer would cut them, and a
// replaced shortcut would silently lose the end of its arguments.
constexpr int kPathUnits = MAX_PATH;
constexpr int kInfoTipUnits = INFOTIPSIZE;

bool CreateLink(ComPtr<IShellLinkW>* link, ComPtr<IPersistFile>* persist) {
  *link = nullptr;
  *persist = nullptr;
  if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER,
                              IID_PPV_ARGS(link->GetAddressOf()))) ||
      FAILED((*link)->QueryInterface(IID_PPV_ARGS(persist->GetAddressOf())))) {
    *link = nullptr;
    *persist = nullptr;
    return false;
  }
  return true;
}

// The link object for |shortcut| loaded for update, or for nothing when
// |shortcut| is null. On any failure both pointers are left empty.
void InitializeShortcutInterfaces(const wchar_t* shortcut,
                                  ComPtr<IShellLinkW>* link,
                                  ComPtr<IPersistFile>* persist) {
  if (!CreateLink(link, persist)) return;
  if (shortcut && FAILED((*persist)->Load(shortcut, STGM_READWRITE))) {
    *link = nullptr;
    *persist = nullptr;
  }
}

HRESULT QueryLinkPropertyStore(IShellLinkW* link, IPropertyStore** store) {
  return link->QueryInterface(IID_PPV_ARGS(store));
}

internal::LinkPropertyStoreGetter g_get_link_property_store =
    &QueryLinkPropertyStore;

// The link's property store; null when it has none.
ComPtr<IPropertyStore> GetLinkPropertyStore(IShellLinkW* link) {
  ComPtr<IPropertyStore> store;
  if (FAILED(g_get_link_property_store(link, store.GetAddressOf())))
    return nullptr;
  return store;
}

bool AppIdAndDualModeApply() { return GetWindowsVersion() >= kVersionWin7; }

// Sets the target, working folder, arguments (else keeps the old link's),
// description and icon that |properties| carry, in that order; the first
// failure gives false.
bool SetLinkFields(IShellLinkW* link, IShellLinkW* old_link,
                   const ShortcutProperties& properties) {
  const uint32_t options = properties.options;
  if ((options & ShortcutProperties::PROPERTIES_TARGET) &&
      FAILED(link->SetPath(as_wcstr(properties.target.value())))) {
    return false;
  }
  if ((options & ShortcutProperties::PROPERTIES_WORKING_DIR) &&
      FAILED(link->SetWorkingDirectory(
          as_wcstr(properties.working_dir.value())))) {
    return false;
  }
  if (options & ShortcutProperties::PROPERTIES_ARGUMENTS) {
    if (FAILED(link->SetArguments(as_wcstr(properties.arguments))))
      return false;
  } else if (old_link) {
    wchar_t arguments[kInfoTipUnits] = {};
    if (SUCCEEDED(old_link->GetArguments(arguments, kInfoTipUnits)))
      link->SetArguments(arguments);
  }
  if ((options & ShortcutProperties::PROPERTIES_DESCRIPTION) &&
      FAILED(link->SetDescription(as_wcstr(properties.description)))) {
    return false;
  }
  if ((options & ShortcutProperties::PROPERTIES_ICON) &&
      FAILED(link->SetIconLocation(as_wcstr(properties.icon.value()),
                                   properties.icon_index))) {
    return false;
  }
  return true;
}

bool SetAppIdAndDualMode(IShellLinkW* link,
                         const ShortcutProperties& properties) {
  const bool has_app_id =
      properties.options & ShortcutProperties::PROPERTIES_APP_ID;
  const bool has_dual_mode =
      properties.options & ShortcutProperties::PROPERTIES_DUAL_MODE;
  if (!(has_app_id || has_dual_mode) || !AppIdAndDualModeApply()) return true;
  const ComPtr<IPropertyStore> store = GetLinkPropertyStore(link);
  if (!store) return false;
  if (has_app_id &&
      !SetStringValueForPropertyStore(store.Get(), kAppUserModelIdKey,
                                      properties.app_id.c_str())) {
    return false;
  }
  if (has_dual_mode &&
      !SetBooleanValueForPropertyStore(store.Get(), kAppUserModelIsDualModeKey,
                                       properties.dual_mode)) {
    return false;
  }
  return true;
}

// Texts come back cut at their first NUL: the buffers are zeroed and the
// shell terminates what it writes.
bool ReadLinkFields(IShellLinkW* link, uint32_t mask,
                    ShortcutProperties* properties) {
  wchar_t text[kInfoTipUnits] = {};
  if (mask & ShortcutProperties::PROPERTIES_TARGET) {
    if (FAILED(link->GetPath(text, kPathUnits, nullptr, SLGP_UNCPRIORITY)))
      return false;
    properties->set_target(FilePath(as_u16cstr(text)));
  }
  if (mask & ShortcutProperties::PROPERTIES_WORKING_DIR) {
    text[0] = 0;
    if (FAILED(link->GetWorkingDirectory(text, kPathUnits))) return false;
    properties->set_working_dir(FilePath(as_u16cstr(text)));
  }
  if (mask & ShortcutProperties::PROPERTIES_ARGUMENTS) {
    text[0] = 0;
    if (FAILED(link->GetArguments(text, kInfoTipUnits))) return false;
    properties->set_arguments(as_u16cstr(text));
  }
  if (mask & ShortcutProperties::PROPERTIES_DESCRIPTION) {
    text[0] = 0;
    if (FAILED(link->GetDescription(text, kInfoTipUnits))) return false;
    properties->set_description(as_u16cstr(text));
  }
  if (mask & ShortcutProperties::PROPERTIES_ICON) {
    text[0] = 0;
    int index = 0;
    if (FAILED(link->GetIconLocation(text, kPathUnits, &index))) return false;
    properties->set_icon(FilePath(as_u16cstr(text)), index);
  }
  return true;
}

bool ReadAppIdAndDualMode(IShellLinkW* link, uint32_t mask,
                          ShortcutProperties* properties) {
  const bool wants_app_id = mask & ShortcutProperties::PROPERTIES_APP_ID;
  const bool wants_dual_mode = mask & ShortcutProperties::PROPERTIES_DUAL_MODE;
  if (!(wants_app_id || wants_dual_mode) || !AppIdAndDualModeApply())
    return true;
  const ComPtr<IPropertyStore> store = GetLinkPropertyStore(link);
  if (!store) return false;
  if (wants_app_id) {
    PROPVARIANT value;
    PropVariantInit(&value);
    if (FAILED(store->GetValue(kAppUserModelIdKey, &value))) return false;
    bool ok = true;
    if (value.vt == VT_EMPTY)
      properties->set_app_id(std::u16string());
    else if (value.vt == VT_LPWSTR)
      properties->set_app_id(as_u16cstr(value.pwszVal));
    else
      ok = false;
    PropVariantClear(&value);
    if (!ok) return false;
  }
  if (wants_dual_mode) {
    PROPVARIANT value;
    PropVariantInit(&value);
    if (FAILED(store->GetValue(kAppUserModelIsDualModeKey, &value)))
      return false;
    bool ok = true;
    if (value.vt == VT_EMPTY)
      properties->set_dual_mode(false);
    else if (value.vt == VT_BOOL)
      properties->set_dual_mode(value.boolVal == VARIANT_TRUE);
    else
      ok = false;
    PropVariantClear(&value);
    if (!ok) return false;
  }
  return true;
}

}  // namespace

HRESULT InitPropVariantFromString(const char16_t* text, PROPVARIANT* value) {
  memset(value, 0, sizeof(*value));
  if (!text) return E_INVALIDARG;
  const size_t bytes = (std::char_traits<char16_t>::length(text) + 1) * 2;
  auto* copy = static_cast<wchar_t*>(CoTaskMemAlloc(bytes));
  if (!copy) return E_OUTOFMEMORY;
  memcpy(copy, text, bytes);
  value->vt = VT_LPWSTR;
  value->pwszVal = copy;
  return S_OK;
}

namespace {

bool SetAndCommit(IPropertyStore* store, const PROPERTYKEY& key,
                  PROPVARIANT* value) {
  HRESULT result = store->SetValue(key, *value);
  if (result == S_OK) result = store->Commit();
  PropVariantClear(value);
  return SUCCEEDED(result);
}

}  // namespace

bool SetStringValueForPropertyStore(IPropertyStore* store,
                                    const PROPERTYKEY& key,
                                    const char16_t* text) {
  PROPVARIANT value;
  if (FAILED(InitPropVariantFromString(text, &value))) return false;
  return SetAndCommit(store, key, &value);
}

bool SetBooleanValueForPropertyStore(IPropertyStore* store,
                                     const PROPERTYKEY& key, bool flag) {
  PROPVARIANT value;
  PropVariantInit(&value);
  value.vt = VT_BOOL;
  value.boolVal = flag ? VARIANT_TRUE : VARIANT_FALSE;
  return SetAndCommit(store, key, &value);
}

bool CreateOrUpdateShortcutLink(const FilePath& shortcut_path,
                                const ShortcutProperties& properties,
                                ShortcutWriteMode mode) {
  if (mode != SHORTCUT_UPDATE_EXISTING &&
      !(properties.options & ShortcutProperties::PROPERTIES_TARGET)) {
    return false;
  }
  const wchar_t* path = as_wcstr(shortcut_path.value());
  const bool shortcut_existed =
      GetFileAttributesW(path) != INVALID_FILE_ATTRIBUTES;

  ComPtr<IShellLinkW> link;
  ComPtr<IPersistFile> persist;
  ComPtr<IShellLinkW> old_link;
  ComPtr<IPersistFile> old_persist;
  switch (mode) {
    case SHORTCUT_CREATE_ALWAYS:
      CreateLink(&link, &persist);
      break;
    case SHORTCUT_UPDATE_EXISTING:
      InitializeShortcutInterfaces(path, &link, &persist);
      break;
    case SHORTCUT_REPLACE_EXISTING:
      InitializeShortcutInterfaces(path, &old_link, &old_persist);
      if (!old_persist) return false;
      CreateLink(&link, &persist);
      break;
    default:
      return false;
  }
  if (!persist) return false;

  if (!SetLinkFields(link.Get(), old_link.Get(), properties) ||
      !SetAppIdAndDualMode(link.Get(), properties)) {
    return false;
  }
  // Released before the save, so the old file is not held open.
  old_link = nullptr;
  old_persist = nullptr;

  const bool saved = SUCCEEDED(persist->Save(path, TRUE));
  link = nullptr;
  persist = nullptr;
  if (!saved) {
    LOG(ERROR) << "Cannot save the shortcut " << shortcut_path;
    return false;
  }
  if (shortcut_existed)
    SHChangeNotify(SHCNE_ASSOCCHANGED, SHCNF_IDLIST, nullptr, nullptr);
  else
    SHChangeNotify(SHCNE_CREATE, SHCNF_PATHW, path, nullptr);
  return true;
}

bool ResolveShortcutProperties(const FilePath& shortcut_path, uint32_t mask,
                               ShortcutProperties* properties) {
  ComPtr<IShellLinkW> link;
  ComPtr<IPersistFile> persist;
  if (!CreateLink(&link, &persist) ||
      FAILED(persist->Load(as_wcstr(shortcut_path.value()), STGM_READ))) {
    return false;
  }
  properties->options = 0;
  return ReadLinkFields(link.Get(), mask, properties) &&
         ReadAppIdAndDualMode(link.Get(), mask, properties);
}

bool ResolveShortcut(const FilePath& shortcut_path, FilePath* target) {
  ShortcutProperties properties;
  const uint32_t mask =
      target ? uint32_t{ShortcutProperties::PROPERTIES_TARGET} : 0u;
  if (!ResolveShortcutProperties(shortcut_path, mask, &properties))
    return false;
  if (target) *target = properties.target;
  return true;
}

bool CanPinShortcutToTaskbarOnVersion(WindowsVersion version) {
  return version >= kVersionWin7 && version < kVersionWin10;
}

bool CanPinShortcutToTaskbar() {
  return CanPinShortcutToTaskbarOnVersion(GetWindowsVersion());
}

namespace internal {

LinkPropertyStoreGetter SetLinkPropertyStoreGetterForTesting(
    LinkPropertyStoreGetter getter) {
  const LinkPropertyStoreGetter previous = g_get_link_property_store;
  g_get_link_property_store = getter;
  return previous;
}

bool TaskbarVerb(const FilePath& shortcut_path, const wchar_t* verb,
                 ShellExecuteFunction shell_execute) {
  const HINSTANCE result =
      shell_execute(nullptr, verb, as_wcstr(shortcut_path.value()), nullptr,
                    nullptr, SW_HIDE);
  return reinterpret_cast<INT_PTR>(result) > 32;
}

bool TaskbarUnpinShortcutLinkOnVersion(const FilePath& shortcut_path,
                                       WindowsVersion version,
                                       ShellExecuteFunction shell_execute) {
  if (version < kVersionWin7) return false;
  return TaskbarVerb(shortcut_path, L"taskbarunpin", shell_execute);
}

}  // namespace internal

bool TaskbarPinShortcutLink(const FilePath& shortcut_path) {
  return internal::TaskbarVerb(shortcut_path, L"taskbarpin", &ShellExecuteW);
}

bool TaskbarUnpinShortcutLink(const FilePath& shortcut_path) {
  return internal::TaskbarUnpinShortcutLinkOnVersion(
      shortcut_path, GetWindowsVersion(), &ShellExecuteW);
}

}  // namespace win
}  // namespace base
