#include "desktop/windows/crash_reporter/crash_metadata.h"

#include <string.h>

#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "base/strings/utf_string_conversions.h"
#include "desktop/windows/installer/common/version_info.h"
#include "gtest/gtest.h"

namespace crash_reporter {

namespace {

// A crash-key table: names and values of up to 64 units, unterminated at
// 64.
class Keys {
 public:
  Keys(std::initializer_list<std::pair<std::u16string, std::u16string>> keys) {
    for (const auto& [name, value] : keys) Add(name, value);
  }
  void Add(const std::u16string& name, const std::u16string& value) {
    CrashKeyEntry entry;
    memset(&entry, 0, sizeof(entry));
    memcpy(entry.name, name.data(),
           std::min(name.size(), kCrashKeyTextCapacity) * 2);
    memcpy(entry.value, value.data(),
           std::min(value.size(), kCrashKeyTextCapacity) * 2);
    entries_.push_back(entry);
  }
  CrashKeyEntries entries() const { return {entries_.data(), entries_.size()}; }

 private:
  std::vector<CrashKeyEntry> entries_;
};

MachineFacts TestFacts() { return {"10.0.19045", "", "0x9", "0x6", "0x9e0d"}; }

CrashEnvironment TestEnvironment() {
  CrashEnvironment environment;
  environment.now = base::Time::FromMillisecondsSinceUnixEpoch(1700000000500);
  return environment;
}

std::u16string Field(const FormFields& fields, const char16_t* name) {
  auto found = fields.find(name);
  return found == fields.end() ? u"<absent>" : found->second;
}

TEST(CrashMetadataTest, KeysAreReadWithin64Units) {
  const std::u16string long_name(64, u'n');
  const std::u16string long_value(64, u'v');
  Keys keys({{u"a", u"1"},
             {long_name, long_value},
             {u"a", u"2"},
             {u"empty", u""},
             {u"url", u"x"},
             {u"url", u""},
             {u"url", u"y"}});
  std::u16string value;
  EXPECT_TRUE(GetCrashKeyValue(keys.entries(), u"a", &value));
  EXPECT_EQ(u"1", value);
  EXPECT_TRUE(GetCrashKeyValue(keys.entries(), long_name, &value));
  EXPECT_EQ(long_value, value);
  EXPECT_FALSE(GetCrashKeyValue(keys.entries(), long_name + u"n", &value));
  EXPECT_EQ(nullptr, FindCrashKey(keys.entries(), u"missing"));
  EXPECT_EQ(&keys.entries().entries[3], FindCrashKey(keys.entries(), u"empty"));
  EXPECT_TRUE(GetCrashKeyValue(keys.entries(), u"empty", &value));
  EXPECT_EQ(u"", value);
  EXPECT_FALSE(GetMultiSlotValue(keys.entries(), u"empty", &value));
  EXPECT_TRUE(GetMultiSlotValue(keys.entries(), u"url", &value));
  EXPECT_EQ(u"xy", value);
  EXPECT_TRUE(GetMultiSlotValue(keys.entries(), u"a", &value));
  EXPECT_EQ(u"12", value);
  EXPECT_FALSE(GetCrashKeyValue(CrashKeyEntries(), u"a", &value));
}

TEST(CrashMetadataTest, Origin) {
  struct {
    Keys keys;
    std::u16string origin;
  } cases[] = {
      {{{u"velauto_test", u""}, {u"velauto_test", u"t"}}, u"Velauto"},
      {{{u"velauto_test", u""}, {u"origin", kInternalCrashToolOrigin}},
       kInternalCrashToolOrigin},
      {{{u"origin", u"elsewhere"}}, u""},
      {{}, u""},
  };
  for (const auto& test : cases)
    EXPECT_EQ(test.origin, GetCrashOrigin(test.keys.entries()));
}

// One pass finds what the lookups by name find: the first entry of a key
// of one slot (an empty one included), the joined entries of a multi-slot
// key, names read within 64 units, and the origin.
TEST(CrashMetadataTest, ResolvesEachKeyInOnePass) {
  const std::u16string long_value(64, u'v');
  Keys keys({{u"process_type", u"installer"},
             {u"active_url", u"http://a"},
             {u"crash_guid", u""},
             {u"modules", u"x.dll:1::"},
             {u"process_type", u"browser"},
             {u"active_url", u""},
             {u"active_url", u"/b"},
             {u"modules", long_value},
             {u"crash_guid", u"second"},
             {u"ptime", u"1500"},
             {u"buildset", u"7"},
             {u"origin", kInternalCrashToolOrigin}});
  const ResolvedCrashKeys resolved = ResolveCrashKeys(keys.entries());
  EXPECT_EQ(u"installer", resolved.process_type);
  EXPECT_EQ(u"", resolved.crash_guid);
  EXPECT_EQ(u"1500", resolved.uptime_ms);
  EXPECT_EQ(u"7", resolved.build_set);
  EXPECT_FALSE(resolved.build_request_time);
  EXPECT_EQ(u"x.dll:1::" + long_value, resolved.modules);
  EXPECT_EQ(u"http://a/b", resolved.active_url);
  EXPECT_EQ(kInternalCrashToolOrigin, resolved.origin);

  // The origin's rules, as GetCrashOrigin.
  const Keys origins[] = {
      {{u"velauto_test", u""}, {u"velauto_test", u"t"}},
      {{u"origin", u"elsewhere"}, {u"origin", kInternalCrashToolOrigin}},
      {{u"velauto_test", u""}, {u"origin", kInternalCrashToolOrigin}},
      {},
  };
  for (const Keys& test : origins) {
    EXPECT_EQ(GetCrashOrigin(test.entries()),
              ResolveCrashKeys(test.entries()).origin);
  }
  const ResolvedCrashKeys none = ResolveCrashKeys(CrashKeyEntries());
  EXPECT_FALSE(none.process_type);
  EXPECT_FALSE(none.crash_guid);
  EXPECT_EQ(u"", none.modules);
}

// The first "process_type" entry decides, compared exactly.
TEST(CrashMetadataTest, BrowserProcessCrash) {
  const struct {
    Keys keys;
    bool browser;
  } cases[] = {
      {{{u"process_type", u"browser"}}, true},
      {{{u"process_type", u"browser"}, {u"process_type", u"renderer"}}, true},
      {{{u"process_type", u"renderer"}, {u"process_type", u"browser"}}, false},
      {{{u"process_type", u"Browser"}}, false},
      {{{u"active_url", u"browser"}}, false},
      {{}, false},
  };
  for (size_t i = 0; i < std::size(cases); ++i) {
    EXPECT_EQ(cases[i].browser,
              IsBrowserProcessCrash(ResolveCrashKeys(cases[i].keys.entries())))
        << i;
  }
}

TEST(CrashMetadataTest, TextLogFields) {
  const std::u16string url_piece(63, u'u');
  struct {
    const char* name;
    Keys keys;
    std::u16string email;
    std::vector<std::pair<const char16_t*, std::u16string>> expected;
  } cases[] = {
      {"ptime of 999 is under a second",
       {{u"ptime", u"999"}},
       u"",
       {{u"CrashUptime", u"<absent>"}}},
      {"ptime of 1500", {{u"ptime", u"1500"}}, u"", {{u"CrashUptime", u"1"}}},
      {"ptime of 13 characters",
       {{u"ptime", u"1234567890123"}},
       u"",
       {{u"CrashUptime", u"1234567890"}}},
      {"ptime of 14 characters",
       {{u"ptime", u"12345678901234"}},
       u"",
       {{u"CrashUptime", u"<absent>"}}},
      {"url joined from three slots",
       {{u"active_url", url_piece},
        {u"active_url", url_piece},
        {u"active_url", u"end"}},
       u"a@b",
       {{u"url", url_piece + url_piece + u"end"}, {u"email", u"a@b"}}},
      {"no url for the browser process",
       {{u"process_type", u"browser"}, {u"active_url", u"http://x/"}},
       u"",
       {{u"url", u"<absent>"}, {u"email", u"<absent>"}}},
      {"origin", {{u"velauto_test", u"1"}}, u"", {{u"origin", u"Velauto"}}},
  };
  for (const auto& test : cases) {
    SCOPED_TRACE(test.name);
    CrashEnvironment environment = TestEnvironment();
    environment.email = test.email;
    FormFields fields;
    AddTextLogFields(ResolveCrashKeys(test.keys.entries()), environment,
                     &fields);
    for (const auto& [name, value] : test.expected)
      EXPECT_EQ(value, Field(fields, name)) << base::UTF16ToUTF8(name);
  }
  FormFields own;
  CrashEnvironment environment = TestEnvironment();
  environment.email = u"e";
  AddOwnCrashTextLogFields(environment, &own);
  EXPECT_EQ((FormFields{{u"email", u"e"}}), own);
}

TEST(CrashMetadataTest, MinidumpFields) {
  CrashMetadata metadata(TestFacts());
  const std::u16string url_piece(64, u'u');
  Keys keys({{u"version", u"41.0.1.2"},
             {u"process_type", u"installer"},
             {u"active_url", url_piece},
             {u"active_url", u"tail"},
             {u"gpu_vendor_id", u""},
             {u"buildset", u"42"},
             {u"build_request_time", u"20161012_170001"},
             {u"ptime", u"2500"},
             {u"not_mapped", u"z"},
             {u"velauto_test", u"yes"}});
  CrashEnvironment environment = TestEnvironment();
  environment.email = u"me@example.org";
  FormFields fields = {{u"UBN", u"preset"}};
  AddMinidumpFields(metadata, keys.entries(), ResolveCrashKeys(keys.entries()),
                    environment, &fields);
  EXPECT_EQ(u"me@example.org", Field(fields, u"Email"));
  EXPECT_EQ(u"41.0.1.2", Field(fields, u"Version"));
  EXPECT_EQ(u"installer", Field(fields, u"ProcessType"));
  EXPECT_EQ(url_piece + u"tail", Field(fields, u"URL"));
  EXPECT_EQ(u"", Field(fields, u"gpu_vendor_id"));
  EXPECT_EQ(u"<absent>", Field(fields, u"not_mapped"));
  EXPECT_EQ(u"Velauto", Field(fields, u"Origin"));
  EXPECT_EQ(u"20161012000042", Field(fields, u"BuildID"));
  // No creation time: the crash is now, the start ptime before.
  EXPECT_EQ(u"1700000000", Field(fields, u"CrashTime"));
  EXPECT_EQ(u"1699999998", Field(fields, u"StartupTime"));
  EXPECT_EQ(u"<absent>", Field(fields, u"InstallTime"));
  EXPECT_EQ(u"preset", Field(fields, u"UBN"));
  EXPECT_EQ(u"VelnaDesktop", Field(fields, u"ProductName"));
  EXPECT_EQ(u"beta", Field(fields, u"ReleaseChannel"));
  EXPECT_EQ(u"browser-syms", Field(fields, u"symbols-package"));
}

TEST(CrashMetadataTest, MinidumpDefaultsAndTimes) {
  CrashMetadata metadata(TestFacts());
  const base::Time created =
      base::Time::FromMillisecondsSinceUnixEpoch(1600000000000);
  struct {
    const char* name;
    Keys keys;
    bool with_creation;
    std::u16string startup;
    std::u16string crash;
  } cases[] = {
      {"creation and ptime",
       {{u"ptime", u"61000"}},
       true,
       u"1600000000",
       u"1600000061"},
      {"creation without ptime", {}, true, u"1600000000", u"1700000000"},
      {"ptime that is no number",
       {{u"ptime", u"soon"}},
       false,
       u"1700000000",
       u"1700000000"},
  };
  for (const auto& test : cases) {
    SCOPED_TRACE(test.name);
    CrashEnvironment environment = TestEnvironment();
    if (test.with_creation) environment.process_creation = created;
    environment.executable_creation = created;
    FormFields fields;
    AddMinidumpFields(metadata, test.keys.entries(),
                      ResolveCrashKeys(test.keys.entries()), environment,
                      &fields);
    EXPECT_EQ(test.startup, Field(fields, u"StartupTime"));
    EXPECT_EQ(test.crash, Field(fields, u"CrashTime"));
    EXPECT_EQ(u"1600000000", Field(fields, u"InstallTime"));
    EXPECT_EQ(base::UTF8ToUTF16(installer::VersionInfo::GetProductVersion()),
              Field(fields, u"Version"));
    EXPECT_EQ(u"730997", Field(fields, u"UBN"));
    EXPECT_EQ(u"20161012259766", Field(fields, u"BuildID"));
    EXPECT_EQ(u"<absent>", Field(fields, u"ProcessType"));
  }

  FormFields tests = {{u"ProcessType", u"browser_tests"}};
  AddMinidumpFields(metadata, CrashKeyEntries(), ResolvedCrashKeys(),
                    TestEnvironment(), &tests);
  EXPECT_EQ(u"tests-syms", Field(tests, u"symbols-package"));

  FormFields own;
  AddOwnCrashMinidumpFields(TestEnvironment(), &own);
  EXPECT_EQ(u"crash_reporter", Field(own, u"ProcessType"));
  EXPECT_EQ(u"1700000000", Field(own, u"CrashTime"));
  EXPECT_EQ(u"VelnaDesktop", Field(own, u"ProductName"));
}

TEST(CrashMetadataTest, StacktraceId) {
  FormFields fields;
  AddStacktraceIdField(u"", &fields);
  EXPECT_TRUE(fields.empty());
  AddStacktraceIdField(u"abc", &fields);
  EXPECT_EQ((FormFields{{u"stacktraceId", u"abc"}}), fields);
}

TEST(CrashMetadataTest, TextLogMetadata) {
  CrashMetadata metadata(TestFacts());
  Keys keys({{u"version", u"41.0.9.9"},
             {u"build", u"1234"},
             {u"process_type", u"installer"},
             {u"ptime", u"5000"},
             {u"active_url", u"http://x/"},
             {u"crash_guid", u"g"},
             {u"modules", u"m"},
             {u"buildset", u"42"},
             {u"handle_info_items", u"1"},
             {u"has space", u"s"},
             {std::u16string(64, u'l'), u"unterminated name"},
             {u"", u"no name"},
             {u"dotted.name-x_1", u"ok"},
             {u"is_wow64", u""},
             {u"enabled_extensions", u"e1,"},
             {u"ab_tests", u"t1"},
             {u"enabled_extensions", u"e2"},
             {u"line", u"a\r\nforged=\"1\""}});
  CrashLogInfo info;
  BuildCrashLogMetadata(metadata, keys.entries(), &info);
  const std::vector<std::pair<std::string, std::string>> expected = {
      {"process_type", "installer"},
      {"dotted.name-x_1", "ok"},
      {"line", "a\r\nforged=\"1\""},
      {"enabled_extensions", "e1,e2"},
      {"disabled_extensions", ""},
      {"blacklisted_extensions", ""},
      {"terminated_extensions", ""},
      {"third_party_installs", ""},
      {"ab_tests", "t1"},
      {"os_version", "10.0.19045"},
      {"os_service_pack_version", ""},
      {"cpu_architecture", "0x9"},
      {"cpu_level", "0x6"},
      {"cpu_revision", "0x9e0d"},
  };
  EXPECT_EQ(expected, info.metadata);
  EXPECT_EQ("41.0.9.9", info.version);
  EXPECT_EQ("1234", info.build);

  // With a test key its line comes first among the joined ones; the header
  // comes from the installer when the keys lack it.
  Keys test_keys({{u"velauto_test", u"run"}, {u"velauto_test", u"-7"}});
  CrashLogInfo test_info;
  BuildCrashLogMetadata(metadata, test_keys.entries(), &test_info);
  ASSERT_FALSE(test_info.metadata.empty());
  EXPECT_EQ((std::pair<std::string, std::string>("velauto_test", "run-7")),
            test_info.metadata[0]);
  EXPECT_EQ(installer::VersionInfo::GetProductVersion(), test_info.version);
  EXPECT_EQ("730997", test_info.build);
}

TEST(CrashMetadataTest, OwnCrashAndMemoryMetadata) {
  CrashLogInfo info;
  BuildOwnCrashLogMetadata(&info);
  AddMemoryMetadata(1024, 4096, 0, &info);
  const std::vector<std::pair<std::string, std::string>> expected = {
      {"process_type", "crash_reporter"},
      {"mem_working_set_size", "1024"},
      {"mem_peak_working_set_size", "4096"},
      {"mem_private_usage", "0"},
  };
  EXPECT_EQ(expected, info.metadata);
  EXPECT_EQ(installer::VersionInfo::GetProductVersion(), info.version);
}

TEST(CrashMetadataTest, KeyToFieldMapReadsWithin64Units) {
  CrashMetadata metadata(TestFacts());
  EXPECT_EQ(std::u16string(u"URL"),
            metadata.MinidumpFieldForKey(u"active_url"));
  EXPECT_EQ(nullptr, metadata.MinidumpFieldForKey(u"ptime"));
  EXPECT_EQ(std::u16string(u"ab_tests"),
            metadata.MinidumpFieldForKey(u"ab_tests"));
}

}  // namespace

}  // namespace crash_reporter
