#include "desktop/windows/installer/service/placeholder_expansion.h"

#include <iterator>
#include <map>
#include <string>

#include "gtest/gtest.h"

namespace installer {
namespace {

TEST(PlaceholderExpansionTest, ExpandsOncePerPlaceholder) {
  const std::map<std::u16string, std::u16string> kValues = {
      {u"Product", u"Velna"},
      {u"Stream", u"Stable"},
      {u"InstallFolder", u"C:\\a{InstallFolder}"},
      {u"Open", u"{"},
      {u"", u"(empty)"},
  };
  // Like the installer's delegate: an unknown name comes back unchanged.
  auto resolve = [&](const std::u16string& name) {
    auto it = kValues.find(name);
    return it == kValues.end() ? name : it->second;
  };
  const struct {
    const char16_t* text;
    const char16_t* expected;
  } kCases[] = {
      {u"{Product}{Stream}", u"VelnaStable"},
      {u"Software\\Classes\\{Product}{Stream}\\DefaultIcon",
       u"Software\\Classes\\VelnaStable\\DefaultIcon"},
      {u"{Foo}", u"Foo"},
      {u"", u""},
      {u"no braces", u"no braces"},
      {u"a { without end", u"a { without end"},
      {u"{Product} and {Stream", u"Velna and {Stream"},
      {u"}{Product}", u"}Velna"},
      {u"{}", u"(empty)"},
      {u"{Pro{Product}", u"Pro{Product"},
      // A value holding braces is written as it is, and expansion ends.
      {u"{InstallFolder}\\Launcher.exe", u"C:\\a{InstallFolder}\\Launcher.exe"},
      {u"{Open}Product}", u"{Product}"},
  };
  for (size_t i = 0; i < std::size(kCases); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(kCases[i].expected, ExpandPlaceholders(kCases[i].text, resolve));
  }
}

TEST(PlaceholderExpansionTest, ResolvesEachPlaceholderExactlyOnce) {
  int calls = 0;
  auto resolve = [&](const std::u16string&) {
    ++calls;
    return std::u16string(u"{x}");
  };
  EXPECT_EQ(u"{x}-{x}-{x}", ExpandPlaceholders(u"{a}-{b}-{c}", resolve));
  EXPECT_EQ(3, calls);
}

}  // namespace
}  // namespace installer
