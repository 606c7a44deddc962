// The pieces of a memory dump and the heap profiler's context: the
// per-thread tracker, the overhead tally, allocator and process dumps,
// traced values and the two tables written as trace metadata.

#include <string.h>

#include <memory>
#include <string>
#include <thread>

#include "base/bind.h"
#include "base/json/json_reader.h"
#include "base/synchronization/waitable_event.h"
#include "base/threading/thread.h"
#include "base/trace_event/heap_profiler_allocation_context_tracker.h"
#include "base/trace_event/heap_profiler_deduplicators.h"
#include "base/trace_event/memory_allocator_dump.h"
#include "base/trace_event/process_memory_dump.h"
#include "base/trace_event/trace_buffer.h"
#include "base/trace_event/trace_event_filter.h"
#include "base/trace_event/trace_event_memory_overhead.h"
#include "base/trace_event/trace_log.h"
#include "base/trace_event/traced_value.h"
#include "base/values.h"
#include "gtest/gtest.h"

namespace base {
namespace trace_event {
namespace {

// The value text of |name|'s scalar |attribute| in |dump|.
std::string ScalarValue(const MemoryAllocatorDump* dump,
                        const char* attribute) {
  std::unique_ptr<DictionaryValue> attributes =
      dump->attributes()->ToBaseValue();
  const DictionaryValue* scalar = nullptr;
  std::string value;
  if (attributes->GetDictionaryWithoutPathExpansion(attribute, &scalar))
    scalar->GetString("value", &value);
  return value;
}

TEST(AllocationContextTrackerTest, StacksAreBounded) {
  AllocationContextTracker::SetCaptureMode();
  EXPECT_EQ(AllocationContextTracker::capture_mode(),
            AllocationContextTracker::CaptureMode::PSEUDO_STACK);
  // A fresh thread: its tracker is its own.
  std::thread([] {
    AllocationContextTracker* tracker =
        AllocationContextTracker::GetForCurrentThread();
    ASSERT_NE(tracker, nullptr);
    EXPECT_EQ(tracker, AllocationContextTracker::GetForCurrentThread());
    static const char* kNames[130];
    static char storage[130][8];
    for (int i = 0; i < 130; ++i) {
      snprintf(storage[i], sizeof(storage[i]), "f%d", i);
      kNames[i] = storage[i];
    }
    for (int i = 0; i < 129; ++i) tracker->PushPseudoStackFrame(kNames[i]);
    // The 129th push is ignored; the pop then takes the 128th.
    EXPECT_EQ(tracker->pseudo_stack().size(), 128u);
    tracker->PopPseudoStackFrame();
    EXPECT_EQ(tracker->pseudo_stack().back(), kNames[126]);

    for (int i = 0; i < 17; ++i) tracker->PushCurrentTaskContext(kNames[i]);
    EXPECT_EQ(tracker->task_contexts().size(), 16u);
    for (int i = 0; i < 20; ++i) tracker->PopCurrentTaskContext();
    EXPECT_TRUE(tracker->task_contexts().empty());

    {
      HeapProfilerScopedIgnore outer;
      HeapProfilerScopedIgnore inner;
      EXPECT_EQ(tracker->ignore_scope_depth(), 2u);
    }
    EXPECT_EQ(tracker->ignore_scope_depth(), 0u);
    tracker->end_ignore_scope();  // never below zero
    EXPECT_EQ(tracker->ignore_scope_depth(), 0u);

    {
      HeapProfilerScopedTaskContext context("task.cc");
      EXPECT_STREQ(tracker->task_contexts().back(), "task.cc");
    }
    EXPECT_TRUE(tracker->task_contexts().empty());
  }).join();
}

TEST(AllocationContextTrackerTest, HeapProfilerFilterKeepsThePseudoStack) {
  AllocationContextTracker::SetCaptureMode();
  std::thread([] {
    AllocationContextTracker* tracker =
        AllocationContextTracker::GetForCurrentThread();
    HeapProfilerEventFilter filter;
    const unsigned char* category =
        TraceLog::GetInstance()->GetCategoryGroupEnabled("toplevel");
    TraceEvent begin;
    begin.Initialize(1, TimeTicks(), ThreadTicks(), kPhaseComplete, category,
                     "Outer", nullptr, 0, 0, 0, nullptr, nullptr, nullptr,
                     nullptr, kFlagNone);
    TraceEvent copied;
    copied.Initialize(1, TimeTicks(), ThreadTicks(), kPhaseBegin, category,
                      "Copied", nullptr, 0, 0, 0, nullptr, nullptr, nullptr,
                      nullptr, kFlagCopy);
    EXPECT_TRUE(filter.FilterTraceEvent(begin));
    EXPECT_TRUE(filter.FilterTraceEvent(copied));
    ASSERT_EQ(tracker->pseudo_stack().size(), 1u);
    EXPECT_STREQ(tracker->pseudo_stack()[0], "Outer");
    filter.EndEvent("Outer", "toplevel");
    filter.EndEvent("Outer", "toplevel");  // nothing left: nothing happens
    EXPECT_TRUE(tracker->pseudo_stack().empty());
  }).join();
}

// Naming a thread while capture is on hands its tracker the registered
// name.
TEST(AllocationContextTrackerTest, NamedThreadsTellTheirTracker) {
  AllocationContextTracker::SetCaptureMode();
  Thread thread("TrackerNamedThread");
  ASSERT_TRUE(thread.Start());
  std::string seen;
  WaitableEvent done(WaitableEvent::ResetPolicy::kManual,
                     WaitableEvent::InitialState::kNotSignaled);
  thread.task_runner()->PostTask(
      CURRENT_LOCATION,
      Bind(
          [](std::string* seen, WaitableEvent* done) {
            const char* name =
                AllocationContextTracker::GetForCurrentThread()->thread_name();
            if (name) *seen = name;
            done->Signal();
          },
          &seen, &done));
  done.Wait();
  thread.Stop();
  EXPECT_EQ(seen, "TrackerNamedThread");
}

TEST(TraceEventMemoryOverheadTest, EntriesByPointerAndSpill) {
  TraceEventMemoryOverhead overhead;
  static const char kFirst[] = "Same";
  static const char kSecond[] = "Same";
  overhead.Add(kFirst, 10);
  overhead.Add(kSecond, 10);
  // The same text from two static strings makes two entries.
  EXPECT_EQ(overhead.entry_count(), 2u);
  EXPECT_EQ(overhead.GetCount(kFirst), 1u);

  static char names[20][8];
  for (int i = 0; i < 14; ++i) {
    snprintf(names[i], sizeof(names[i]), "n%d", i);
    overhead.Add(names[i], 1, 2, 3);
  }
  EXPECT_EQ(overhead.entry_count(), 16u);
  overhead.Add(names[0], 5, 0, 0);
  // The 17th name moves everything into the map without losing counts.
  snprintf(names[14], sizeof(names[14]), "n14");
  overhead.Add(names[14], 7, 0, 0);
  EXPECT_EQ(overhead.entry_count(), 17u);
  EXPECT_EQ(overhead.GetCount(names[0]), 6u);
  EXPECT_EQ(overhead.GetCount(names[14]), 7u);
  overhead.Add(names[14], 1, 0, 0);
  EXPECT_EQ(overhead.GetCount(names[14]), 8u);

  TraceEventMemoryOverhead total;
  total.Update(overhead);
  total.Update(overhead);
  EXPECT_EQ(total.GetCount(names[0]), 12u);
}

TEST(TraceEventMemoryOverheadTest, DumpIntoNamesEachEntry) {
  TraceEventMemoryOverhead overhead;
  overhead.Add(kOverheadTraceEvent, 100);
  overhead.Add(kOverheadString, 3, 48, 32);
  ProcessMemoryDump pmd({MemoryDumpLevelOfDetail::DETAILED});
  overhead.DumpInto("tracing/main_trace_log", &pmd);
  ASSERT_EQ(pmd.allocator_dumps().size(), 2u);
  const MemoryAllocatorDump* strings =
      pmd.GetAllocatorDump("tracing/main_trace_log/std::string");
  ASSERT_NE(strings, nullptr);
  EXPECT_EQ(ScalarValue(strings, "size"), "30");  // 48 in hexadecimal
  EXPECT_EQ(ScalarValue(strings, "resident_size"), "20");
  EXPECT_EQ(ScalarValue(strings, "object_count"), "3");
  EXPECT_NE(pmd.GetAllocatorDump("tracing/main_trace_log/TraceEvent"), nullptr);
}

TEST(ProcessMemoryDumpTest, WhitelistNormalisesAddresses) {
  const struct {
    const char* name;
    bool whitelisted;
  } kCases[] = {
      {"script/isolate_0x1a2b/heap_spaces", true},
      {"Script/isolate_0x1a2b/heap_spaces", false},
      {"script/isolate_0x/heap_spaces", true},
      {"discardable/child_0xDEADbeef", true},
      {"malloc", true},
      {"malloc/other", false},
      {"winheap/allocated_objects", true},
  };
  for (const auto& test : kCases)
    EXPECT_EQ(ProcessMemoryDump::IsWhitelistedName(test.name), test.whitelisted)
        << test.name;
}

TEST(ProcessMemoryDumpTest, BackgroundDumpsDiscardOtherNames) {
  ProcessMemoryDump background({MemoryDumpLevelOfDetail::BACKGROUND});
  MemoryAllocatorDump* a = background.CreateAllocatorDump("tracing/a");
  MemoryAllocatorDump* b = background.CreateAllocatorDump("tracing/b");
  EXPECT_EQ(a, b);
  EXPECT_EQ(a->absolute_name(), "discarded");
  EXPECT_TRUE(background.allocator_dumps().empty());
  MemoryAllocatorDump* malloc_dump = background.CreateAllocatorDump("malloc");
  EXPECT_EQ(malloc_dump->absolute_name(), "malloc");

  ProcessMemoryDump detailed({MemoryDumpLevelOfDetail::DETAILED});
  MemoryAllocatorDump* first = detailed.CreateAllocatorDump("x/y");
  EXPECT_EQ(detailed.CreateAllocatorDump("x/y"), first);  // earlier one wins
}

TEST(MemoryAllocatorDumpTest, ScalarsAndGuids) {
  ProcessMemoryDump pmd({MemoryDumpLevelOfDetail::DETAILED});
  MemoryAllocatorDump* dump = pmd.CreateAllocatorDump("tracing/guid");
  dump->AddScalar("size", MemoryAllocatorDump::kUnitsBytes, 255);
  EXPECT_EQ(ScalarValue(dump, "size"), "ff");
  std::unique_ptr<DictionaryValue> attributes =
      dump->attributes()->ToBaseValue();
  std::string type, units;
  EXPECT_TRUE(attributes->GetString("size.type", &type));
  EXPECT_TRUE(attributes->GetString("size.units", &units));
  EXPECT_EQ(type, "scalar");
  EXPECT_EQ(units, "bytes");
  // Same name, same process: same guid; another name: another guid.
  int pid = TraceLog::GetInstance()->process_id();
  EXPECT_EQ(dump->guid(), MemoryAllocatorDumpGuid(pid, "tracing/guid"));
  EXPECT_NE(dump->guid(), MemoryAllocatorDumpGuid(pid, "tracing/other"));
  // SHA-1("1:a") begins ad fb a1 0e 74 df a3 60: read little-endian.
  EXPECT_EQ(MemoryAllocatorDumpGuid(1, "a"), 0x60a3df740ea1fbadull);
}

TEST(TracedValueTest, NestedTreeAndJson) {
  TracedValue value;
  value.SetInteger("int", -3);
  value.SetDouble("double", 0.5);
  value.SetBoolean("bool", true);
  value.SetString("string", "text \"quoted\"");
  value.BeginDictionary("dict");
  value.SetStringWithCopiedName(std::string("copied"), "yes");
  value.BeginArray("list");
  value.AppendInteger(1);
  value.BeginDictionary();
  value.SetIntegerWithCopiedName("deep", 2);
  value.EndDictionary();
  value.AppendString("s");
  value.EndArray();
  value.EndDictionary();

  std::string json;
  value.AppendAsTraceFormat(&json);
  std::unique_ptr<Value> parsed = JSONReader::Read(json);
  ASSERT_TRUE(parsed) << json;
  const DictionaryValue* root = nullptr;
  ASSERT_TRUE(parsed->GetAsDictionary(&root));
  int number = 0;
  EXPECT_TRUE(root->GetInteger("int", &number));
  EXPECT_EQ(number, -3);
  std::string text;
  EXPECT_TRUE(root->GetString("string", &text));
  EXPECT_EQ(text, "text \"quoted\"");
  EXPECT_TRUE(root->GetString("dict.copied", &text));
  const ListValue* list = nullptr;
  ASSERT_TRUE(root->GetList("dict.list", &list));
  ASSERT_EQ(list->GetSize(), 3u);
  const DictionaryValue* deep = nullptr;
  ASSERT_TRUE(list->GetDictionary(1, &deep));
  EXPECT_TRUE(deep->GetInteger("deep", &number));
  EXPECT_EQ(number, 2);

  TraceEventMemoryOverhead overhead;
  value.EstimateTraceMemoryOverhead(&overhead);
  EXPECT_EQ(overhead.entry_count(), 1u);
}

TEST(DeduplicatorTest, StackFramesAndTypeNames) {
  StackFrameDeduplicator empty_frames;
  std::string json;
  empty_frames.AppendAsTraceFormat(&json);
  EXPECT_EQ(json, "{}");

  TypeNameDeduplicator empty_types;
  json.clear();
  empty_types.AppendAsTraceFormat(&json);
  EXPECT_EQ(json, "{\"0\":\"[unknown]\"}");

  StackFrameDeduplicator frames;
  const StackFrame stack[] = {
      {StackFrame::Type::THREAD_NAME, "Main"},
      {StackFrame::Type::TRACE_EVENT_NAME, "RunTask"},
      {StackFrame::Type::PROGRAM_COUNTER, reinterpret_cast<void*>(0xabc)},
  };
  EXPECT_EQ(frames.Insert(stack, 3), 2);
  EXPECT_EQ(frames.Insert(stack, 2), 1);  // shared prefix: no new frame
  json.clear();
  frames.AppendAsTraceFormat(&json);
  EXPECT_EQ(json,
            "{\"0\":{\"name\":\"[Thread: Main]\"},"
            "\"1\":{\"name\":\"RunTask\",\"parent\":\"0\"},"
            "\"2\":{\"name\":\"pc:abc\",\"parent\":\"1\"}}");

  TypeNameDeduplicator types;
  EXPECT_EQ(types.Insert("../../base/foo.cc"), 1);
  EXPECT_EQ(types.Insert("int"), 2);
  EXPECT_EQ(types.Insert("../../base/foo.cc"), 1);
  EXPECT_EQ(types.Insert(nullptr), 0);
  json.clear();
  types.AppendAsTraceFormat(&json);
  std::unique_ptr<Value> parsed = JSONReader::Read(json);
  ASSERT_TRUE(parsed) << json;
  const DictionaryValue* table = nullptr;
  ASSERT_TRUE(parsed->GetAsDictionary(&table));
  std::string category;
  EXPECT_TRUE(table->GetString("1", &category));
  EXPECT_EQ(category, "base");
  EXPECT_TRUE(table->GetString("2", &category));
  EXPECT_EQ(category, "int");

  TraceEventMemoryOverhead overhead;
  types.EstimateTraceMemoryOverhead(&overhead);
  EXPECT_EQ(overhead.entry_count(), 1u);
}

TEST(TraceMemoryOverheadTest, ChunkEstimatesEachRecordOnce) {
  TraceBufferChunk chunk(1);
  const unsigned char* category =
      TraceLog::GetInstance()->GetCategoryGroupEnabled("toplevel");
  size_t index;
  for (int i = 0; i < 3; ++i) {
    chunk.AddTraceEvent(&index)->Initialize(
        1, TimeTicks(), ThreadTicks(), kPhaseInstant, category, "Copied",
        nullptr, 0, 0, 0, nullptr, nullptr, nullptr, nullptr, kFlagCopy);
  }
  TraceEventMemoryOverhead first;
  chunk.EstimateTraceMemoryOverhead(&first);
  EXPECT_EQ(first.GetCount(kOverheadTraceEvent), 3u);
  EXPECT_EQ(first.GetCount(kOverheadString), 3u);
  EXPECT_EQ(first.GetCount(kOverheadChunk), 1u);
  EXPECT_EQ(first.GetCount(kOverheadUnusedEvents), 1u);
  chunk.AddTraceEvent(&index)->Initialize(
      1, TimeTicks(), ThreadTicks(), kPhaseInstant, category, "Plain", nullptr,
      0, 0, 0, nullptr, nullptr, nullptr, nullptr, kFlagNone);
  TraceEventMemoryOverhead second;
  chunk.EstimateTraceMemoryOverhead(&second);
  EXPECT_EQ(second.GetCount(kOverheadTraceEvent), 4u);
  EXPECT_EQ(second.GetCount(kOverheadString), 3u);

  // The log's own dump carries its buffer and itself.
  ProcessMemoryDump pmd({MemoryDumpLevelOfDetail::DETAILED});
  EXPECT_TRUE(TraceLog::GetInstance()->OnMemoryDump(
      {MemoryDumpLevelOfDetail::DETAILED}, &pmd));
  EXPECT_NE(pmd.GetAllocatorDump("tracing/main_trace_log/TraceLog"), nullptr);
  EXPECT_NE(
      pmd.GetAllocatorDump("tracing/main_trace_log/TraceEventMemoryOverhead"),
      nullptr);
  EXPECT_NE(pmd.GetAllocatorDump("tracing/main_trace_log/TraceBufferVector"),
            nullptr);
}

}  // namespace
}  // namespace trace_event
}  // namespace base
