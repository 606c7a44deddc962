#include "base/win/scoped_variant.h"

#include <unknwn.h>

#include "gtest/gtest.h"

namespace base {
namespace win {
namespace {

// An interface that counts the releases it gets.
class CountingUnknown : public IUnknown {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** object) override {
    *object = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++references; }
  ULONG STDMETHODCALLTYPE Release() override {
    ++releases;
    return --references;
  }

  ULONG references = 1;
  int releases = 0;
};

// A COM method that fills an out VARIANT.
void MethodReturningInterface(CountingUnknown* object, VARIANT* result) {
  result->vt = VT_UNKNOWN;
  result->punkVal = object;
}

TEST(ScopedVariantTest, ValueSetByAComMethodIsClearedOnce) {
  CountingUnknown object;
  {
    ScopedVariant variant(u"replaced");
    MethodReturningInterface(&object, variant.Receive());
    EXPECT_EQ(VT_UNKNOWN, variant.type());
  }
  EXPECT_EQ(1, object.releases);
  EXPECT_EQ(0u, object.references);
}

TEST(ScopedVariantTest, TextIsABstr) {
  ScopedVariant variant(u"text");
  EXPECT_EQ(VT_BSTR, variant.type());
  EXPECT_EQ(0, wcscmp(L"text", variant.Get().bstrVal));
  ScopedVariant empty(u"");
  EXPECT_NE(nullptr, empty.Get().bstrVal);
  variant.Reset();
  EXPECT_EQ(VT_EMPTY, variant.type());
  EXPECT_EQ(VT_EMPTY, ScopedVariant().type());
}

}  // namespace
}  // namespace win
}  // namespace base
