#include "base/trace_event/trace_event_record.h"

#include <math.h>
#include <string.h>

#include <limits>
#include <sstream>
#include <string>

#include "base/json/json_reader.h"
#include "base/strings/stringprintf.h"
#include "base/trace_event/trace_log.h"
#include "base/values.h"
#include "gtest/gtest.h"

namespace base {
namespace trace_event {
namespace {

unsigned long long Text(const char* text) {
  return reinterpret_cast<uintptr_t>(text);
}

unsigned long long Double(double value) {
  TraceEvent::TraceValue converted;
  converted.as_double = value;
  return converted.as_uint;
}

const unsigned char* Category(const char* name) {
  return TraceLog::GetInstance()->GetCategoryGroupEnabled(name);
}

std::string Json(const TraceEvent& event,
                 const ArgumentFilterPredicate& filter = nullptr) {
  std::string out;
  event.AppendAsJSON(&out, filter);
  return out;
}

std::string Prefix(int tid, long long ts, char phase, const char* category,
                   const char* name) {
  return StringPrintf(
      "{\"pid\":%i,\"tid\":%i,\"ts\":%lld,\"ph\":\"%c\",\"cat\":\"%s\","
      "\"name\":\"%s\",\"args\":",
      TraceLog::GetInstance()->process_id(), tid, ts, phase, category, name);
}

TEST(TraceEventRecordTest, CompleteEventWithoutThreadTime) {
  TraceEvent event;
  event.Initialize(7, TimeTicks::FromInternalValue(100), ThreadTicks(), 'X',
                   Category("toplevel"), "Run", nullptr, 0, 0, 0, nullptr,
                   nullptr, nullptr, nullptr, kFlagNone);
  event.UpdateDuration(TimeTicks::FromInternalValue(350), ThreadTicks());
  EXPECT_EQ(Json(event),
            Prefix(7, 100, 'X', "toplevel", "Run") + "{},\"dur\":250}");
}

TEST(TraceEventRecordTest, ThreadTimesAreWrittenOnlyWhenMeasured) {
  TraceEvent event;
  event.Initialize(7, TimeTicks::FromInternalValue(100),
                   ThreadTicks::FromInternalValue(40), 'X',
                   Category("toplevel"), "Run", nullptr, 0, 0, 0, nullptr,
                   nullptr, nullptr, nullptr, kFlagNone);
  // Not closed yet: no durations at all.
  EXPECT_EQ(Json(event),
            Prefix(7, 100, 'X', "toplevel", "Run") + "{},\"tts\":40}");
  event.UpdateDuration(TimeTicks::FromInternalValue(150),
                       ThreadTicks::FromInternalValue(45));
  EXPECT_EQ(Json(event), Prefix(7, 100, 'X', "toplevel", "Run") +
                             "{},\"dur\":50,\"tdur\":5,\"tts\":40}");

  // Reused for an event that is never closed: no stale thread duration.
  event.Reset();
  event.Initialize(7, TimeTicks::FromInternalValue(200),
                   ThreadTicks::FromInternalValue(60), 'X',
                   Category("toplevel"), "Run", nullptr, 0, 0, 0, nullptr,
                   nullptr, nullptr, nullptr, kFlagNone);
  EXPECT_EQ(Json(event),
            Prefix(7, 200, 'X', "toplevel", "Run") + "{},\"tts\":60}");
}

TEST(TraceEventRecordTest, ValueForms) {
  const struct {
    unsigned char type;
    unsigned long long value;
    const char* json;
  } kCases[] = {
      {kArgTypeBool, 1, "true"},
      {kArgTypeBool, 0, "false"},
      {kArgTypeUInt, 18446744073709551615ull, "18446744073709551615"},
      {kArgTypeInt, static_cast<unsigned long long>(-5ll), "-5"},
      {kArgTypeDouble, Double(3), "3.0"},
      {kArgTypeDouble, Double(0.5), "0.5"},
      {kArgTypeDouble, Double(-0.25), "-0.25"},
      {kArgTypeDouble, Double(1e300), "1e+300"},
      {kArgTypeDouble, Double(1e-5), "1e-05"},
      {kArgTypeDouble, Double(NAN), "\"NaN\""},
      {kArgTypeDouble, Double(INFINITY), "\"Infinity\""},
      {kArgTypeDouble, Double(-INFINITY), "\"-Infinity\""},
      {kArgTypePointer, 0x1234abcd, "\"0x1234abcd\""},
      {kArgTypeString, Text("a\"b\\c\n\x01"), "\"a\\\"b\\\\c\\n\\u0001\""},
      {kArgTypeString, 0, "\"NULL\""},
      {kArgTypeCopyString, Text("x"), "\"x\""},
      {kArgTypeConvertable, 0, ""},
      {99, 0, ""},
  };
  for (const auto& test : kCases) {
    TraceEvent::TraceValue value;
    value.as_uint = test.value;
    std::string out;
    TraceEvent::AppendValueAsJSON(test.type, value, &out);
    EXPECT_EQ(out, test.json) << int{test.type};
  }
}

TEST(TraceEventRecordTest, CopyFlagCopiesEveryText) {
  char name[] = "name";
  char scope[] = "scope";
  char arg_name[] = "arg";
  char arg_value[] = "value";
  const char* names[] = {arg_name};
  unsigned char types[] = {kArgTypeString};
  unsigned long long values[] = {Text(arg_value)};
  TraceEvent event;
  event.Initialize(1, TimeTicks(), ThreadTicks(), 'I', Category("toplevel"),
                   name, scope, 0, 0, 1, names, types, values, nullptr,
                   kFlagCopy);
  ASSERT_TRUE(event.copy_storage());
  EXPECT_EQ(event.copy_storage()->size(), strlen("name scope arg value") + 1);
  EXPECT_EQ(event.arg_type(0), kArgTypeCopyString);
  memset(name, 'x', 4);
  memset(scope, 'x', 5);
  memset(arg_name, 'x', 3);
  memset(arg_value, 'x', 5);
  EXPECT_STREQ(event.name(), "name");
  EXPECT_STREQ(event.scope(), "scope");
  EXPECT_STREQ(event.arg_name(0), "arg");
  EXPECT_STREQ(event.arg_value(0).as_string, "value");

  // Moving keeps the copies valid.
  auto other = std::make_unique<TraceEvent>();
  other->Initialize(1, TimeTicks(), ThreadTicks(), 'I', Category("toplevel"),
                    "n", nullptr, 0, 0, 1, names, types, values, nullptr,
                    kFlagCopy);
  TraceEvent target;
  target.MoveFrom(std::move(other));
  EXPECT_STREQ(target.name(), "n");
  EXPECT_STREQ(target.arg_value(0).as_string, "xxxxx");
}

TEST(TraceEventRecordTest, FlagMembers) {
  const struct {
    char phase;
    unsigned int flags;
    const char* tail;
  } kCases[] = {
      {'I', 0, "{},\"s\":\"g\"}"},
      {'I', kFlagScopeProcess, "{},\"s\":\"p\"}"},
      {'I', kFlagScopeThread, "{},\"s\":\"t\"}"},
      {'I', kFlagScopeProcess | kFlagScopeThread, "{},\"s\":\"?\"}"},
      {'s', kFlagHasId, "{},\"id\":\"0x2a\"}"},
      {'f', kFlagHasId | kFlagBindToEnclosing,
       "{},\"id\":\"0x2a\",\"bp\":\"e\"}"},
      {'B', kFlagFlowIn | kFlagFlowOut,
       "{},\"bind_id\":\"0x7\",\"flow_in\":true,\"flow_out\":true}"},
      {'=', 0, "{},\"bind_id\":\"0x7\"}"},
      {'B', kFlagAsyncTts, "{}, \"use_async_tts\":1}"},
  };
  for (const auto& test : kCases) {
    TraceEvent event;
    event.Initialize(3, TimeTicks::FromInternalValue(9), ThreadTicks(),
                     test.phase, Category("toplevel"), "E", nullptr, 42, 7, 0,
                     nullptr, nullptr, nullptr, nullptr, test.flags);
    EXPECT_EQ(Json(event),
              Prefix(3, 9, test.phase, "toplevel", "E") + test.tail);
  }
}

TEST(TraceEventRecordTest, ProcessIdFlag) {
  TraceEvent event;
  event.Initialize(4321, TimeTicks(), ThreadTicks(), 'B', Category("toplevel"),
                   "E", nullptr, 0, 0, 0, nullptr, nullptr, nullptr, nullptr,
                   kFlagHasProcessId);
  EXPECT_EQ(Json(event).find("{\"pid\":4321,\"tid\":-1,\"ts\":"), 0u);
  event.Initialize(0, TimeTicks(), ThreadTicks(), 'B', Category("toplevel"),
                   "E", nullptr, 0, 0, 0, nullptr, nullptr, nullptr, nullptr,
                   kFlagHasProcessId);
  EXPECT_EQ(Json(event), Prefix(0, 0, 'B', "toplevel", "E") + "{}}");
}

TEST(TraceEventRecordTest, ArgumentFilter) {
  const char* names[] = {"keep", "drop"};
  unsigned char types[] = {kArgTypeInt, kArgTypeInt};
  unsigned long long values[] = {1, 2};
  TraceEvent event;
  event.Initialize(1, TimeTicks(), ThreadTicks(), 'B', Category("toplevel"),
                   "E", nullptr, 0, 0, 2, names, types, values, nullptr,
                   kFlagNone);
  std::string prefix = Prefix(1, 0, 'B', "toplevel", "E");
  EXPECT_EQ(Json(event, [](const char*, const char*,
                           ArgumentNameFilterPredicate*) { return false; }),
            prefix + "\"__stripped__\"}");
  EXPECT_EQ(Json(event,
                 [](const char* group, const char* name,
                    ArgumentNameFilterPredicate* name_filter) {
                   EXPECT_STREQ(group, "toplevel");
                   EXPECT_STREQ(name, "E");
                   *name_filter = [](const char* arg) {
                     return strcmp(arg, "keep") == 0;
                   };
                   return true;
                 }),
            prefix + "{\"keep\":1,\"drop\":\"__stripped__\"}}");
  EXPECT_EQ(Json(event), prefix + "{\"keep\":1,\"drop\":2}}");
}

// Names of categories, events and arguments with quotes and control bytes
// still give JSON that parses back to the same texts.
TEST(TraceEventRecordTest, EveryTextIsEscaped) {
  const unsigned char* category = Category("cat\"\\\x01");
  const char* names[] = {"arg\"\n", "second\t"};
  unsigned char types[] = {kArgTypeString, kArgTypeDouble};
  unsigned long long values[] = {Text("v\"\x7f"), Double(NAN)};
  TraceEvent event;
  event.Initialize(1, TimeTicks(), ThreadTicks(), 'X', category, "na\"me\x1f",
                   "sc\"ope", 1, 0, 2, names, types, values, nullptr,
                   kFlagHasId);
  std::unique_ptr<Value> parsed = JSONReader::Read(Json(event));
  ASSERT_TRUE(parsed) << Json(event);
  const DictionaryValue* dict = nullptr;
  ASSERT_TRUE(parsed->GetAsDictionary(&dict));
  std::string text;
  EXPECT_TRUE(dict->GetString("cat", &text));
  EXPECT_EQ(text, "cat\"\\\x01");
  EXPECT_TRUE(dict->GetString("name", &text));
  EXPECT_EQ(text, "na\"me\x1f");
  EXPECT_TRUE(dict->GetString("scope", &text));
  EXPECT_EQ(text, "sc\"ope");
  const DictionaryValue* args = nullptr;
  ASSERT_TRUE(dict->GetDictionary("args", &args));
  const Value* value = nullptr;
  ASSERT_TRUE(args->GetWithoutPathExpansion("arg\"\n", &value));
  EXPECT_TRUE(value->GetAsString(&text));
  EXPECT_EQ(text, "v\"\x7f");
  ASSERT_TRUE(args->GetWithoutPathExpansion("second\t", &value));
  EXPECT_TRUE(value->GetAsString(&text));
  EXPECT_EQ(text, "NaN");
}

class Convertable : public ConvertableToTraceFormat {
 public:
  void AppendAsTraceFormat(std::string* out) const override {
    out->append("{\"x\":[1,2]}");
  }
};

TEST(TraceEventRecordTest, ConvertableAndConsoleForm) {
  const char* names[] = {"obj", "n"};
  unsigned char types[] = {kArgTypeConvertable, kArgTypeInt};
  unsigned long long values[] = {0, 5};
  std::unique_ptr<ConvertableToTraceFormat> convertables[2];
  convertables[0] = std::make_unique<Convertable>();
  TraceEvent event;
  event.Initialize(1, TimeTicks(), ThreadTicks(), 'B', Category("toplevel"),
                   "E", nullptr, 0, 0, 2, names, types, values, convertables,
                   kFlagNone);
  EXPECT_FALSE(convertables[0]);
  EXPECT_EQ(Json(event), Prefix(1, 0, 'B', "toplevel", "E") +
                             "{\"obj\":{\"x\":[1,2]},\"n\":5}}");
  std::ostringstream console;
  event.AppendPrettyPrinted(&console);
  EXPECT_EQ(console.str(), "E[toplevel], {obj:{\"x\":[1,2]}, n:5}");

  TraceEvent bare;
  bare.Initialize(1, TimeTicks(), ThreadTicks(), 'B', Category("toplevel"), "E",
                  nullptr, 0, 0, 0, nullptr, nullptr, nullptr, nullptr,
                  kFlagNone);
  std::ostringstream bare_console;
  bare.AppendPrettyPrinted(&bare_console);
  EXPECT_EQ(bare_console.str(), "E[toplevel]");
}

}  // namespace
}  // namespace trace_event
}  // namespace base
