// ScopedBstr: owns one COM BSTR and frees it with SysFreeString when it
// goes out of scope, so that no early return leaks it.

#ifndef BASE_WIN_SCOPED_BSTR_H_
#define BASE_WIN_SCOPED_BSTR_H_

#include <stddef.h>
#include <windows.h>
// After windows.h, whose types it uses.
#include <oleauto.h>

namespace base {
namespace win {

class ScopedBstr {
 public:
  ScopedBstr() = default;
  // A copy of the NUL-terminated |text|; null when allocation fails. An
  // empty text gives an empty BSTR, not null.
  explicit ScopedBstr(const char16_t* text);
  ScopedBstr(const ScopedBstr&) = delete;
  ScopedBstr& operator=(const ScopedBstr&) = delete;
  ~ScopedBstr();

  BSTR Get() const { return bstr_; }
  // Characters, not counting the terminating NUL; 0 for null.
  size_t Length() const;

  // Frees the held string and takes |bstr|.
  void Reset(BSTR bstr = nullptr);
  // Gives up ownership; the caller frees the result.
  BSTR Release();
  // Frees the held string and returns the address for an out parameter.
  BSTR* Receive();

 private:
  BSTR bstr_ = nullptr;
};

}  // namespace win
}  // namespace base

#endif  // BASE_WIN_SCOPED_BSTR_H_
