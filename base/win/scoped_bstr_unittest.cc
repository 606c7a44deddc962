#include "base/win/scoped_bstr.h"

#include "gtest/gtest.h"

namespace base {
namespace win {
namespace {

TEST(ScopedBstrTest, EmptyTextGivesAnEmptyStringNotNull) {
  ScopedBstr empty(u"");
  ASSERT_NE(nullptr, empty.Get());
  EXPECT_EQ(0u, empty.Length());
  EXPECT_EQ(0u, SysStringByteLen(empty.Get()));
}

TEST(ScopedBstrTest, HoldsACopy) {
  char16_t text[] = u"Velna";
  ScopedBstr bstr(text);
  text[0] = u'X';
  EXPECT_EQ(5u, bstr.Length());
  EXPECT_EQ(0, wcscmp(L"Velna", bstr.Get()));
}

TEST(ScopedBstrTest, ReceiveFreesTheOldString) {
  ScopedBstr bstr(u"old");
  BSTR* out = bstr.Receive();
  EXPECT_EQ(nullptr, *out);
  *out = SysAllocString(L"new");
  EXPECT_EQ(0, wcscmp(L"new", bstr.Get()));
  BSTR released = bstr.Release();
  EXPECT_EQ(nullptr, bstr.Get());
  EXPECT_EQ(0u, bstr.Length());
  SysFreeString(released);
}

}  // namespace
}  // namespace win
}  // namespace base
