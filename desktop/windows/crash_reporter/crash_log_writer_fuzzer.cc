// Writes crash logs of snapshots laid out by arbitrary bytes: the crashed
// thread's registers and stack extent, and the words of its stack, which
// point anywhere into a readable region.

#include <stddef.h>
#include <stdint.h>
#include <stdio.h>
#include <string.h>

#include <vector>

#include "desktop/windows/crash_reporter/crash_log_writer.h"
#include "desktop/windows/crash_reporter/test/fake_process_state.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace crash_reporter;
  constexpr uint64_t kRegion = 0x100000;
  constexpr size_t kRegisterBytes = sizeof(RegisterSet);
  if (size < kRegisterBytes + 8) return 0;
  RegisterSet registers;
  memcpy(&registers, data, kRegisterBytes);
  uint64_t extent;
  memcpy(&extent, data + kRegisterBytes, 8);
  const uint8_t* rest = data + kRegisterBytes + 8;
  const size_t rest_size = size - kRegisterBytes - 8;

  FakeProcessState state;
  // One readable region; the stack pointer and the frame pointer land in
  // it, the other registers point wherever the input says.
  std::vector<uint8_t> memory(0x4000, 0);
  memcpy(memory.data(), rest,
         rest_size < memory.size() ? rest_size : memory.size());
  state.AddMemory(kRegion, memory);
  registers.rsp = kRegion + registers.rsp % memory.size();
  registers.rbp = kRegion + registers.rbp % memory.size();
  state.AddModule(
      std::make_unique<FakeModule>("m.dll", kRegion, 0x4000, extent % 0x8000));
  state.AddThread(1, registers, extent % 0x10000, true);
  state.AddThread(2, registers, 0, false);

  FILE* stream = fopen("/dev/null", "w");
  if (!stream) return 0;
  CrashLogWriter writer;
  writer.Write(&state, CrashLogInfo(), stream);
  fclose(stream);
  return 0;
}
