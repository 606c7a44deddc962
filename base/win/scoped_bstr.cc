#include "base/win/scoped_bstr.h"

#include "base/strings/string_util_win.h"

namespace base {
namespace win {

ScopedBstr::ScopedBstr(const char16_t* text)
    : bstr_(SysAllocString(as_wcstr(text))) {}

ScopedBstr::~ScopedBstr() { SysFreeString(bstr_); }

size_t ScopedBstr::Length() const { return SysStringLen(bstr_); }

void ScopedBstr::Reset(BSTR bstr) {
  if (bstr == bstr_) return;
  SysFreeString(bstr_);
  bstr_ = bstr;
}

BSTR ScopedBstr::Release() {
  BSTR bstr = bstr_;
  bstr_ = nullptr;
  return bstr;
}

BSTR* ScopedBstr::Receive() {
  Reset();
  return &bstr_;
}

}  // namespace win
}  // namespace base
