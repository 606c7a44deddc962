#include "desktop/windows/crash_reporter/crash_log_writer.h"

#include <stddef.h>
#include <string.h>

#include <algorithm>
#include <array>
#include <limits>
#include <memory>

#include "base/logging.h"
#include "desktop/windows/crash_reporter/crash_file.h"
#include "desktop/windows/crash_reporter/printable_ascii.h"

namespace crash_reporter {

namespace {

constexpr char kNoModuleName[] = "<no name>";

// Where the register record keeps each printed value, in print order: the
// 17 general registers (RAX to R15, RBP, RSP, RIP), the flags, st(0) to
// st(7) as (exponent, mantissa), the status and control words, and XMM0 to
// XMM15 as (high, low).
struct RegisterField {
  size_t offset;
  size_t width;
};

constexpr std::array<RegisterField, 68> MakeRegisterFields() {
  std::array<RegisterField, 68> fields{};
  size_t count = 0;
  for (size_t offset : {offsetof(RegisterSet, rax), offsetof(RegisterSet, rbx),
                        offsetof(RegisterSet, rcx), offsetof(RegisterSet, rdx),
                        offsetof(RegisterSet, rsi), offsetof(RegisterSet, rdi),
                        offsetof(RegisterSet, r8), offsetof(RegisterSet, r9),
                        offsetof(RegisterSet, r10), offsetof(RegisterSet, r11),
                        offsetof(RegisterSet, r12), offsetof(RegisterSet, r13),
                        offsetof(RegisterSet, r14), offsetof(RegisterSet, r15),
                        offsetof(RegisterSet, rbp), offsetof(RegisterSet, rsp),
                        offsetof(RegisterSet, rip)}) {
    fields[count++] = {offset, 8};
  }
  fields[count++] = {offsetof(RegisterSet, flags), 4};
  for (size_t i = 0; i < 8; ++i) {
    const size_t st =
        offsetof(RegisterSet, st) + i * sizeof(RegisterSet::X87Register);
    fields[count++] = {st + offsetof(RegisterSet::X87Register, exponent), 2};
    fields[count++] = {st + offsetof(RegisterSet::X87Register, mantissa), 8};
  }
  fields[count++] = {offsetof(RegisterSet, status_word), 2};
  fields[count++] = {offsetof(RegisterSet, control_word), 2};
  for (size_t i = 0; i < 16; ++i) {
    const size_t xmm =
        offsetof(RegisterSet, xmm) + i * sizeof(RegisterSet::XmmRegister);
    fields[count++] = {xmm + offsetof(RegisterSet::XmmRegister, high), 8};
    fields[count++] = {xmm + offsetof(RegisterSet::XmmRegister, low), 8};
  }
  return fields;
}

constexpr std::array<RegisterField, 68> kRegisterFields = MakeRegisterFields();
constexpr size_t kRegisterFieldCount = kRegisterFields.size();
constexpr size_t kGeneralRegisterCount = 17;

// The register block; each "%0<width>X" takes the following value: the
// thread id, the 68 values of kRegisterFields with the thread id again
// before st(0).
constexpr char kRegisterFormat[] =
    "\nRegisters: %08X\n"
    "RAX=%016X   RBX=%016X   RCX=%016X\n"
    "RDX=%016X   RSI=%016X   RDI=%016X\n"
    " R8=%016X    R9=%016X   R10=%016X\n"
    "R11=%016X   R12=%016X   R13=%016X\n"
    "R14=%016X   R15=%016X   RBP=%016X\n"
    "RSP=%016X   RIP=%016X FLAGS=%08X\n"
    "\nFPU stack: %08X\n"
    "st(0)=%04X%016X st(1)=%04X%016X st(2)=%04X%016X\n"
    "st(3)=%04X%016X st(4)=%04X%016X st(5)=%04X%016X\n"
    "st(6)=%04X%016X st(7)=%04X%016X SW=%04X CW=%04X\n"
    " XMM0=%016X%016X  XMM1=%016X%016X\n"
    " XMM2=%016X%016X  XMM3=%016X%016X\n"
    " XMM4=%016X%016X  XMM5=%016X%016X\n"
    " XMM6=%016X%016X  XMM7=%016X%016X\n"
    " XMM8=%016X%016X  XMM9=%016X%016X\n"
    "XMM10=%016X%016X XMM11=%016X%016X\n"
    "XMM12=%016X%016X XMM13=%016X%016X\n"
    "XMM14=%016X%016X XMM15=%016X%016X\n";
// The index in kRegisterFields before which the thread id is printed again.
constexpr size_t kFpuStackField = 18;

// Upper-case hexadecimal, zero-padded to |width| digits.
void AppendHex(std::string* out, uint64_t value, size_t width) {
  char digits[16];
  size_t count = 0;
  do {
    digits[count++] = "0123456789ABCDEF"[value & 0xF];
    value >>= 4;
  } while (value != 0);
  if (width > count) out->append(width - count, '0');
  while (count > 0) out->push_back(digits[--count]);
}

std::string Hex(uint64_t value, size_t width) {
  std::string text;
  AppendHex(&text, value, width);
  return text;
}

// Expands |format|, whose only directives are "%0<width>X", with |values|
// in order.
void AppendHexFormat(std::string* out, const char* format,
                     const std::vector<uint64_t>& values) {
  size_t next = 0;
  for (const char* at = format; *at; ++at) {
    if (*at != '%') {
      out->push_back(*at);
      continue;
    }
    size_t width = 0;
    for (++at; *at >= '0' && *at <= '9'; ++at) width = width * 10 + (*at - '0');
    CHECK(*at == 'X' && next < values.size());
    AppendHex(out, values[next++], width);
  }
  CHECK(next == values.size());
}

// A space, each byte as itself when printable and as '.' otherwise, and the
// line end.
void AppendTextColumn(std::string* out, const uint8_t* bytes, size_t size) {
  out->push_back(' ');
  for (size_t i = 0; i < size; ++i)
    out->push_back(IsPrintableAscii(bytes[i]) ? static_cast<char>(bytes[i])
                                              : '.');
  out->push_back('\n');
}

uint64_t ReadWord(const uint8_t* bytes) {
  uint64_t word;
  memcpy(&word, bytes, sizeof(word));
  return word;
}

uint64_t ReadRegisterField(const RegisterSet& registers,
                           const RegisterField& field) {
  uint64_t value = 0;
  memcpy(&value, reinterpret_cast<const uint8_t*>(&registers) + field.offset,
         field.width);
  return value;
}

}  // namespace

CrashLogWriter::CrashLogWriter() = default;

CrashLogWriter::~CrashLogWriter() = default;

bool CrashLogWriter::WriteToFile(ProcessState* state, const CrashLogInfo& info,
                                 const base::FilePath& path) {
  FILE* stream = path.empty()
                     ? nullptr
                     : OpenCrashFile(path, CrashFileMode::kCreate, true);
  if (!stream) {
    PLOG(ERROR) << "Could not create the crash log " << path.value();
    return false;
  }
  const bool written = Write(state, info, stream);
  return CloseCrashFile(stream, path, written);
}

bool CrashLogWriter::Write(ProcessState* state, const CrashLogInfo& info,
                           FILE* stream) {
  stream_ = stream;
  ranges_.Clear();
  const bool written = WriteHeader(state, info) && WriteMetadata(info) &&
                       WriteThreads(state) && WriteModules(state) &&
                       WriteMemoryDumps(state);
  stream_ = nullptr;
  return written;
}

bool CrashLogWriter::Put(const std::string& text) {
  return fwrite(text.data(), 1, text.size(), stream_) == text.size();
}

bool CrashLogWriter::WriteHeader(ProcessState* state,
                                 const CrashLogInfo& info) {
  const ModuleInfo* main_module = state->GetMainModule();
  std::string text = "VELNA-CRASHLOG V1 desktop" + info.product_suffix + " " +
                     info.version + " " + info.build + " windows x64 release\n";
  text += main_module ? main_module->GetName() : kNoModuleName;
  text += " caused exception " + Hex(state->GetExceptionCode(), 0) +
          " at address " + Hex(state->GetExceptionAddress(), 12) + " (Base: " +
          Hex(main_module ? main_module->GetBaseAddress() : 0, 12) + ")\n";
  return Put(text);
}

bool CrashLogWriter::WriteMetadata(const CrashLogInfo& info) {
  if (info.metadata.empty()) return true;
  std::string text = "\nmetadata:\n";
  for (const auto& [name, value] : info.metadata) {
    text += WithControlCharactersAsSpaces(name) + "=\"" +
            WithControlCharactersAsSpaces(value) + "\"\n";
  }
  return Put(text);
}

bool CrashLogWriter::WriteThreads(ProcessState* state) {
  const ProcessState::ThreadList& threads = state->GetThreads();
  for (size_t i = 0; i < threads.size(); ++i) {
    const ThreadInfo& thread = *threads[i];
    if (i + 1 >= kMaxListedThreads && !thread.IsCrashed()) continue;
    if (!WriteThread(state, thread, i + 1 == threads.size())) return false;
  }
  return true;
}

int64_t CrashLogWriter::ThreadBudget(const ThreadInfo& thread,
                                     bool is_last) const {
  if (thread.IsCrashed()) return -1;
  if (ranges_.total() >= kTotalMemoryBudget) return 0;
  const uint64_t rest = kTotalMemoryBudget - ranges_.total();
  if (rest <= kThreadMemoryBudget && !is_last)
    return static_cast<int64_t>(rest / 2);
  return static_cast<int64_t>(std::min(rest, kThreadMemoryBudget));
}

void CrashLogWriter::CheckValue(ProcessState* state, const StackBlock& stack,
                                uint64_t value, int64_t* budget) {
  if (stack.Contains(value)) return;
  const uint64_t added = AddRangeAroundPointer(state, value);
  if (*budget < 0) return;
  *budget -= static_cast<int64_t>(
      std::min<uint64_t>(added, static_cast<uint64_t>(*budget)));
}

uint64_t CrashLogWriter::AddRangeAroundPointer(ProcessState* state,
                                               uint64_t value) {
  if (value == 0 || !state->IsAddressReadable(value)) return 0;
  uint64_t margin = kDataPointerMargin;
  for (const auto& module : state->GetModules()) {
    const uint64_t code_end = module->GetCodeEnd();
    const uint64_t start = module->GetStartAddress();
    if (code_end != 0 && value >= start && value - start < code_end) {
      margin = kCodePointerMargin;
      break;
    }
  }
  const uint64_t low = value >= margin ? value - margin : 0;
  const uint64_t high = value <= std::numeric_limits<uint64_t>::max() - margin
                            ? value + margin
                            : std::numeric_limits<uint64_t>::max();
  return ranges_.Add(low, high);
}

bool CrashLogWriter::WriteThread(ProcessState* state, const ThreadInfo& thread,
                                 bool is_last) {
  std::unique_ptr<ProcessMemoryReader> reader = state->CreateMemoryReader();
  if (!reader) return false;
  const StackBlock stack = ReadStack(reader.get(), thread);
  const RegisterSet& registers = thread.GetRegisters();

  int64_t budget = ThreadBudget(thread, is_last);
  size_t context_values = 0;
  for (; context_values < kGeneralRegisterCount && budget != 0;
       ++context_values) {
    CheckValue(state, stack,
               ReadRegisterField(registers, kRegisterFields[context_values]),
               &budget);
  }
  const size_t stack_words = stack.bytes.size() / 8;
  size_t stack_values = 0;
  for (; stack_values < stack_words && budget != 0; ++stack_values) {
    CheckValue(state, stack, ReadWord(&stack.bytes[stack_values * 8]), &budget);
  }

  const uint32_t id = thread.GetThreadId();
  std::string text = "\nThread: " + Hex(id, 8) + "\n";
  text += "\nThreadInfo: " + Hex(id, 8) +
          "\nPriority=" + Hex(static_cast<uint32_t>(thread.GetPriority()), 8) +
          "\nCrashed=" + (thread.IsCrashed() ? "1" : "0") +
          "\nchecked_context_values=" + std::to_string(context_values) +
          (context_values == kGeneralRegisterCount ? " (all)" : "") +
          "\nchecked_stack_values=" + std::to_string(stack_values) +
          (stack_values == stack_words ? " (all)" : "") + "\n";

  std::vector<uint64_t> values;
  values.push_back(id);
  for (size_t i = 0; i < kRegisterFieldCount; ++i) {
    if (i == kFpuStackField) values.push_back(id);
    values.push_back(ReadRegisterField(registers, kRegisterFields[i]));
  }
  AppendHexFormat(&text, kRegisterFormat, values);

  // The stack in lines of 16 bytes; '>' marks the saved frame pointers,
  // starting from RBP.
  text += "\nStack dump: " + Hex(id, 8) + "\n";
  uint64_t frame = registers.rbp;
  const size_t size = stack.bytes.size();
  for (size_t line = 0; line < size; line += 16) {
    text += Hex(stack.start + line, 12) + " ";
    for (size_t column = line; column < line + 16; column += 8) {
      if (column + 8 > size) {
        text.append(18, ' ');
        continue;
      }
      const uint64_t word = ReadWord(&stack.bytes[column]);
      const bool marked = stack.start + column == frame;
      text += (marked ? ">" : " ") + Hex(word, 16) + " ";
      if (marked) frame = word;
    }
    AppendTextColumn(&text, &stack.bytes[line],
                     std::min<size_t>(16, size - line));
  }
  return Put(text);
}

CrashLogWriter::StackBlock CrashLogWriter::ReadStack(
    ProcessMemoryReader* reader, const ThreadInfo& thread) {
  StackBlock block;
  const RegisterSet& registers = thread.GetRegisters();
  block.start = registers.rsp & ~uint64_t{3};
  if (block.start < kPageSize) return block;

  const uint64_t extent = thread.GetStackSize();
  uint64_t length =
      extent == 0 ? kMaxStackBytes : std::min<uint64_t>(extent, kMaxStackBytes);
  if (thread.IsCrashed())
    length = std::max<uint64_t>(length, kMinCrashedStackBytes);
  length = std::min(length, std::numeric_limits<uint64_t>::max() - block.start);

  // A read that fails is retried up to the last page boundary below its
  // end, until nothing is left.
  const uint8_t* data = nullptr;
  size_t read = 0;
  while (length > 0) {
    data = reader->Read(block.start, static_cast<size_t>(length), &read);
    if (data) break;
    const uint64_t boundary = (block.start + length - 1) & ~(kPageSize - 1);
    length = boundary > block.start ? boundary - block.start : 0;
  }
  if (!data) return block;
  read = static_cast<size_t>(std::min<uint64_t>(read, length));

  block.bytes.assign(data, data + read);
  size_t keep = read;
  if (extent != 0) {
    while (keep > 0 && block.bytes[keep - 1] == 0) --keep;
    keep = std::min(read, (keep + 7) / 8 * 8 + 128);
  } else if (!thread.IsCrashed()) {
    keep = FramePointerLength(block, registers.rbp);
  }
  block.bytes.resize(keep);
  return block;
}

size_t CrashLogWriter::FramePointerLength(const StackBlock& block,
                                          uint64_t rbp) {
  const size_t size = block.bytes.size();
  // An address of an 8-byte word inside the block, with 8 bytes to spare.
  auto is_frame = [&](uint64_t address) {
    return address % 8 == 0 && address >= block.start &&
           address - block.start < size && size - (address - block.start) > 8;
  };
  uint64_t distance = 0;
  for (uint64_t frame = rbp; is_frame(frame);) {
    distance = frame - block.start;
    const uint64_t next = ReadWord(&block.bytes[distance]);
    if (next <= frame) break;
    frame = next;
  }
  uint64_t length = std::max<uint64_t>(distance, kMinCrashedStackBytes);
  for (size_t at = 0; at + 8 <= length && at + 8 <= size; at += 8) {
    const uint64_t value = ReadWord(&block.bytes[at]);
    if (is_frame(value))
      length = std::max<uint64_t>(length, value - block.start);
  }
  return static_cast<size_t>(std::min<uint64_t>(length + 128, size));
}

bool CrashLogWriter::WriteModules(ProcessState* state) {
  std::string text = "\nUsed DLLs:\n";
  for (const auto& module : state->GetModules()) {
    std::string name = module->GetName();
    std::string version = module->GetVersion();
    if (name.size() < 26) name.append(26 - name.size(), ' ');
    if (version.size() < 46) version.append(46 - version.size(), ' ');
    text += name + " " + version +
            " Base: " + Hex(module->GetBaseAddress(), 12) +
            " Size: " + Hex(module->GetSize(), 8) +
            " Timestamp: " + Hex(module->GetTimestamp(), 8) + "\n";
  }
  return Put(text);
}

bool CrashLogWriter::WriteMemoryDumps(ProcessState* state) {
  if (!Put("\nMemory dumps:\n")) return false;
  std::unique_ptr<ProcessMemoryReader> reader = state->CreateMemoryReader();
  if (!reader) return false;
  const std::vector<MemoryRangeList::Range> ranges = ranges_.ranges();
  for (size_t i = 0; i < ranges.size(); ++i) {
    uint64_t start = ranges[i].start;
    uint64_t end = ranges[i].end;
    if (!state->IsAddressReadable(start)) {
      const uint64_t page = start / kPageSize;
      start = page < std::numeric_limits<uint64_t>::max() / kPageSize
                  ? (page + 1) * kPageSize
                  : end;
    }
    if (end > start && !state->IsAddressReadable(end - 1))
      end = (end - 1) & ~(kPageSize - 1);
    if (start >= end) continue;

    size_t size = 0;
    const uint8_t* data =
        reader->Read(start, static_cast<size_t>(end - start), &size);
    if (!data) continue;
    size = static_cast<size_t>(std::min<uint64_t>(size, end - start));
    std::string text;
    for (size_t line = 0; line < size; line += 16) {
      text += Hex(start + line, 12);
      for (size_t column = 0; column < 16; ++column) {
        text += column % 4 == 0 ? "  " : " ";
        if (line + column < size)
          text += Hex(data[line + column], 2);
        else
          text += "  ";
      }
      AppendTextColumn(&text, data + line, std::min<size_t>(16, size - line));
    }
    if (i + 1 != ranges.size()) text += "\n";
    if (!Put(text)) return false;
  }
  return true;
}

}  // namespace crash_reporter
