#include "desktop/windows/crash_reporter/module_list.h"

#include <string>
#include <vector>

#include "gtest/gtest.h"

namespace crash_reporter {

namespace {

TEST(ParseModuleListTest, RecordsUntilTheFirstBrokenOne) {
  const ModuleListRecord host = {u"host.exe", u"C:\\x\\host.exe",
                                 0x7FF612340000, 0x20000};
  const ModuleListRecord dll = {u"a.dll", u"C:\\a.dll", 0x180000000, 0x1a};
  struct {
    const char* name;
    std::u16string text;
    std::vector<ModuleListRecord> expected;
  } cases[] = {
      {"empty", u"", {}},
      {"two records",
       u"host.exe:00007FF612340000:20000:C:\\x\\host.exe::"
       u"a.dll:0x180000000:0X1a:C:\\a.dll::",
       {host, dll}},
      {"missing final delimiter",
       u"host.exe:00007FF612340000:20000:C:\\x\\host.exe::"
       u"a.dll:180000000:1a:C:\\a.dll:",
       {host}},
      {"empty name", u":1:2:C:\\a::", {}},
      {"empty base", u"a::2:C:\\a::", {}},
      {"empty path", u"a:1:2:::", {}},
      {"not hexadecimal",
       u"host.exe:00007FF612340000:20000:C:\\x\\host.exe::a.dll:12g:1:p::",
       {host}},
      {"a bare prefix", u"a:0x:1:p::", {}},
      {"a sign", u"a:-1:1:p::", {}},
      {"more than 64 bits", u"a:10000000000000000:1:p::", {}},
      {"64 bits",
       u"a:FFFFFFFFFFFFFFFF:1:p::",
       {{u"a", u"p", 0xFFFFFFFFFFFFFFFF, 1}}},
      {"trailing text", u"a:1:2:p::garbage", {{u"a", u"p", 1, 2}}},
  };
  for (const auto& test : cases) {
    SCOPED_TRACE(test.name);
    EXPECT_EQ(test.expected, ParseModuleList(test.text));
  }
}

TEST(ParseModuleListTest, ReadsTheClientsFormat) {
  // What the crash client writes: 16 upper-case digits of base, lower-case
  // size, a path holding a drive's colon.
  const std::u16string text =
      u"installer.exe:0000000140000000:3a000:C:\\Temp\\installer.exe::";
  const std::vector<ModuleListRecord> records = ParseModuleList(text);
  ASSERT_EQ(1u, records.size());
  EXPECT_EQ(0x140000000u, records[0].base);
  EXPECT_EQ(0x3a000u, records[0].size);
  EXPECT_EQ(u"C:\\Temp\\installer.exe", records[0].path);
}

}  // namespace

}  // namespace crash_reporter
