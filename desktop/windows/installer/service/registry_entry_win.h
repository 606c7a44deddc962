// Registry entry templates: constant rows that each name a key, a value and
// its data, with placeholders in braces, and RegistryEntry, which turns one
// row into one undoable registry operation for a given root key.
//
// Applying a row checks whether it applies (Windows version, root key,
// release channel), expands its placeholders through the delegate, records
// the value in the install log section the delegate names (with the row's
// clean depth, before anything runs), and hands back the operation for the
// caller to run into its transaction. One thread at a time.

#ifndef DESKTOP_WINDOWS_INSTALLER_SERVICE_REGISTRY_ENTRY_WIN_H_
#define DESKTOP_WINDOWS_INSTALLER_SERVICE_REGISTRY_ENTRY_WIN_H_

#include <stdint.h>
#include <windows.h>

#include <memory>
#include <string>

#include "desktop/windows/installer/service/install_log.h"

namespace installer {

class Operation;
class OwnRegistryRows;
class Transaction;

// The data of a row, read according to its type.
struct RegistryEntryData {
  // REG_SZ, REG_EXPAND_SZ: a template; null gives an empty text.
  const char16_t* text = nullptr;
  // REG_BINARY: the bytes before the terminating NUL.
  const char* bytes = nullptr;
  // REG_DWORD: must fit in 32 bits.
  uint64_t number = 0;
};

constexpr RegistryEntryData TextData(const char16_t* text) {
  return {text, nullptr, 0};
}
constexpr RegistryEntryData BinaryData(const char* bytes) {
  return {nullptr, bytes, 0};
}
constexpr RegistryEntryData DwordData(uint64_t number) {
  return {nullptr, nullptr, number};
}
inline constexpr RegistryEntryData kNoData = {};

struct RegistryEntryTemplate {
  // Key path template, relative to the root key.
  const char16_t* key;
  // Value name template; null is the key's default value.
  const char16_t* value_name;
  // REG_NONE, REG_SZ, REG_EXPAND_SZ, REG_BINARY, REG_DWORD,
  // kRegTypeRemoveValue or kRegTypeDeleteKey (the key with its subtree).
  uint32_t type;
  RegistryEntryData data;
  // The row applies from this Windows version index on (base/win/
  // windows_version.h: 1 Windows XP, 3 Vista).
  int32_t min_os_version;
  // Null: any root; else only exactly this one.
  HKEY root;
  // The row applies when the build's release channel is at least this
  // (0 always, 4 stable builds only).
  int32_t min_channel;
  // Recorded with the value: 0 uninstall removes the value only; d > 0 it
  // deletes the key d - 1 levels above the value's key.
  uint32_t clean_depth;
};

class RegistryEntry {
 public:
  class Delegate {
   public:
    virtual ~Delegate() = default;
    // The value of the placeholder |name| (without braces). An unknown name
    // comes back unchanged, by convention.
    virtual std::u16string ResolvePlaceholder(const std::u16string& name) = 0;
    // The install log section that values applied for |root| are recorded
    // in, or null to record nothing.
    virtual InstallLogRegistry* GetInstallLogRegistry(HKEY root) = 0;
  };

  // |delegate| is not owned and must outlive this object.
  RegistryEntry(const RegistryEntryTemplate& row, Delegate* delegate);
  RegistryEntry(const RegistryEntry&) = delete;
  RegistryEntry& operator=(const RegistryEntry&) = delete;
  ~RegistryEntry();

  // Whether |row| applies for |root| on Windows version index
  // |windows_version| in a build of release channel |release_channel|.
  static bool Applies(const RegistryEntryTemplate& row, HKEY root,
                      int windows_version, int release_channel);

  // Clears |*out|. True with no operation when the row does not apply here;
  // true with a new, not yet executed operation when it does; false only for
  // a type it cannot handle. A DWORD or a binary length beyond 32 bits in
  // the row is a broken invariant.
  bool Apply(HKEY root, std::unique_ptr<Operation>* out);

  // |text| with its placeholders expanded (see ExpandPlaceholders); null
  // gives an empty string.
  std::u16string ExpandPlaceholders(const char16_t* text);

 private:
  const RegistryEntryTemplate row_;
  Delegate* const delegate_;
};

// The uninstall clean-up of one install log section, whose keys were
// recorded under |root|: a key of clean depth d > 0 has the key d - 1
// levels above it deleted with its subtree; a key of depth 0 has each
// recorded value removed. Every operation runs into |transaction|, so the
// clean-up can be rolled back. The log is a file that others may have
// changed: a key whose clean-up would delete or change anything that no
// row of |own| writes (also any key of fewer than three levels,
// "Software\Classes") is refused, with an error line that names it. The
// walk goes on after a refusal or a failure; the result is false when
// anything was refused or failed.
bool CleanUpInstallLogRegistry(HKEY root, const InstallLogRegistry& section,
                               const OwnRegistryRows& own,
                               Transaction* transaction);

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_SERVICE_REGISTRY_ENTRY_WIN_H_
