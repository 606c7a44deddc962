#include "base/win/scoped_variant.h"

#include <oleauto.h>

#include "base/strings/string_util_win.h"

namespace base {
namespace win {

ScopedVariant::ScopedVariant() { VariantInit(&variant_); }

ScopedVariant::ScopedVariant(const char16_t* text) {
  VariantInit(&variant_);
  variant_.vt = VT_BSTR;
  variant_.bstrVal = SysAllocString(as_wcstr(text));
}

ScopedVariant::~ScopedVariant() { VariantClear(&variant_); }

VARIANT* ScopedVariant::Receive() {
  Reset();
  return &variant_;
}

void ScopedVariant::Reset() {
  VariantClear(&variant_);
  VariantInit(&variant_);
}

}  // namespace win
}  // namespace base
