// Windows shortcut files (.lnk): creating, updating and reading them through
// the shell's link object, with the taskbar application id and dual-mode
// flag kept in the link's property store; and pinning shortcuts to the
// taskbar through the shell's verbs.
//
// The calling thread must have initialised COM. Nothing here keeps state.

#ifndef BASE_WIN_SHORTCUT_H_
#define BASE_WIN_SHORTCUT_H_

#include <stdint.h>
#include <windows.h>

// These need windows.h first.
#include <propidl.h>
#include <propsys.h>
#include <shobjidl.h>

#include <string>

#include "base/files/file_path.h"
#include "base/win/windows_version.h"

namespace base {
namespace win {

enum ShortcutWriteMode {
  // A new link, replacing any file at the path.
  SHORTCUT_CREATE_ALWAYS = 0,
  // A new link, only where a shortcut exists already; it keeps the old
  // one's arguments unless arguments are given.
  SHORTCUT_REPLACE_EXISTING = 1,
  // The existing link with only the given fields changed.
  SHORTCUT_UPDATE_EXISTING = 2,
};

// The fields of a shortcut. Only those whose bit is in |options| are
// written or were read; the setters set the bit.
struct ShortcutProperties {
  enum Property : uint32_t {
    PROPERTIES_TARGET = 1 << 0,
    PROPERTIES_WORKING_DIR = 1 << 1,
    PROPERTIES_ARGUMENTS = 1 << 2,
    PROPERTIES_DESCRIPTION = 1 << 3,
    PROPERTIES_ICON = 1 << 4,
    PROPERTIES_APP_ID = 1 << 5,
    PROPERTIES_DUAL_MODE = 1 << 6,
    PROPERTIES_ALL = (1 << 7) - 1,
  };

  void set_target(const FilePath& value) {
    target = value;
    options |= PROPERTIES_TARGET;
  }
  void set_working_dir(const FilePath& value) {
    working_dir = value;
    options |= PROPERTIES_WORKING_DIR;
  }
  void set_arguments(const std::u16string& value) {
    arguments = value;
    options |= PROPERTIES_ARGUMENTS;
  }
  void set_description(const std::u16string& value) {
    description = value;
    options |= PROPERTIES_DESCRIPTION;
  }
  void set_icon(const FilePath& path, int index) {
    icon = path;
    icon_index = index;
    options |= PROPERTIES_ICON;
  }
  void set_app_id(const std::u16string& value) {
    app_id = value;
    options |= PROPERTIES_APP_ID;
  }
  void set_dual_mode(bool value) {
    dual_mode = value;
    options |= PROPERTIES_DUAL_MODE;
  }

  FilePath target;
  FilePath working_dir;
  std::u16string arguments;
  std::u16string description;
  FilePath icon;
  int icon_index = -1;
  std::u16string app_id;
  bool dual_mode = false;
  uint32_t options = 0;
};

// Writes the shortcut at |shortcut_path|. Creating or replacing needs the
// target. Nothing reaches the disk unless every given field was accepted;
// a failing save leaves an earlier file in place. The application id and
// dual mode are written on Windows 7 and later only (silently ignored
// before). On success the shell is told about the new or changed file.
bool CreateOrUpdateShortcutLink(const FilePath& shortcut_path,
                                const ShortcutProperties& properties,
                                ShortcutWriteMode mode);

// Reads the fields of |mask| into |*properties|, whose options become the
// bits that were read (the application id and dual mode only on Windows 7
// and later). False when the file is no shortcut or any read fails.
bool ResolveShortcutProperties(const FilePath& shortcut_path, uint32_t mask,
                               ShortcutProperties* properties);
// The shortcut's target, when |target| is given; true when the file is a
// readable shortcut.
bool ResolveShortcut(const FilePath& shortcut_path, FilePath* target);

// Windows 7, 8 and 8.1 offer the taskbar verbs that the functions below use.
bool CanPinShortcutToTaskbar();
bool CanPinShortcutToTaskbarOnVersion(WindowsVersion version);

// ShellExecuteW with the verb "taskbarpin" or "taskbarunpin"; true when the
// shell answers a value above 32. Unpinning is refused before Windows 7.
bool TaskbarPinShortcutLink(const FilePath& shortcut_path);
bool TaskbarUnpinShortcutLink(const FilePath& shortcut_path);

// The property-store steps of shortcut writing.
//
// A CoTaskMemAlloc copy of |text| as a VT_LPWSTR; E_INVALIDARG for a null
// text, E_OUTOFMEMORY when the copy fails; on failure |*value| is zeroed.
HRESULT InitPropVariantFromString(const char16_t* text, PROPVARIANT* value);
// SetValue, then Commit only when SetValue answered exactly S_OK; true when
// the last call made succeeded.
bool SetStringValueForPropertyStore(IPropertyStore* store,
                                    const PROPERTYKEY& key,
                                    const char16_t* text);
// VT_BOOL, -1 for true and 0 for false, otherwise as above.
bool SetBooleanValueForPropertyStore(IPropertyStore* store,
                                     const PROPERTYKEY& key, bool value);

// The application user model keys: id 5 (application id) and 11 (dual
// mode) of {9F4C2855-9F79-4B39-A8D0-E1D42DE1D5F3}.
extern const PROPERTYKEY kAppUserModelIdKey;
extern const PROPERTYKEY kAppUserModelIsDualModeKey;

namespace internal {

// How the link's property store is reached: QueryInterface on the link.
// Wine answers writes to that store with success and keeps nothing (reads
// answer E_NOTIMPL), so tests of the application id swap in a double.
// Returns the getter in force before.
using LinkPropertyStoreGetter = HRESULT (*)(IShellLinkW* link,
                                            IPropertyStore** store);
LinkPropertyStoreGetter SetLinkPropertyStoreGetterForTesting(
    LinkPropertyStoreGetter getter);

// ShellExecuteW's signature, so tests can see what the taskbar functions
// ask of the shell.
using ShellExecuteFunction = HINSTANCE(WINAPI*)(HWND, LPCWSTR, LPCWSTR, LPCWSTR,
                                                LPCWSTR, INT);
bool TaskbarVerb(const FilePath& shortcut_path, const wchar_t* verb,
                 ShellExecuteFunction shell_execute);
bool TaskbarUnpinShortcutLinkOnVersion(const FilePath& shortcut_path,
                                       WindowsVersion version,
                                       ShellExecuteFunction shell_execute);

}  // namespace internal

}  // namespace win
}  // namespace base

#endif  // BASE_WIN_SHORTCUT_H_
