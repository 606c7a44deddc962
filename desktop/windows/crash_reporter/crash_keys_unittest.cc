#include "desktop/windows/crash_reporter/crash_keys.h"

#include <memory>
#include <string>
#include <vector>

#include "desktop/windows/crash_reporter/crash_reporter_constants.h"
#include "gtest/gtest.h"

namespace crash_reporter {
namespace {

std::u16string Repeat(char16_t c, size_t count) {
  return std::u16string(count, c);
}

std::vector<CrashKeyEntry> MakeEntries(size_t count) {
  std::vector<CrashKeyEntry> entries(count);
  for (CrashKeyEntry& entry : entries) {
    SetCrashKeyNames(&entry, 0, 0, u"old");
    SetCrashKeyValue(&entry, u"stale");
  }
  return entries;
}

TEST(CrashKeysTest, LayoutCoversEverySlotOnceInOrder) {
  size_t next = 0;
  for (size_t i = 0; i < kCrashKeyLayoutSize; ++i) {
    EXPECT_EQ(kCrashKeyLayout[i].first, next);
    EXPECT_LE(kCrashKeyLayout[i].first, kCrashKeyLayout[i].last);
    next = kCrashKeyLayout[i].last + 1;
  }
  EXPECT_EQ(next, kCrashKeyCount);

  std::vector<CrashKeyEntry> entries = MakeEntries(kCrashKeyCount);
  WriteCrashKeyLayout(entries.data());
  const struct {
    size_t slot;
    const char16_t* name;
  } expected[] = {
      {0, u"version"},           {3, u"build_request_time"},
      {4, u"process_type"},      {6, u"active_url"},
      {21, u"active_url"},       {27, u"is_wow64"},
      {28, u"exception_policy"}, {32, u"velauto_test"},
      {33, u"origin"},           {78, u"modules"},
      {93, u"modules"},          {99, u"ab_tests"},
  };
  for (const auto& row : expected) {
    EXPECT_EQ(std::u16string(entries[row.slot].name), row.name) << row.slot;
    EXPECT_EQ(entries[row.slot].value[0], 0) << row.slot;
  }
}

TEST(CrashKeysTest, SingleSlotValueKeepsAtMost63Characters) {
  const struct {
    std::u16string value;
    bool null;
    size_t kept;
  } cases[] = {
      {u"", false, 0},
      {Repeat(u'a', 63), false, 63},
      {Repeat(u'b', 64), false, 63},
      {Repeat(u'c', 500), false, 63},
      {u"", true, 0},
  };
  for (const auto& test : cases) {
    std::vector<CrashKeyEntry> entries = MakeEntries(1);
    SetCrashKeyValue(&entries[0], test.null ? nullptr : test.value.c_str());
    EXPECT_EQ(std::u16string(entries[0].value), test.value.substr(0, test.kept))
        << test.value.size();
    EXPECT_EQ(std::u16string(entries[0].name), u"old");
  }
}

TEST(CrashKeysTest, RangeValueIsSlicedAndTheRestCleared) {
  const std::u16string long_value =
      Repeat(u'x', 63) + Repeat(u'y', 63) + Repeat(u'z', 63) + u"cut";
  const struct {
    std::u16string value;
    std::vector<std::u16string> slots;
  } cases[] = {
      {u"", {u"", u"", u""}},
      {Repeat(u'a', 63), {Repeat(u'a', 63), u"", u""}},
      {Repeat(u'a', 63) + u"b", {Repeat(u'a', 63), u"b", u""}},
      {long_value, {Repeat(u'x', 63), Repeat(u'y', 63), Repeat(u'z', 63)}},
  };
  for (const auto& test : cases) {
    // Slots 1 to 3 of 5: the neighbours stay as they were.
    std::vector<CrashKeyEntry> entries = MakeEntries(5);
    SetCrashKeyValues(entries.data(), 1, 3, test.value);
    for (size_t i = 0; i < 3; ++i) {
      EXPECT_EQ(std::u16string(entries[1 + i].value), test.slots[i])
          << test.value.size() << " slot " << i;
      EXPECT_EQ(std::u16string(entries[1 + i].name), u"old");
    }
    EXPECT_EQ(std::u16string(entries[0].value), u"stale");
    EXPECT_EQ(std::u16string(entries[4].value), u"stale");
  }
}

TEST(CrashKeysTest, NamingARangeClearsItsValues) {
  std::vector<CrashKeyEntry> entries = MakeEntries(4);
  SetCrashKeyNames(entries.data(), 1, 2, u"active_url");
  SetCrashKeyNames(entries.data(), 3, 3, nullptr);
  EXPECT_EQ(std::u16string(entries[0].name), u"old");
  for (size_t slot : {1, 2}) {
    EXPECT_EQ(std::u16string(entries[slot].name), u"active_url");
    EXPECT_EQ(std::u16string(entries[slot].value), u"");
  }
  EXPECT_EQ(std::u16string(entries[3].name), u"");
}

TEST(CrashKeysTest, BoundedLengthReadsNoFurtherThanItsLimit) {
  // Exactly sized and unterminated: a read past it is caught by the
  // sanitizers.
  auto text = std::make_unique<char16_t[]>(3);
  text[0] = text[1] = text[2] = u'q';
  EXPECT_EQ(BoundedTextLength(text.get(), 3), 3u);
  EXPECT_EQ(BoundedTextLength(text.get(), 2), 2u);
  EXPECT_EQ(BoundedTextLength(u"ab", 10), 2u);
  EXPECT_EQ(BoundedTextLength(nullptr, 10), 0u);
}

TEST(CrashKeysTest, ModuleListEntryFormat) {
  EXPECT_EQ(FormatModuleListEntry(u"ntdll.dll", 0x7ffa1b2c0000, 0x1f8000,
                                  u"C:\\windows\\system32\\ntdll.dll"),
            u"ntdll.dll:00007FFA1B2C0000:1f8000:"
            u"C:\\windows\\system32\\ntdll.dll::");
  EXPECT_EQ(FormatModuleListEntry(u"a.exe", 0x140000000, 0xA, u"C:\\a.exe"),
            u"a.exe:0000000140000000:a:C:\\a.exe::");
}

TEST(CrashReporterConstantsTest, ObjectNamesFitTheirBuffer) {
  std::u16string name;
  ASSERT_TRUE(FormatObjectName(kPipeNamePrefix, 1234, &name));
  EXPECT_EQ(name, u"\\\\.\\pipe\\VelnaCrashReporter1234");
  // The longest process id still fits, NUL included.
  ASSERT_TRUE(FormatObjectName(kPipeNamePrefix, 4294967295u, &name));
  EXPECT_EQ(name.size() + 1, kObjectNameCapacity);
  ASSERT_TRUE(FormatObjectName(kInitEventNamePrefix, 77, &name));
  EXPECT_EQ(name, u"VelnaCrashReporterInitEvent77");
  EXPECT_FALSE(
      FormatObjectName(u"APrefixLongEnoughToOverflowTheBuffer", 10, &name));
  EXPECT_TRUE(name.empty());
}

}  // namespace
}  // namespace crash_reporter
