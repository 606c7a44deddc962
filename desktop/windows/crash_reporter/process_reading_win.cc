#include "desktop/windows/crash_reporter/process_reading_win.h"

#include "base/logging.h"

namespace crash_reporter {

base::win::ScopedHandle OpenProcessForReading(uint32_t pid) {
  base::win::ScopedHandle process(
      OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, pid));
  if (!process.IsValid()) PLOG(ERROR) << "OpenProcess failed for " << pid;
  return process;
}

bool ReadProcessMemoryExactly(HANDLE process, uint64_t address, void* data,
                              size_t size) {
  SIZE_T read = 0;
  return ReadProcessMemory(process, reinterpret_cast<const void*>(address),
                           data, size, &read) &&
         read == size;
}

}  // namespace crash_reporter
