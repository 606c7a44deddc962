// ScopedVariant: owns one COM VARIANT and clears it with VariantClear when
// it goes out of scope (freeing a string, releasing an interface).

#ifndef BASE_WIN_SCOPED_VARIANT_H_
#define BASE_WIN_SCOPED_VARIANT_H_

#include <windows.h>
// After windows.h, whose types it uses.
#include <oaidl.h>

namespace base {
namespace win {

class ScopedVariant {
 public:
  // VT_EMPTY.
  ScopedVariant();
  // VT_BSTR holding a copy of the NUL-terminated |text|.
  explicit ScopedVariant(const char16_t* text);
  ScopedVariant(const ScopedVariant&) = delete;
  ScopedVariant& operator=(const ScopedVariant&) = delete;
  ~ScopedVariant();

  VARTYPE type() const { return variant_.vt; }
  const VARIANT& Get() const { return variant_; }
  // For a COM method's in parameter.
  VARIANT* AsInput() { return &variant_; }
  // Clears the value and returns the address for an out parameter; the new
  // value is cleared when this object goes out of scope.
  VARIANT* Receive();
  // Clears the value back to VT_EMPTY.
  void Reset();

 private:
  VARIANT variant_;
};

}  // namespace win
}  // namespace base

#endif  // BASE_WIN_SCOPED_VARIANT_H_
