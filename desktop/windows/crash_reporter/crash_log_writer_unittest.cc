#include "desktop/windows/crash_reporter/crash_log_writer.h"

#include <stdio.h>

#include <string>
#include <vector>

#include "base/files/file_util.h"
#include "base/strings/string_util.h"
#include "base/test/scoped_temp_dir.h"
#include "desktop/windows/crash_reporter/test/fake_process_state.h"
#include "desktop/windows/crash_reporter/test/scratch_stream.h"
#include "gtest/gtest.h"

namespace crash_reporter {

namespace {

constexpr uint64_t kStack = 0x7FF000100000;
constexpr uint64_t kData = 0x10000000;

// Writes the log into a temporary stream and returns it; "" on failure.
std::string WriteLog(CrashLogWriter* writer, FakeProcessState* state,
                     const CrashLogInfo& info = CrashLogInfo()) {
  test::ScratchStream stream;
  EXPECT_TRUE(stream.get());
  if (!stream.get()) return "";
  const bool written = writer->Write(state, info, stream.get());
  const std::string text = stream.ReadAll();
  return written ? text : "";
}

std::string WriteLog(FakeProcessState* state,
                     const CrashLogInfo& info = CrashLogInfo()) {
  CrashLogWriter writer;
  return WriteLog(&writer, state, info);
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  for (size_t end; (end = text.find('\n', start)) != std::string::npos;
       start = end + 1) {
    lines.push_back(text.substr(start, end - start));
  }
  return lines;
}

size_t Count(const std::string& text, const std::string& piece) {
  size_t count = 0;
  for (size_t at = text.find(piece); at != std::string::npos;
       at = text.find(piece, at + 1)) {
    ++count;
  }
  return count;
}

// The line after the one starting with |prefix|, or "".
std::string LineStartingWith(const std::string& text,
                             const std::string& prefix) {
  for (const std::string& line : Lines(text))
    if (line.compare(0, prefix.size(), prefix) == 0) return line;
  return "";
}

// A stack region of one page beginning with |words|, the rest zero.
void AddStack(FakeProcessState* state, uint64_t address,
              std::vector<uint64_t> words) {
  words.resize(CrashLogWriter::kPageSize / 8, 0);
  state->AddWords(address, words);
}

RegisterSet StackRegisters(uint64_t rsp, uint64_t rbp = 0) {
  RegisterSet registers;
  registers.rsp = rsp;
  registers.rbp = rbp;
  return registers;
}

TEST(CrashLogWriterTest, WholeLogOfOneThread) {
  FakeProcessState state;
  state.SetException(0xC0000005, 0x7FF612345678);
  state.AddModule(
      std::make_unique<FakeModule>("host.exe", 0x7FF612340000, 0x20000, 0,
                                   "1.2.3.4", 0x5F00AB12),
      /*main=*/true);
  RegisterSet registers;
  uint64_t value = 0x0101010101010101;
  for (uint64_t* r :
       {&registers.rax, &registers.rbx, &registers.rcx, &registers.rdx,
        &registers.rsi, &registers.rdi, &registers.r8, &registers.r9,
        &registers.r10, &registers.r11, &registers.r12, &registers.r13,
        &registers.r14, &registers.r15, &registers.rip}) {
    *r = value;  // unreadable: none adds a range
    value += 0x0101010101010101;
  }
  registers.rbp = kStack + 0x10;
  registers.rsp = kStack;
  registers.flags = 0x246;
  for (int i = 0; i < 8; ++i) {
    registers.st[i].exponent = static_cast<uint16_t>(0x4000 + i);
    registers.st[i].mantissa = 0x8000000000000000u + i;
  }
  registers.status_word = 0x0120;
  registers.control_word = 0x037F;
  for (int i = 0; i < 16; ++i) {
    registers.xmm[i].high = 0xA0 + i;
    registers.xmm[i].low = 0xB0 + i;
  }
  // A saved frame pointer at +0x10 pointing to +0x20, and text bytes.
  AddStack(&state, kStack, {0x3837363534333231, 0, kStack + 0x20, 0x55});
  state.AddThread(0x1234, registers, 0x28, /*crashed=*/true, -2);

  CrashLogInfo info;
  info.product_suffix = "-x";
  info.version = "41.0.2353.23";
  info.build = "730997";
  info.metadata = {{"process_type", "installer"}, {"k", "a\r\nb\tc"}};
  // The stack's known extent is 0x20 bytes past the last non-zero byte:
  // 32 + 128 bytes are dumped.
  std::string zero_lines;
  for (int line = 3; line < 10; ++line) {
    zero_lines += "7FF0001000" + std::to_string(line) +
                  "0  0000000000000000  0000000000000000  ................\n";
  }
  EXPECT_EQ(
      "VELNA-CRASHLOG V1 desktop-x 41.0.2353.23 730997 windows x64 release\n"
      "host.exe caused exception C0000005 at address 7FF612345678 "
      "(Base: 7FF612340000)\n"
      "\nmetadata:\n"
      "process_type=\"installer\"\n"
      "k=\"a  b c\"\n"
      "\nThread: 00001234\n"
      "\nThreadInfo: 00001234\n"
      "Priority=FFFFFFFE\n"
      "Crashed=1\n"
      "checked_context_values=17 (all)\n"
      "checked_stack_values=20 (all)\n"
      "\nRegisters: 00001234\n"
      "RAX=0101010101010101   RBX=0202020202020202   RCX=0303030303030303\n"
      "RDX=0404040404040404   RSI=0505050505050505   RDI=0606060606060606\n"
      " R8=0707070707070707    R9=0808080808080808   R10=0909090909090909\n"
      "R11=0A0A0A0A0A0A0A0A   R12=0B0B0B0B0B0B0B0B   R13=0C0C0C0C0C0C0C0C\n"
      "R14=0D0D0D0D0D0D0D0D   R15=0E0E0E0E0E0E0E0E   RBP=00007FF000100010\n"
      "RSP=00007FF000100000   RIP=0F0F0F0F0F0F0F0F FLAGS=00000246\n"
      "\nFPU stack: 00001234\n"
      "st(0)=40008000000000000000 st(1)=40018000000000000001 "
      "st(2)=40028000000000000002\n"
      "st(3)=40038000000000000003 st(4)=40048000000000000004 "
      "st(5)=40058000000000000005\n"
      "st(6)=40068000000000000006 st(7)=40078000000000000007 SW=0120 CW=037F\n"
      " XMM0=00000000000000A000000000000000B0  "
      "XMM1=00000000000000A100000000000000B1\n"
      " XMM2=00000000000000A200000000000000B2  "
      "XMM3=00000000000000A300000000000000B3\n"
      " XMM4=00000000000000A400000000000000B4  "
      "XMM5=00000000000000A500000000000000B5\n"
      " XMM6=00000000000000A600000000000000B6  "
      "XMM7=00000000000000A700000000000000B7\n"
      " XMM8=00000000000000A800000000000000B8  "
      "XMM9=00000000000000A900000000000000B9\n"
      "XMM10=00000000000000AA00000000000000BA "
      "XMM11=00000000000000AB00000000000000BB\n"
      "XMM12=00000000000000AC00000000000000BC "
      "XMM13=00000000000000AD00000000000000BD\n"
      "XMM14=00000000000000AE00000000000000BE "
      "XMM15=00000000000000AF00000000000000BF\n"
      "\nStack dump: 00001234\n"
      "7FF000100000  3837363534333231  0000000000000000  12345678........\n"
      "7FF000100010 >00007FF000100020  0000000000000055   .......U.......\n"
      "7FF000100020 >0000000000000000  0000000000000000  ................\n" +
          zero_lines +
          "\nUsed DLLs:\n"
          "host.exe" +
          std::string(18, ' ') + " 1.2.3.4" + std::string(39, ' ') +
          " Base: 7FF612340000 Size: 00020000 Timestamp: 5F00AB12\n"
          "\nMemory dumps:\n",
      WriteLog(&state, info));
}

TEST(CrashLogWriterTest, HeaderWithoutMainModule) {
  FakeProcessState state;
  state.SetException(0x80000003, 0x1234);
  EXPECT_EQ(
      "VELNA-CRASHLOG V1 desktop   windows x64 release\n"
      "<no name> caused exception 80000003 at address 000000001234 "
      "(Base: 000000000000)\n"
      "\nUsed DLLs:\n"
      "\nMemory dumps:\n",
      WriteLog(&state));
}

TEST(CrashLogWriterTest, PointersGiveMergedRanges) {
  constexpr uint64_t kCode = 0x140000000;
  struct {
    const char* name;
    std::vector<uint64_t> pointers;
    std::vector<MemoryRangeList::Range> ranges;
  } cases[] = {
      {"null and unreadable", {0, kData + 0x100000}, {}},
      {"two data pointers 100 bytes apart",
       {kData + 2048, kData + 2148},
       {{kData + 1024, kData + 3172}}},  // 2,148 bytes
      {"two code pointers 20 bytes apart",
       {kCode + 0x1000, kCode + 0x1014},
       {{kCode + 0x1000 - 16, kCode + 0x1014 + 16}}},  // 52 bytes
      {"a pointer beyond the code is data",
       {kCode + 0x2000},
       {{kCode + 0x2000 - 1024, kCode + 0x2000 + 1024}}},
      {"a pointer near 0 is clamped", {0x100}, {{0, 0x100 + 1024}}},
  };
  for (const auto& test : cases) {
    SCOPED_TRACE(test.name);
    FakeProcessState state;
    state.AddMemory(0, std::vector<uint8_t>(0x1000));
    state.AddMemory(kData, std::vector<uint8_t>(0x1000));
    state.AddMemory(kCode, std::vector<uint8_t>(0x3000));
    state.AddModule(
        std::make_unique<FakeModule>("a.dll", kCode, 0x3000, 0x2000));
    // A module without a known end of code matches nothing.
    state.AddModule(std::make_unique<FakeModule>("b.dll", kData, 0x1000, 0));
    AddStack(&state, kStack, test.pointers);
    state.AddThread(1, StackRegisters(kStack), test.pointers.size() * 8,
                    /*crashed=*/true);
    CrashLogWriter writer;
    WriteLog(&writer, &state);
    EXPECT_EQ(test.ranges, writer.ranges().ranges());
  }
}

TEST(CrashLogWriterTest, ValuesInsideTheStackAddNoRange) {
  FakeProcessState state;
  AddStack(&state, kStack, {kStack + 8, kStack, kStack + 0x18, 0x77});
  RegisterSet registers = StackRegisters(kStack, kStack + 8);
  registers.rax = kStack + 0x10;
  state.AddThread(1, registers, 32, /*crashed=*/true);
  CrashLogWriter writer;
  const std::string log = WriteLog(&writer, &state);
  EXPECT_TRUE(writer.ranges().ranges().empty());
  EXPECT_NE(std::string::npos, log.find("checked_stack_values=20 (all)"));
}

TEST(CrashLogWriterTest, StackBelowTheFirstPageIsEmpty) {
  FakeProcessState state;
  state.AddMemory(0, std::vector<uint8_t>(0x2000, 0x41));
  state.AddThread(7, StackRegisters(0xFF8), 0x1000, /*crashed=*/true);
  const std::string log = WriteLog(&state);
  EXPECT_NE(std::string::npos, log.find("checked_stack_values=0 (all)\n"));
  EXPECT_NE(std::string::npos,
            log.find("\nStack dump: 00000007\n\nUsed DLLs:\n"));
}

TEST(CrashLogWriterTest, StackReadStopsAtTheLastReadablePage) {
  // Wanted: 8,192 bytes (no extent); readable: up to the page boundary
  // 0x7FF000101000, from a start 0x20 below a boundary... of 0xF00 bytes.
  constexpr uint64_t kStart = kStack + 0x100;
  FakeProcessState state;
  state.AddMemory(kStart, std::vector<uint8_t>(0x1000 - 0x100, 0x61));
  state.AddThread(1, StackRegisters(kStart + 2), 0, /*crashed=*/true);
  const std::string log = WriteLog(&state);
  // RSP rounded down to 4; the whole readable part is kept (crashed).
  EXPECT_EQ("checked_stack_values=480 (all)",
            LineStartingWith(log, "checked_stack_values="));
  EXPECT_EQ(
      "7FF000100100  6161616161616161  6161616161616161  "
      "aaaaaaaaaaaaaaaa",
      LineStartingWith(log, "7FF000100100"));
  EXPECT_EQ("", LineStartingWith(log, "7FF000101000"));
}

TEST(CrashLogWriterTest, StackLengthOfKnownExtentDropsTrailingZeros) {
  struct {
    const char* name;
    size_t extent;
    size_t nonzero;  // leading bytes that are not zero
    size_t expected_words;
  } cases[] = {
      {"zeros cut, 128 added", 4096, 40, (40 + 128) / 8},
      {"rounded up to 8 first", 4096, 41, (48 + 128) / 8},
      {"never beyond the read", 64, 64, 8},
      {"all zero keeps 128 bytes", 4096, 0, 16},
      {"at most 8,192 bytes", 20000, 9000, 8192 / 8},
  };
  for (const auto& test : cases) {
    SCOPED_TRACE(test.name);
    FakeProcessState state;
    std::vector<uint8_t> stack(test.extent, 0);
    for (size_t i = 0; i < test.nonzero; ++i) stack[i] = 0xEE;
    state.AddMemory(kStack, stack);
    state.AddThread(1, StackRegisters(kStack), test.extent, /*crashed=*/false);
    state.AddThread(2, StackRegisters(0), 0, /*crashed=*/true);
    const std::string log = WriteLog(&state);
    EXPECT_EQ("checked_stack_values=" + std::to_string(test.expected_words) +
                  " (all)",
              LineStartingWith(log, "checked_stack_values="));
  }
}

TEST(CrashLogWriterTest, StackLengthWithoutExtentFollowsFramePointers) {
  // Frames at +0x300 -> +0x400 -> +0x380 (does not grow: stop at +0x400);
  // a word at +0x8 points to +0x500, which extends the length.
  std::vector<uint64_t> words(8192 / 8, 0);
  words[0x300 / 8] = kStack + 0x400;
  words[0x400 / 8] = kStack + 0x380;
  words[0x8 / 8] = kStack + 0x500;
  words[0x600 / 8] = kStack + 0x1000;  // beyond the length: not looked at
  FakeProcessState state;
  state.AddWords(kStack, words);
  state.AddThread(1, StackRegisters(kStack, kStack + 0x300), 0,
                  /*crashed=*/false);
  state.AddThread(2, StackRegisters(kStack, kStack + 0x300), 0,
                  /*crashed=*/true);
  const std::string log = WriteLog(&state);
  const std::vector<std::string> lines = Lines(log);
  std::vector<std::string> counts;
  for (const std::string& line : lines)
    if (line.rfind("checked_stack_values=", 0) == 0) counts.push_back(line);
  // (0x500 + 128) / 8 = 176 for the other thread; the crashed one keeps
  // all 8,192 bytes.
  EXPECT_EQ((std::vector<std::string>{"checked_stack_values=176 (all)",
                                      "checked_stack_values=1024 (all)"}),
            counts);
  // The markers follow the chain from RBP.
  const size_t first = log.find("Thread: 00000001");
  EXPECT_EQ(
      2u, Count(log.substr(first, log.find("Thread: 00000002") - first), ">"));
}

TEST(CrashLogWriterTest, ListsAtMost499ThreadsAndTheCrashedOne) {
  FakeProcessState state;
  for (uint32_t id = 1; id <= 600; ++id)
    state.AddThread(id, StackRegisters(0), 0, /*crashed=*/id == 550);
  const std::string log = WriteLog(&state);
  EXPECT_EQ(500u, Count(log, "\nThread: "));
  EXPECT_NE(std::string::npos, log.find("\nThread: 000001F3\n"));  // 499
  EXPECT_EQ(std::string::npos, log.find("\nThread: 000001F4\n"));  // 500
  EXPECT_NE(std::string::npos, log.find("\nThread: 00000226\n"));  // 550
  EXPECT_EQ(std::string::npos, log.find("\nThread: 00000258\n"));  // 600
}

TEST(CrashLogWriterTest, MemoryBudgetsOfOtherThreads) {
  // Twenty threads whose 40 stack words each point at their own readable
  // page: every pointer adds 2,048 bytes. Then a crashed thread with 40
  // more, which has no budget.
  constexpr size_t kThreads = 20;
  constexpr size_t kWords = 40;
  FakeProcessState state;
  uint64_t target = kData;
  for (size_t t = 0; t <= kThreads; ++t) {
    std::vector<uint64_t> words;
    for (size_t w = 0; w < kWords; ++w, target += 0x1000) {
      state.AddMemory(target, std::vector<uint8_t>(0x1000, 0x33));
      words.push_back(target + 0x800);
    }
    const uint64_t stack = kStack + t * 0x10000;
    AddStack(&state, stack, words);
    state.AddThread(static_cast<uint32_t>(t + 1), StackRegisters(stack),
                    kWords * 8, /*crashed=*/t == kThreads);
  }
  CrashLogWriter writer;
  const std::string log = WriteLog(&writer, &state);
  std::vector<size_t> checked;
  for (const std::string& line : Lines(log)) {
    if (line.rfind("checked_stack_values=", 0) == 0)
      checked.push_back(std::stoul(line.substr(21)));
  }
  // Nine threads take 61,440 each; then half of what is left, while it is
  // no more than 61,440, down to nothing; the crashed thread has no limit
  // (its block: 320 bytes and 128 more).
  EXPECT_EQ((std::vector<size_t>{30, 30, 30, 30, 30, 30, 30, 30, 30, 15, 8,
                                 4,  2,  1,  0,  0,  0,  0,  0,  0,  56}),
            checked);
  EXPECT_EQ(614400u + 40 * 2048, writer.ranges().total());
  // Threads without budget examine no register either.
  EXPECT_EQ(6u, Count(log, "checked_context_values=0\n"));
}

TEST(CrashLogWriterTest, TheLastThreadTakesItsWholeShare) {
  FakeProcessState state;
  uint64_t target = kData;
  for (size_t t = 0; t < 11; ++t) {
    std::vector<uint64_t> words;
    for (size_t w = 0; w < 40; ++w, target += 0x1000) {
      state.AddMemory(target, std::vector<uint8_t>(0x1000, 0x33));
      words.push_back(target + 0x800);
    }
    const uint64_t stack = kStack + t * 0x10000;
    state.AddWords(stack, words);
    state.AddThread(static_cast<uint32_t>(t + 1), StackRegisters(stack), 40 * 8,
                    /*crashed=*/false);
  }
  // The tenth thread halves the last 61,440; the eleventh is the last and
  // takes all that is left.
  const std::string log = WriteLog(&state);
  std::vector<std::string> lines = Lines(log);
  std::vector<std::string> checked;
  for (const std::string& line : lines)
    if (line.rfind("checked_stack_values=", 0) == 0) checked.push_back(line);
  ASSERT_EQ(11u, checked.size());
  EXPECT_EQ("checked_stack_values=15", checked[9]);
  EXPECT_EQ("checked_stack_values=15", checked[10]);
}

TEST(CrashLogWriterTest, MemoryDumpLines) {
  FakeProcessState state;
  // The range of a pointer at kData + 0x1010 starts 1,024 bytes lower, in
  // an unreadable page, and moves up to the page boundary. The range of a
  // pointer at kData + 0x4F00 ends in an unreadable page and moves down to
  // its boundary.
  std::vector<uint8_t> bytes(0x1000);
  for (size_t i = 0; i < bytes.size(); ++i)
    bytes[i] = static_cast<uint8_t>(0x20 + i % 0x70);
  state.AddMemory(kData + 0x1000, bytes);
  state.AddMemory(kData + 0x4000, std::vector<uint8_t>(0x1000, 0x42));
  AddStack(&state, kStack, {kData + 0x1010, kData + 0x4F00});
  state.AddThread(1, StackRegisters(kStack), 16, /*crashed=*/true);
  const std::string log = WriteLog(&state);
  const std::vector<std::string> lines =
      Lines(log.substr(log.find("\nMemory dumps:\n")));
  // 0x1000 to 0x1410: 65 lines; an empty line; 0x4B00 to 0x5000: 80 lines.
  ASSERT_EQ(2u + 65 + 1 + 80, lines.size());
  EXPECT_EQ(
      "000010001000  20 21 22 23  24 25 26 27  28 29 2A 2B  2C 2D 2E 2F "
      " !\"#$%&'()*+,-./",
      lines[2]);
  EXPECT_EQ(
      "000010001400  30 31 32 33  34 35 36 37  38 39 3A 3B  3C 3D 3E 3F "
      "0123456789:;<=>?",
      lines[2 + 64]);
  EXPECT_EQ("", lines[2 + 65]);
  EXPECT_EQ(0u, lines[3 + 65].find("000010004B00  42 42"));
  EXPECT_EQ(0u, lines.back().find("000010004FF0  42 42"));
}

TEST(CrashLogWriterTest, ShortLastDumpLineIsPadded) {
  FakeProcessState state;
  state.AddMemory(kData + 0x1000, std::vector<uint8_t>(0x1000, 0x41));
  AddStack(&state, kStack, {kData + 0x1008});
  state.AddThread(1, StackRegisters(kStack), 8, /*crashed=*/true);
  const std::string log = WriteLog(&state);
  const std::vector<std::string> lines = Lines(log);
  EXPECT_EQ("000010001400  41 41 41 41  41 41 41 41" + std::string(27, ' ') +
                "AAAAAAAA",
            lines.back());
}

TEST(CrashLogWriterTest, FailsWithoutAMemoryReader) {
  FakeProcessState state;
  state.AddThread(1, StackRegisters(kStack), 0, /*crashed=*/true);
  state.set_reader_available(false);
  CrashLogWriter writer;
  test::ScratchStream stream;
  ASSERT_TRUE(stream.get());
  EXPECT_FALSE(writer.Write(&state, CrashLogInfo(), stream.get()));

  // Without threads the memory dumps still need the reader.
  FakeProcessState no_threads;
  no_threads.set_reader_available(false);
  test::ScratchStream second;
  ASSERT_TRUE(second.get());
  EXPECT_FALSE(writer.Write(&no_threads, CrashLogInfo(), second.get()));
}

TEST(CrashLogWriterTest, WriteToFileRemovesAFailedLog) {
  base::ScopedTempDir temp;
  ASSERT_TRUE(temp.CreateUniqueTempDir());
  const base::FilePath path = temp.GetPath().AppendASCII("crash.txt");
  FakeProcessState state;
  state.set_reader_available(false);
  CrashLogWriter writer;
  EXPECT_FALSE(writer.WriteToFile(&state, CrashLogInfo(), path));
  EXPECT_FALSE(base::PathExists(path));

  state.set_reader_available(true);
  EXPECT_TRUE(writer.WriteToFile(&state, CrashLogInfo(), path));
  std::string contents;
  ASSERT_TRUE(base::FileUtil::ReadFileToString(path, &contents));
  EXPECT_EQ(0u, contents.find("VELNA-CRASHLOG V1 desktop"));

  // Only into a new file: one planted at the name stays as it is.
  ASSERT_EQ(7, base::WriteBufferToFile(path, "planted", 7));
  EXPECT_FALSE(writer.WriteToFile(&state, CrashLogInfo(), path));
  ASSERT_TRUE(base::FileUtil::ReadFileToString(path, &contents));
  EXPECT_EQ("planted", contents);

  EXPECT_FALSE(writer.WriteToFile(&state, CrashLogInfo(), base::FilePath()));
  EXPECT_FALSE(
      writer.WriteToFile(&state, CrashLogInfo(),
                         temp.GetPath().AppendASCII("no").AppendASCII("x")));
}

}  // namespace

}  // namespace crash_reporter
