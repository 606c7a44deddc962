#include "desktop/windows/installer/processor_check_win.h"

#include <string>

#include "gtest/gtest.h"

namespace installer {
namespace {

// What the check did through its hooks.
struct Record {
  int messages = 0;
  std::u16string text;
  std::u16string caption;
  int exits = 0;
  unsigned exit_code = 0;
};
Record* g_record = nullptr;
bool g_has_sse2 = true;

ProcessorCheckHooks RecordingHooks() {
  return {
      [] { return g_has_sse2; },
      [](const char16_t* text, const char16_t* caption) {
        ++g_record->messages;
        g_record->text = text;
        g_record->caption = caption;
      },
      [](unsigned exit_code) {
        ++g_record->exits;
        g_record->exit_code = exit_code;
      },
  };
}

TEST(ProcessorCheckTest, WithoutSse2TheUserIsToldAndTheProcessEnds) {
  Record record;
  g_record = &record;
  g_has_sse2 = false;
  EXPECT_FALSE(CheckProcessorSupportsSse2(RecordingHooks()));
  EXPECT_EQ(1, record.messages);
  EXPECT_EQ(
      u"This program requires a computer that supports SSE2 "
      u"instructions.",
      record.text);
  EXPECT_EQ(u"Error", record.caption);
  EXPECT_EQ(1, record.exits);
  EXPECT_EQ(1u, record.exit_code);
  g_record = nullptr;
}

TEST(ProcessorCheckTest, WithSse2NothingHappens) {
  Record record;
  g_record = &record;
  g_has_sse2 = true;
  EXPECT_TRUE(CheckProcessorSupportsSse2(RecordingHooks()));
  EXPECT_EQ(0, record.messages);
  EXPECT_EQ(0, record.exits);
  // Every x86-64 processor has SSE2: this process got past the real check.
  EXPECT_TRUE(CheckProcessorAtLoad());
  g_record = nullptr;
}

}  // namespace
}  // namespace installer
