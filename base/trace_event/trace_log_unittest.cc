#include "base/trace_event/trace_log.h"

#include <string.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "base/bind.h"
#include "base/location.h"
#include "base/logging.h"
#include "base/message_loop/message_loop.h"
#include "base/run_loop.h"
#include "base/synchronization/waitable_event.h"
#include "base/threading/platform_thread.h"
#include "base/threading/thread.h"
#include "base/threading/thread_name_registry.h"
#include "base/trace_event/test/parsed_trace.h"
#include "base/trace_event/trace_buffer.h"
#include "base/trace_event/trace_event.h"
#include "base/trace_event/trace_event_filter.h"
#include "gtest/gtest.h"

namespace base {
namespace trace_event {
namespace {

TraceLog* Log() { return TraceLog::GetInstance(); }

int CurrentTid() { return static_cast<int>(PlatformThread::CurrentId()); }

TraceConfig Filter(const char* filter) {
  TraceConfig config;
  std::string error;
  EXPECT_TRUE(TraceConfig::ParseCategoryFilter(filter, &config, &error));
  return config;
}

TraceEventHandle AddInstant(const unsigned char* category, const char* name,
                            unsigned long long id = 0,
                            unsigned long long bind_id = 0,
                            unsigned int flags = kFlagNone) {
  return Log()->AddTraceEventWithThreadIdAndTimestamp(
      kPhaseInstant, category, name, nullptr, id, bind_id, CurrentTid(),
      TimeTicks::Now(), 0, nullptr, nullptr, nullptr, nullptr, flags);
}

ParsedTrace Flush(std::string* json = nullptr) {
  std::string text = Log()->FlushAsJSON(TimeDelta::FromSeconds(10));
  ParsedTrace trace;
  std::string error;
  EXPECT_TRUE(trace.Parse(text, &error)) << error << "\n" << text;
  if (json) *json = text;
  return trace;
}

TEST(TraceLogTest, BuiltInGroupsNeedNoRegistration) {
  const unsigned char* toplevel = Log()->GetCategoryGroupEnabled("toplevel");
  const unsigned char* metadata = Log()->GetCategoryGroupEnabled("__metadata");
  EXPECT_EQ(metadata - toplevel, 3);
  EXPECT_STREQ(TraceLog::GetCategoryGroupName(toplevel), "toplevel");
  EXPECT_STREQ(TraceLog::GetCategoryGroupName(toplevel + 1),
               "tracing already shutdown");
  const unsigned char* flow =
      Log()->GetCategoryGroupEnabled("disabled-by-default-toplevel.flow");
  EXPECT_EQ(flow - toplevel, 4);
  EXPECT_EQ(flow, Log()->GetCategoryGroupEnabled(
                      "disabled-by-default-toplevel.flow"));
  EXPECT_FALSE(IsCategoryEnabled(toplevel));
  EXPECT_FALSE(IsCategoryEnabled(flow));
}

TEST(TraceLogTest, ConcurrentLookupsRegisterOnce) {
  constexpr int kThreads = 8;
  std::vector<const unsigned char*> found(kThreads);
  std::vector<std::thread> threads;
  for (int i = 0; i < kThreads; ++i) {
    threads.emplace_back([&found, i] {
      found[i] = TraceCategoryState("TraceLogTest.concurrent");
    });
  }
  for (std::thread& thread : threads) thread.join();
  for (const unsigned char* state : found) EXPECT_EQ(state, found[0]);
  EXPECT_EQ(found[0] - Log()->GetCategoryGroupEnabled("toplevel"), 4);
}

TEST(TraceLogTest, The201stGroupSharesTheExhaustedGroup) {
  const unsigned char* early = Log()->GetCategoryGroupEnabled("early");
  // 196 more fill the table: 4 built in, "early", then 195 of these.
  const unsigned char* last_registered = nullptr;
  for (int i = 0; i < 195; ++i) {
    std::string name = "TraceLogTest.many." + std::to_string(i);
    last_registered = Log()->GetCategoryGroupEnabled(name.c_str());
  }
  EXPECT_EQ(last_registered - early, 195);
  const unsigned char* exhausted =
      Log()->GetCategoryGroupEnabled("one too many");
  EXPECT_EQ(exhausted, Log()->GetCategoryGroupEnabled("toplevel") + 2);
  EXPECT_EQ(Log()->GetCategoryGroupEnabled("yet another"), exhausted);
  EXPECT_EQ(Log()->GetCategoryGroupEnabled("early"), early);
  // Group 2's state follows the configuration like any other's.
  Log()->SetEnabled(TraceConfig(), kTraceOptionRecordUntilFull);
  EXPECT_TRUE(IsCategoryEnabled(exhausted));
  Log()->SetDisabled();
}

TEST(TraceLogTest, EnablingSetsEveryStateByte) {
  const unsigned char* toplevel = TraceCategoryState("toplevel");
  const unsigned char* base = TraceCategoryState("base");
  const unsigned char* flow =
      TraceCategoryState("disabled-by-default-toplevel.flow");
  const uint32_t generation = Log()->generation();
  Log()->SetEnabled(Filter("toplevel,disabled-by-default-toplevel.flow"),
                    kTraceOptionRecordUntilFull);
  EXPECT_EQ(Log()->generation(), generation + 1);
  EXPECT_EQ(LoadCategoryState(toplevel), kEnabledForRecording);
  EXPECT_EQ(LoadCategoryState(flow), kEnabledForRecording);
  EXPECT_EQ(LoadCategoryState(base), 0);
  EXPECT_EQ(LoadCategoryState(TraceCategoryState("__metadata")),
            kEnabledForRecording);
  // A group registered while recording gets its state at once.
  EXPECT_EQ(LoadCategoryState(TraceCategoryState("base,toplevel")),
            kEnabledForRecording);
  Log()->SetDisabled();
  Log()->SetDisabled();  // harmless
  EXPECT_EQ(LoadCategoryState(toplevel), 0);
  EXPECT_EQ(LoadCategoryState(flow), 0);
  EXPECT_FALSE(Log()->IsEnabled());
}

TEST(TraceLogTest, EventsWithoutALoopGoThroughTheSharedChunk) {
  const unsigned char* toplevel = TraceCategoryState("toplevel");
  Log()->SetEnabled(TraceConfig(), kTraceOptionRecordUntilFull);
  {
    ScopedTraceEvent event(toplevel, "TraceLogTest::Scope", "src_file", "a.cc",
                           "src_func", "Run");
  }
  AddFlowEvent(kPhaseFlowBegin, toplevel, "TraceLogTest::Flow", 5ull << 32);
  ParsedTrace trace = Flush();
  auto scopes = trace.Find("TraceLogTest::Scope", "X");
  ASSERT_EQ(scopes.size(), 1u);
  EXPECT_EQ(scopes[0]->StringArg("src_file"), "a.cc");
  EXPECT_EQ(scopes[0]->tid, CurrentTid());
  double duration = -1;
  EXPECT_TRUE(scopes[0]->GetNumber("dur", &duration));
  EXPECT_GE(duration, 0);
  auto flows = trace.Find("TraceLogTest::Flow", "s");
  ASSERT_EQ(flows.size(), 1u);
  std::string id;
  EXPECT_TRUE(flows[0]->event->GetString("id", &id));
  EXPECT_EQ(id, "0x500000000");
  EXPECT_FALSE(trace.Find("num_cpus", "M").empty());
  EXPECT_FALSE(Log()->IsEnabled());
}

TEST(TraceLogTest, The65thEventSwapsChunks) {
  MessageLoop loop;
  const unsigned char* toplevel = TraceCategoryState("toplevel");
  Log()->SetEnabled(TraceConfig(), kTraceOptionRecordUntilFull);
  std::vector<TraceEventHandle> handles;
  for (int i = 0; i < 65; ++i) handles.push_back(AddInstant(toplevel, "e"));
  for (int i = 0; i < 64; ++i) {
    EXPECT_EQ(handles[i].chunk_seq, handles[0].chunk_seq);
    EXPECT_EQ(handles[i].event_index, static_cast<uint32_t>(i));
  }
  EXPECT_GT(handles[64].chunk_seq, handles[0].chunk_seq);
  EXPECT_NE(handles[64].chunk_index, handles[0].chunk_index);
  EXPECT_EQ(handles[64].event_index, 0u);
  // The full chunk went back to the buffer, where its handles still work.
  EXPECT_TRUE(Log()->GetEventByHandle(handles[0]));
  EXPECT_TRUE(Log()->GetEventByHandle(handles[64]));
  EXPECT_EQ(Flush().Find("e", "I").size(), 65u);
}

TEST(TraceLogTest, StaleAndNullHandlesFindNothing) {
  const unsigned char* toplevel = TraceCategoryState("toplevel");
  Log()->SetEnabled(TraceConfig(), kTraceOptionRecordUntilFull);
  TraceEventHandle handle = Log()->AddTraceEventWithThreadIdAndTimestamp(
      kPhaseComplete, toplevel, "closed", nullptr, 0, 0, CurrentTid(),
      TimeTicks::Now(), 0, nullptr, nullptr, nullptr, nullptr, kFlagNone);
  ASSERT_FALSE(handle.is_null());
  TraceEventHandle stale = handle;
  stale.chunk_seq += 1;
  EXPECT_FALSE(Log()->GetEventByHandle(stale));
  EXPECT_FALSE(Log()->GetEventByHandle(TraceEventHandle()));
  Log()->UpdateTraceEventDuration(toplevel, "closed", TraceEventHandle());
  Log()->UpdateTraceEventDuration(toplevel, "closed", stale);
  EXPECT_EQ(Log()->GetEventByHandle(handle)->duration(),
            TimeDelta::FromMicroseconds(-1));
  Log()->UpdateTraceEventDuration(toplevel, "closed", handle);
  EXPECT_GE(Log()->GetEventByHandle(handle)->duration(), TimeDelta());
  Log()->SetDisabled();
}

TEST(TraceLogTest, FullBufferStopsRecordingOnce) {
  const unsigned char* toplevel = TraceCategoryState("toplevel");
  Log()->SetTraceBufferForTesting(
      TraceBuffer::CreateTraceBufferVectorOfSize(2));
  Log()->SetEnabled(TraceConfig(), kTraceOptionRecordUntilFull);
  int stored = 0;
  for (int i = 0; i < 200; ++i) {
    if (!AddInstant(toplevel, "fill").is_null()) ++stored;
  }
  // The second chunk fills the buffer: its first event is the last.
  EXPECT_EQ(stored, 65);
  EXPECT_FALSE(IsCategoryEnabled(toplevel));
  ParsedTrace trace = Flush();
  EXPECT_EQ(trace.Find("fill").size(), 65u);
  auto overflowed = trace.Find("trace_buffer_overflowed", "M");
  ASSERT_EQ(overflowed.size(), 1u);
  double at = 0;
  EXPECT_TRUE(overflowed[0]->args->GetDouble("overflowed_at_ts", &at));
  EXPECT_GT(at, 0);
}

// A filter that adds an event itself: the nested add must store nothing.
class ReentrantFilter : public TraceEventFilter {
 public:
  static std::atomic<int> calls;
  static std::atomic<bool> nested_was_null;
  bool FilterTraceEvent(const TraceEvent& event) const override {
    ++calls;
    nested_was_null = AddInstant(event.category_state(), "nested").is_null();
    return true;
  }
};
std::atomic<int> ReentrantFilter::calls{0};
std::atomic<bool> ReentrantFilter::nested_was_null{false};

// Refuses everything but counts, to show that every filter is asked.
class CountingRefusingFilter : public TraceEventFilter {
 public:
  static std::atomic<int> calls;
  static std::atomic<int> ends;
  bool FilterTraceEvent(const TraceEvent&) const override {
    ++calls;
    return false;
  }
  void EndEvent(const char* name, const char* group) const override {
    EXPECT_STREQ(group, "filtered");
    ++ends;
  }
};
std::atomic<int> CountingRefusingFilter::calls{0};
std::atomic<int> CountingRefusingFilter::ends{0};

std::unique_ptr<TraceEventFilter> MakeTestingFilter(const std::string&) {
  static std::atomic<int> made{0};
  // Alternates: a re-entrant keeping filter, then a refusing one.
  if (made++ % 2 == 0) return std::make_unique<ReentrantFilter>();
  return std::make_unique<CountingRefusingFilter>();
}

TEST(TraceLogTest, FiltersAreAllAskedAndReentrantAddsStoreNothing) {
  Log()->SetFilterFactoryForTesting(&MakeTestingFilter);
  const unsigned char* filtered = TraceCategoryState("filtered");
  const unsigned char* whitelisted = TraceCategoryState("whitelisted");
  TraceConfig config;
  for (int i = 0; i < 2; ++i) {
    TraceConfig::EventFilterConfig entry(kTestingPredicate);
    entry.included_categories().push_back("filtered");
    config.event_filters().push_back(entry);
  }
  TraceConfig::EventFilterConfig names(kEventWhitelistPredicate);
  names.included_categories().push_back("whitelisted");
  auto args = std::make_unique<DictionaryValue>();
  auto list = std::make_unique<ListValue>();
  list->AppendString("wanted");
  list->AppendInteger(3);
  args->Set("event_name_whitelist", std::move(list));
  names.SetArgs(std::move(args));
  config.event_filters().push_back(names);
  Log()->SetEnabled(config, kTraceOptionRecordUntilFull);

  EXPECT_EQ(LoadCategoryState(filtered),
            kEnabledForRecording | kEnabledForFiltering);
  { ScopedTraceEvent event(filtered, "kept"); }
  EXPECT_EQ(ReentrantFilter::calls, 1);
  EXPECT_TRUE(ReentrantFilter::nested_was_null);
  EXPECT_EQ(CountingRefusingFilter::calls, 1);
  EXPECT_EQ(CountingRefusingFilter::ends, 1);
  EXPECT_FALSE(AddInstant(whitelisted, "wanted").is_null());
  EXPECT_TRUE(AddInstant(whitelisted, "unwanted").is_null());

  ParsedTrace trace = Flush();
  EXPECT_EQ(trace.Find("kept", "X").size(), 1u);
  EXPECT_TRUE(trace.Find("nested").empty());
  EXPECT_EQ(trace.Find("wanted").size(), 1u);
  EXPECT_TRUE(trace.Find("unwanted").empty());
  EXPECT_EQ(LoadCategoryState(filtered), 0);
}

TEST(TraceLogTest, IdMangling) {
  const unsigned char* toplevel = TraceCategoryState("toplevel");
  Log()->SetEnabled(TraceConfig(), kTraceOptionRecordUntilFull);
  const uint64_t hash = Log()->process_id_hash();
  const uint64_t expected_hash =
      (static_cast<uint64_t>(static_cast<int64_t>(Log()->process_id())) ^
       0xcbf29ce484222325ull) *
      0x100000001b3ull;
  EXPECT_EQ(hash, expected_hash);
  const struct {
    unsigned int flags;
    uint64_t id;
    uint64_t bind_id;
  } kCases[] = {
      {kFlagHasId, 1, 2},
      {kFlagHasId | kFlagMangleId, 1 ^ hash, 2},
      {kFlagHasId | kFlagMangleId | kFlagFlowIn, 1 ^ hash, 2 ^ hash},
      {kFlagHasId | kFlagMangleId | kFlagFlowOut, 1 ^ hash, 2 ^ hash},
  };
  for (const auto& test : kCases) {
    TraceEventHandle handle = AddInstant(toplevel, "id", 1, 2, test.flags);
    const TraceEvent* event = Log()->GetEventByHandle(handle);
    ASSERT_TRUE(event);
    EXPECT_EQ(event->id(), test.id) << test.flags;
    EXPECT_EQ(event->bind_id(), test.bind_id) << test.flags;
  }
  Log()->SetDisabled();
}

TEST(TraceLogTest, ThreadNamesAreJoinedOnce) {
  const unsigned char* toplevel = TraceCategoryState("toplevel");
  Log()->SetEnabled(TraceConfig(), kTraceOptionRecordUntilFull);
  int tid = 0;
  std::thread thread([&tid, toplevel] {
    tid = CurrentTid();
    ThreadNameRegistry* registry = ThreadNameRegistry::GetInstance();
    for (const char* name : {"First", "Second", "First", "Second"}) {
      registry->SetName(name);
      AddInstant(toplevel, "named");
    }
  });
  thread.join();
  EXPECT_EQ(Log()->GetThreadNameForTesting(tid), "First,Second");
  ParsedTrace trace = Flush();
  bool found = false;
  for (const ParsedTraceEvent* event : trace.Find("thread_name", "M")) {
    if (event->tid == tid) {
      EXPECT_EQ(event->StringArg("name"), "First,Second");
      found = true;
    }
  }
  EXPECT_TRUE(found);
}

TEST(TraceLogTest, MetadataInItsOrder) {
  const unsigned char* metadata = TraceCategoryState("__metadata");
  Log()->SetProcessName("installer");
  Log()->UpdateProcessLabel(1, "one");
  Log()->UpdateProcessLabel(2, "two");
  Log()->SetProcessSortIndex(-3);
  Log()->SetThreadSortIndex(77, 5);
  Log()->SetThreadSortIndex(78, 0);
  const char* arg_name = "value";
  unsigned char type = kArgTypeInt;
  unsigned long long value = 9;
  Log()->AddMetadataEvent(metadata, "stackFrames", 1, &arg_name, &type, &value,
                          nullptr, kFlagNone);
  Log()->SetEnabled(TraceConfig(), kTraceOptionRecordUntilFull);
  ParsedTrace trace = Flush();
  std::vector<std::string> names;
  for (const ParsedTraceEvent& event : trace.events()) {
    EXPECT_EQ(event.ph, "M");
    EXPECT_EQ(event.cat, "__metadata");
    names.push_back(event.name);
  }
  EXPECT_EQ(names,
            std::vector<std::string>({"stackFrames", "num_cpus",
                                      "process_sort_index", "process_name",
                                      "process_labels", "thread_sort_index"}));
  EXPECT_EQ(trace.events()[3].StringArg("name"), "installer");
  EXPECT_EQ(trace.events()[4].StringArg("labels"), "one,two");
  EXPECT_EQ(trace.events()[5].tid, 77);
  int cpus = 0;
  EXPECT_TRUE(trace.events()[1].args->GetInteger("number", &cpus));
  EXPECT_GE(cpus, 1);
}

class RecordingObserver : public TraceLog::EnabledStateObserver {
 public:
  void OnTraceLogEnabled() override {
    // Called with no lock held: the log answers.
    seen.push_back(TraceLog::GetInstance()->IsEnabled() ? "on" : "on?");
  }
  void OnTraceLogDisabled() override {
    seen.push_back(TraceLog::GetInstance()->IsEnabled() ? "off?" : "off");
  }
  std::vector<std::string> seen;
};

class AsyncObserver : public TraceLog::AsyncEnabledStateObserver {
 public:
  void OnTraceLogEnabled() override { seen.push_back("on"); }
  void OnTraceLogDisabled() override { seen.push_back("off"); }
  std::vector<std::string> seen;
  WeakPtrFactory<AsyncObserver> weak{this};
};

TEST(TraceLogTest, ObserversAreToldWithoutLocks) {
  MessageLoop loop;
  RecordingObserver observer;
  AsyncObserver async;
  Log()->AddEnabledStateObserver(&observer);
  Log()->AddAsyncEnabledStateObserver(async.weak.GetWeakPtr());
  EXPECT_TRUE(Log()->HasEnabledStateObserver(&observer));
  Log()->SetEnabled(TraceConfig(), kTraceOptionRecordUntilFull);
  Log()->SetDisabled();
  EXPECT_EQ(observer.seen, std::vector<std::string>({"on", "off"}));
  EXPECT_TRUE(async.seen.empty());
  RunLoop().RunUntilIdle();
  EXPECT_EQ(async.seen, std::vector<std::string>({"on", "off"}));
  Log()->RemoveEnabledStateObserver(&observer);
  Log()->RemoveAsyncEnabledStateObserver(&async);
  Log()->SetEnabled(TraceConfig(), kTraceOptionRecordUntilFull);
  Log()->SetDisabled();
  RunLoop().RunUntilIdle();
  EXPECT_EQ(observer.seen.size(), 2u);
  EXPECT_EQ(async.seen.size(), 2u);
}

std::atomic<int> g_watch_runs{0};
std::vector<std::string> g_callback_phases;

void RecordCallback(TimeTicks, char phase, const unsigned char*,
                    const char* name, unsigned long long, int,
                    const char* const*, const unsigned char*,
                    const unsigned long long*, unsigned int) {
  g_callback_phases.push_back(std::string(1, phase) + name);
}

TEST(TraceLogTest, WatchEventAndEventCallback) {
  const unsigned char* toplevel = TraceCategoryState("toplevel");
  const unsigned char* base = TraceCategoryState("base");
  Log()->SetWatchEvent("toplevel", "watched", Bind([] { ++g_watch_runs; }));
  Log()->SetEventCallbackEnabled(Filter("base"), &RecordCallback);
  EXPECT_EQ(LoadCategoryState(base), kEnabledForEventCallback);
  EXPECT_EQ(LoadCategoryState(toplevel), 0);
  { ScopedTraceEvent event(base, "callback"); }
  EXPECT_EQ(g_callback_phases,
            std::vector<std::string>({"Bcallback", "Ecallback"}));

  Log()->SetEnabled(TraceConfig(), kTraceOptionRecordUntilFull);
  Log()->SetWatchEvent("toplevel", "watched", Bind([] { ++g_watch_runs; }));
  AddInstant(toplevel, "watched");
  AddInstant(toplevel, "other");
  AddInstant(base, "watched");
  EXPECT_EQ(g_watch_runs, 1);
  Log()->CancelWatchEvent();
  AddInstant(toplevel, "watched");
  EXPECT_EQ(g_watch_runs, 1);
  Log()->SetEventCallbackDisabled();
  EXPECT_EQ(LoadCategoryState(base), kEnabledForRecording);
  Log()->SetDisabled();
}

std::vector<std::string> g_console_lines;

bool CaptureConsole(int severity, const char*, int, size_t start,
                    const std::string& text) {
  if (text.find("\033[0;3") != std::string::npos)
    g_console_lines.push_back(text.substr(start));
  return true;
}

TEST(TraceLogTest, ConsoleEchoShowsNestingAndDurations) {
  logging::SetLogMessageHandler(&CaptureConsole);
  const unsigned char* toplevel = TraceCategoryState("toplevel");
  Log()->SetEnabled(TraceConfig(), kTraceOptionEchoToConsole);
  {
    ScopedTraceEvent outer(toplevel, "outer");
    ScopedTraceEvent inner(toplevel, "inner", "n", 4);
  }
  Log()->SetDisabled();
  logging::SetLogMessageHandler(nullptr);
  ASSERT_EQ(g_console_lines.size(), 4u);
  EXPECT_NE(g_console_lines[0].find("\033[0;31mouter[toplevel]\033[0;m"),
            std::string::npos)
      << g_console_lines[0];
  EXPECT_NE(g_console_lines[1].find("| inner[toplevel], {n:4}\033[0;m"),
            std::string::npos)
      << g_console_lines[1];
  EXPECT_NE(g_console_lines[2].find("| inner[toplevel], {n:4} ("),
            std::string::npos)
      << g_console_lines[2];
  EXPECT_NE(g_console_lines[3].find(" ms)\033[0;m"), std::string::npos)
      << g_console_lines[3];
}

TEST(TraceLogTest, TimeOffsetSaturates) {
  const unsigned char* toplevel = TraceCategoryState("toplevel");
  Log()->SetEnabled(TraceConfig(), kTraceOptionRecordUntilFull);
  Log()->SetTimeOffset(TimeDelta::FromMicroseconds(-10));
  TraceEventHandle handle = Log()->AddTraceEventWithThreadIdAndTimestamp(
      kPhaseInstant, toplevel, "late", nullptr, 0, 0, CurrentTid(),
      TimeTicks::Max() - TimeDelta::FromMicroseconds(5), 0, nullptr, nullptr,
      nullptr, nullptr, kFlagNone);
  EXPECT_TRUE(Log()->GetEventByHandle(handle)->timestamp().is_max());
  Log()->SetTimeOffset(TimeDelta::FromMicroseconds(100));
  handle = Log()->AddTraceEventWithThreadIdAndTimestamp(
      kPhaseInstant, toplevel, "early", nullptr, 0, 0, CurrentTid(),
      TimeTicks::FromInternalValue(150), 0, nullptr, nullptr, nullptr, nullptr,
      kFlagNone);
  EXPECT_EQ(Log()->GetEventByHandle(handle)->timestamp().ToInternalValue(), 50);
  Log()->SetTimeOffset(TimeDelta());
  Log()->SetDisabled();
}

// Thread CPU time cannot be read under Wine; natively it always can.
TEST(TraceLogTest, ThreadTimesOfACompleteEvent) {
  if (ThreadTicks::Now().is_null())
    GTEST_SKIP() << "no thread time on this system";
  const unsigned char* toplevel = TraceCategoryState("toplevel");
  Log()->SetEnabled(TraceConfig(), kTraceOptionRecordUntilFull);
  {
    ScopedTraceEvent event(toplevel, "busy");
    volatile double sink = 0;
    ThreadTicks start = ThreadTicks::Now();
    while (ThreadTicks::Now() - start < TimeDelta::FromMilliseconds(2))
      sink = sink + 1;
  }
  ParsedTrace trace = Flush();
  auto busy = trace.Find("busy", "X");
  ASSERT_EQ(busy.size(), 1u);
  double tts = 0, tdur = -1;
  EXPECT_TRUE(busy[0]->GetNumber("tts", &tts));
  EXPECT_GT(tts, 0);
  EXPECT_TRUE(busy[0]->GetNumber("tdur", &tdur));
  EXPECT_GE(tdur, 2000);
}

void AddNamedEvents(int count) {
  for (int i = 0; i < count; ++i)
    AddInstant(TraceCategoryState("toplevel"), "on thread");
}

TEST(TraceLogTest, FlushCollectsLoopThreadsAndSkipsSilentOnes) {
  Thread answering("answering");
  Thread silent("silent");
  ASSERT_TRUE(answering.Start());
  ASSERT_TRUE(silent.Start());
  Log()->SetEnabled(TraceConfig(), kTraceOptionRecordUntilFull);
  WaitableEvent added(WaitableEvent::ResetPolicy::kManual,
                      WaitableEvent::InitialState::kNotSignaled);
  WaitableEvent release(WaitableEvent::ResetPolicy::kManual,
                        WaitableEvent::InitialState::kNotSignaled);
  answering.task_runner()->PostTask(CURRENT_LOCATION,
                                    Bind(&AddNamedEvents, 70));
  silent.task_runner()->PostTask(
      CURRENT_LOCATION, Bind(
                            [](WaitableEvent* added, WaitableEvent* release) {
                              AddInstant(TraceCategoryState("toplevel"),
                                         "silent thread");
                              added->Signal();
                              release->Wait();
                            },
                            &added, &release));
  added.Wait();
  answering.Stop();  // its chunk goes back as its loop ends
  ASSERT_TRUE(answering.Start());
  answering.task_runner()->PostTask(CURRENT_LOCATION, Bind(&AddNamedEvents, 3));
  // Lets the task run before the flush asks.
  WaitableEvent ran(WaitableEvent::ResetPolicy::kManual,
                    WaitableEvent::InitialState::kNotSignaled);
  answering.task_runner()->PostTask(
      CURRENT_LOCATION, Bind([](WaitableEvent* ran) { ran->Signal(); }, &ran));
  ran.Wait();

  const uint32_t generation = Log()->generation();
  std::string json = Log()->FlushAsJSON(TimeDelta::FromMilliseconds(300));
  EXPECT_EQ(Log()->generation(), generation + 1);
  ParsedTrace trace;
  std::string error;
  ASSERT_TRUE(trace.Parse(json, &error)) << error;
  EXPECT_EQ(trace.Find("on thread").size(), 73u);
  EXPECT_TRUE(trace.Find("silent thread").empty());

  // The silent thread's stale chunk is dropped; a new trace works.
  release.Signal();
  Log()->SetEnabled(TraceConfig(), kTraceOptionRecordUntilFull);
  silent.task_runner()->PostTask(CURRENT_LOCATION, Bind(&AddNamedEvents, 2));
  silent.Stop();
  answering.Stop();
  trace = Flush();
  EXPECT_EQ(trace.Find("on thread").size(), 2u);
  EXPECT_TRUE(trace.Find("silent thread").empty());
}

// Threads with and without a loop keep adding while recording is switched
// on, flushed and off again; run under ThreadSanitizer this checks that
// state bytes, chunks and the registry are shared soundly.
TEST(TraceLogTest, AddingWhileRecordingFlips) {
  std::atomic<bool> stop{false};
  std::vector<std::thread> threads;
  for (int i = 0; i < 4; ++i) {
    threads.emplace_back([&stop, i] {
      std::unique_ptr<MessageLoop> loop;
      if (i % 2 == 0) loop = std::make_unique<MessageLoop>();
      const unsigned char* toplevel = TraceCategoryState("toplevel");
      while (!stop.load()) {
        ScopedTraceEvent event(toplevel, "busy", "src_file", "a.cc", "src_func",
                               "Run");
        AddFlowEvent(kPhaseFlowBegin, toplevel, "flow", 1);
        // Lets the flush's tasks reach the threads with a loop.
        if (loop) RunLoop().RunUntilIdle();
      }
    });
  }
  for (int round = 0; round < 20; ++round) {
    Log()->SetEnabled(TraceConfig(), kTraceOptionRecordUntilFull);
    PlatformThread::Sleep(TimeDelta::FromMilliseconds(2));
    std::string json = Log()->FlushAsJSON(TimeDelta::FromSeconds(10));
    ParsedTrace trace;
    std::string error;
    ASSERT_TRUE(trace.Parse(json, &error)) << error;
  }
  stop = true;
  for (std::thread& thread : threads) thread.join();
}

TEST(TraceLogTest, DisabledTracePointsStoreNothing) {
  const unsigned char* state = TraceCategoryState("toplevel");
  {
    ScopedTraceEvent event(state, "TraceLogTest::Scope", "src_file", "a.cc",
                           "src_func", "Run");
    ScopedTraceEvent numbered(state, "TraceLogTest::Message", "message", 15);
  }
  AddFlowEvent(kPhaseFlowBegin, state, "TraceLogTest::Flow", 1ull << 32);
  EXPECT_TRUE(AddInstant(state, "x").is_null());
  EXPECT_TRUE(Flush().events().empty());
}

}  // namespace
}  // namespace trace_event
}  // namespace base
