#include "base/trace_event/trace_event_etw_export.h"

#include <string.h>

#include <string>
#include <vector>

#include "base/at_exit.h"
#include "base/trace_event/trace_event.h"
#include "base/trace_event/trace_log.h"
#include "gtest/gtest.h"

namespace base {
namespace trace_event {
namespace {

// A recording stand-in for the three ETW functions.
struct FakeEtw {
  static constexpr uint64_t kHandle = 0x5151;
  EtwEnableCallback callback = nullptr;
  void* context = nullptr;
  bool registered_our_guid = false;
  int unregistered = 0;
  std::vector<std::vector<std::string>> writes;
};
FakeEtw* g_fake = nullptr;

uint32_t FakeRegister(const EtwGuid* guid, EtwEnableCallback callback,
                      void* context, uint64_t* handle) {
  g_fake->registered_our_guid =
      memcmp(guid, &TraceEventETWExport::kProviderGuid, sizeof(EtwGuid)) == 0;
  g_fake->callback = callback;
  g_fake->context = context;
  *handle = FakeEtw::kHandle;
  return 0;
}

uint32_t FakeWrite(uint64_t handle, const EtwEventDescriptor* descriptor,
                   uint32_t count, EtwDataDescriptor* data) {
  EXPECT_EQ(handle, FakeEtw::kHandle);
  EXPECT_EQ(descriptor->id, 1);
  EXPECT_EQ(descriptor->channel, 8);
  EXPECT_EQ(descriptor->level, 4);
  EXPECT_EQ(descriptor->keyword, 0x8000000000000000ull);
  std::vector<std::string> fields;
  for (uint32_t i = 0; i < count; ++i) {
    const char* text = reinterpret_cast<const char*>(data[i].ptr);
    // Each field is written with its terminating zero.
    EXPECT_EQ(data[i].size, strlen(text) + 1);
    fields.emplace_back(text);
  }
  g_fake->writes.push_back(fields);
  return 0;
}

uint32_t FakeUnregister(uint64_t handle) {
  EXPECT_EQ(handle, FakeEtw::kHandle);
  ++g_fake->unregistered;
  return 0;
}

class TraceEventETWExportTest : public testing::Test {
 protected:
  void SetUp() override {
    g_fake = &fake_;
    EtwFunctions functions;
    functions.event_register = &FakeRegister;
    functions.event_write = &FakeWrite;
    functions.event_unregister = &FakeUnregister;
    TraceEventETWExport::SetFunctionsForTesting(functions);
    TraceEventETWExport::ResetForTesting();
    exporter_ = TraceEventETWExport::GetInstance();
  }
  void Control(uint32_t code, uint8_t level, uint64_t any, uint64_t all) {
    fake_.callback(&TraceEventETWExport::kProviderGuid, code, level, any, all,
                   nullptr, fake_.context);
  }

  // Outlives the at-exit scope, whose teardown unregisters through it.
  FakeEtw fake_;
  AtExitManager at_exit_;
  TraceEventETWExport* exporter_ = nullptr;
};

TEST_F(TraceEventETWExportTest, EnableCallbackRule) {
  ASSERT_TRUE(exporter_);
  EXPECT_TRUE(fake_.registered_our_guid);
  EXPECT_EQ(exporter_->registration_handle(), FakeEtw::kHandle);
  const uint64_t kOurKeyword = 0x8000000000000000ull;
  const struct {
    uint32_t code;
    uint8_t level;
    uint64_t any;
    uint64_t all;
    bool controller_enabled;
    bool event_enabled;
  } kCases[] = {
      {1, 4, kOurKeyword, 0, true, true},
      {1, 0, kOurKeyword, 0, true, true},
      {1, 5, kOurKeyword | 1, 0, true, true},
      {1, 3, kOurKeyword, 0, true, false},
      {1, 4, 1, 0, true, false},
      {1, 4, kOurKeyword, kOurKeyword, true, true},
      {1, 4, kOurKeyword, kOurKeyword | 2, true, false},
      {0, 4, kOurKeyword, 0, false, false},
      // Other codes change nothing.
      {2, 4, kOurKeyword, 0, false, false},
  };
  for (const auto& test : kCases) {
    Control(test.code, test.level, test.any, test.all);
    EXPECT_EQ(exporter_->controller_enabled(), test.controller_enabled)
        << test.code << "/" << int{test.level};
    EXPECT_EQ(exporter_->event_enabled(), test.event_enabled)
        << test.code << "/" << int{test.level};
  }
}

TEST_F(TraceEventETWExportTest, CategoryMapAndCatchAlls) {
  // Off until the export is enabled, whatever the map says.
  EXPECT_FALSE(TraceEventETWExport::IsCategoryGroupEnabled("startup"));
  TraceEventETWExport::EnableETWExport({"startup", "__DISABLED_OTHER_EVENTS"});
  const struct {
    const char* group;
    bool enabled;
  } kCases[] = {
      {"startup", true},
      {"foo,startup", true},
      {"foo", false},
      {"toplevel", false},
      {"disabled-by-default-foo", true},
      {"disabled-by-default-toplevel.flow", false},
      {",,startup,", true},
  };
  for (const auto& test : kCases) {
    EXPECT_EQ(TraceEventETWExport::IsCategoryGroupEnabled(test.group),
              test.enabled)
        << test.group;
  }
  TraceEventETWExport::EnableETWExport({"__OTHER_EVENTS"});
  EXPECT_TRUE(TraceEventETWExport::IsCategoryGroupEnabled("foo"));
  TraceEventETWExport::DisableETWExport();
  EXPECT_FALSE(TraceEventETWExport::IsCategoryGroupEnabled("startup"));
}

TEST_F(TraceEventETWExportTest, EventsReachTheProvider) {
  TraceLog* log = TraceLog::GetInstance();
  const unsigned char* group = log->GetCategoryGroupEnabled("foo,startup");
  const unsigned char* other = log->GetCategoryGroupEnabled("foo");
  EXPECT_EQ(LoadCategoryState(group), 0);
  TraceEventETWExport::EnableETWExport({"startup"});
  EXPECT_EQ(LoadCategoryState(group), kEnabledForEtwExport);
  EXPECT_EQ(LoadCategoryState(other), 0);

  // Enabled for export, but the controller has not asked yet.
  { ScopedTraceEvent event(group, "quiet"); }
  EXPECT_TRUE(fake_.writes.empty());

  Control(1, 5, 0x8000000000000000ull, 0);
  {
    ScopedTraceEvent event(group, "Step", "src_file", "a.cc", "src_func",
                           nullptr);
  }
  { ScopedTraceEvent event(group, "Message", "message", 15); }
  const char* names[] = {"flag"};
  unsigned char types[] = {kArgTypeBool};
  unsigned long long values[] = {1};
  TraceEventETWExport::AddEvent('s', nullptr, 1, names, types, values);
  TraceEventETWExport::AddEvent('Z', "odd", 0, nullptr, nullptr, nullptr);
  ASSERT_EQ(fake_.writes.size(), 6u);
  using Fields = std::vector<std::string>;
  EXPECT_EQ(fake_.writes[0], Fields({"Step", "Complete", "src_file", "\"a.cc\"",
                                     "src_func", "\"NULL\"", "", ""}));
  EXPECT_EQ(fake_.writes[1],
            Fields({"Step", "Complete End", "", "", "", "", "", ""}));
  EXPECT_EQ(fake_.writes[2],
            Fields({"Message", "Complete", "message", "15", "", "", "", ""}));
  EXPECT_EQ(fake_.writes[3][1], "Complete End");
  EXPECT_EQ(fake_.writes[4], Fields({"NULL", "Phase Flow Begin", "flag", "true",
                                     "", "", "", ""}));
  EXPECT_EQ(fake_.writes[5], Fields({"odd", "Z", "", "", "", "", "", ""}));

  Control(0, 0, 0, 0);
  { ScopedTraceEvent event(group, "after disable"); }
  EXPECT_EQ(fake_.writes.size(), 6u);
}

TEST_F(TraceEventETWExportTest, PhaseNames) {
  const char* kExpected[][2] = {
      {"B", "Begin"},
      {"E", "End"},
      {"X", "Complete"},
      {"I", "Instant"},
      {"S", "Async Begin"},
      {"T", "Async Step Into"},
      {"p", "Async Step Past"},
      {"F", "Async End"},
      {"b", "Nestable Async Begin"},
      {"e", "Nestable Async End"},
      {"n", "Nestable Async Instant"},
      {"s", "Phase Flow Begin"},
      {"t", "Phase Flow Step"},
      {"f", "Phase Flow End"},
      {"M", "Phase Metadata"},
      {"C", "Phase Counter"},
      {"P", "Phase Sample"},
      {"N", "Phase Create Object"},
      {"O", "Phase Snapshot Object"},
      {"D", "Phase Delete Object"},
      {"?", "?"},
  };
  for (const auto& entry : kExpected)
    EXPECT_EQ(TraceEventETWExport::PhaseName(entry[0][0]), entry[1]);
}

TEST_F(TraceEventETWExportTest, AtExitUnregistersAndKeepsTheObject) {
  TraceEventETWExport::EnableETWExport({"startup"});
  Control(1, 0, 0, 0);
  AtExitManager::ProcessCallbacksNow();
  EXPECT_EQ(fake_.unregistered, 1);
  EXPECT_FALSE(TraceEventETWExport::GetInstance());
  // The object is still readable (a thread may be inside AddEvent) and
  // writes nothing; no second exporter is made.
  EXPECT_EQ(exporter_->registration_handle(), 0u);
  TraceEventETWExport::AddEvent('B', "late", 0, nullptr, nullptr, nullptr);
  TraceEventETWExport::AddCompleteEndEvent("late");
  EXPECT_TRUE(fake_.writes.empty());
  EXPECT_FALSE(TraceEventETWExport::IsCategoryGroupEnabled("startup"));
  EXPECT_FALSE(TraceEventETWExport::GetInstance());
}

TEST(TraceEventETWExportMissingTest, NoFunctionsNoProvider) {
  AtExitManager at_exit;
  TraceEventETWExport::SetFunctionsForTesting(EtwFunctions());
  TraceEventETWExport::ResetForTesting();
  TraceEventETWExport* exporter = TraceEventETWExport::GetInstance();
  ASSERT_TRUE(exporter);
  EXPECT_EQ(exporter->registration_handle(), 0u);
  TraceEventETWExport::EnableETWExport({"startup"});
  TraceEventETWExport::AddEvent('B', "nowhere", 0, nullptr, nullptr, nullptr);
}

#if defined(_WIN32)
// The real functions of "Advapi32.dll". Under Wine registration succeeds
// with a dummy handle, no controller ever calls back, and writes deliver
// nothing; the path still has to run and unregister cleanly.
TEST(TraceEventETWExportSystemTest, RealProviderSmoke) {
  AtExitManager at_exit;
  EtwFunctions functions = GetPlatformEtwFunctions();
  ASSERT_TRUE(functions.event_register);
  ASSERT_TRUE(functions.event_write);
  ASSERT_TRUE(functions.event_unregister);
  TraceEventETWExport* exporter = TraceEventETWExport::GetInstance();
  ASSERT_TRUE(exporter);
  EXPECT_NE(exporter->registration_handle(), 0u);
  TraceEventETWExport::EnableETWExport({"startup"});
  const unsigned char* group =
      TraceLog::GetInstance()->GetCategoryGroupEnabled("startup");
  EXPECT_EQ(LoadCategoryState(group), kEnabledForEtwExport);
  { ScopedTraceEvent event(group, "smoke", "n", 1); }
  AtExitManager::ProcessCallbacksNow();
  EXPECT_FALSE(TraceEventETWExport::GetInstance());
  EXPECT_EQ(exporter->registration_handle(), 0u);
}
#endif

}  // namespace
}  // namespace trace_event
}  // namespace base
