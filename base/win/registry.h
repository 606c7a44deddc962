// RegKey: the owned handle of one open registry key, with typed reads and
// writes. Results are Windows error codes, passed on from the registry calls
// unchanged except where a read below says otherwise; nothing is logged.

#ifndef BASE_WIN_REGISTRY_H_
#define BASE_WIN_REGISTRY_H_

#include <windows.h>

#include <string>

namespace base {
namespace win {

// Value names are NUL-terminated wide texts; a null or empty name means the
// key's default value. Not thread-safe; one owner at a time.
class RegKey {
 public:
  // A text read is limited to this many bytes of data (1,024 UTF-16 units,
  // the terminating NUL included), and so is its expansion, in units.
  static constexpr DWORD kMaxTextBytes = 2048;
  static constexpr DWORD kMaxExpandedUnits = 1024;

  RegKey();
  // Creates the key when |access| asks to write (KEY_SET_VALUE,
  // KEY_CREATE_SUB_KEY or KEY_CREATE_LINK), else opens it; test Valid() to
  // know whether that worked. A null |root| opens nothing and only keeps the
  // registry-view bits of |access|.
  RegKey(HKEY root, const char16_t* subkey, REGSAM access);
  RegKey(const RegKey&) = delete;
  RegKey& operator=(const RegKey&) = delete;
  ~RegKey();

  // Both close the key held before only when they succeed; on failure the
  // object is unchanged.
  LONG Create(HKEY root, const char16_t* subkey, REGSAM access);
  LONG Open(HKEY root, const char16_t* subkey, REGSAM access);
  void Close();

  bool Valid() const { return key_ != nullptr; }
  HKEY Handle() const { return key_; }
  // The registry-view bits (KEY_WOW64_64KEY, KEY_WOW64_32KEY) of the access
  // mask the key was opened with.
  REGSAM wow64access() const { return wow64access_; }

  // A REG_DWORD, or a REG_BINARY of exactly 4 bytes. ERROR_MORE_DATA for
  // longer data, ERROR_CANTREAD for any other type or size. |*out| changes
  // only on success.
  LONG ReadValueDW(const char16_t* name, DWORD* out) const;

  // A REG_SZ, or a REG_EXPAND_SZ with its environment variables expanded.
  // The text ends at its first NUL, or at the end of the data when it has
  // none. ERROR_MORE_DATA when the data exceeds kMaxTextBytes or the
  // expansion kMaxExpandedUnits; ERROR_CANTREAD for other types. |*out|
  // changes only on success. Without a key the query fails with the
  // system's code for an invalid handle.
  LONG ReadValue(const char16_t* name, std::u16string* out) const;

  LONG WriteValue(const char16_t* name, DWORD value);
  // A REG_SZ with its terminating NUL.
  LONG WriteValue(const char16_t* name, const char16_t* text);
  // Raw data of any type, stored as given (no NUL added).
  LONG WriteValue(const char16_t* name, const void* data, DWORD size,
                  DWORD type);
  LONG DeleteValue(const char16_t* name);
  // Deletes the subkey |name| with everything below it; a null name empties
  // this key of its subkeys and values.
  LONG DeleteKey(const char16_t* name);

 private:
  // Holds |key| (closing the one held before) with the view bits of
  // |access|.
  void Take(HKEY key, REGSAM access);

  HKEY key_ = nullptr;
  REGSAM wow64access_ = 0;
};

}  // namespace win
}  // namespace base

#endif  // BASE_WIN_REGISTRY_H_
