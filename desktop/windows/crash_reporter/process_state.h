// ProcessState: the snapshot of a crashed process that the text crash log
// (CrashLogWriter) is written from: the exception, the threads, the loaded
// modules, and a reader of the process's memory.
//
// The snapshot owns its thread and module records; the pointers it hands
// out live as long as it does. One thread uses a snapshot at a time.

#ifndef DESKTOP_WINDOWS_CRASH_REPORTER_PROCESS_STATE_H_
#define DESKTOP_WINDOWS_CRASH_REPORTER_PROCESS_STATE_H_

#include <stddef.h>
#include <stdint.h>

#include <memory>
#include <vector>

#include "desktop/windows/crash_reporter/module_info.h"
#include "desktop/windows/crash_reporter/thread_info.h"

#if defined(_WIN32)
// excpt.h (which windows.h includes) defines GetExceptionCode as a macro
// for exception filters, which would rename the method below. Included
// here first, its guard keeps the macro from coming back.
#include <excpt.h>
#undef GetExceptionCode
#endif

namespace crash_reporter {

// Reads the memory of the snapshot's process into a buffer of its own.
class ProcessMemoryReader {
 public:
  virtual ~ProcessMemoryReader() = default;

  // Reads up to |size| bytes at |address|. Any number of bytes above 0 is
  // success: returns the buffer and sets |*bytes_read|. Null on failure.
  // The buffer stays valid until the following Read or the reader's end.
  virtual const uint8_t* Read(uint64_t address, size_t size,
                              size_t* bytes_read) = 0;
};

class ProcessState {
 public:
  using ThreadList = std::vector<std::unique_ptr<ThreadInfo>>;
  using ModuleList = std::vector<std::unique_ptr<ModuleInfo>>;

  virtual ~ProcessState() = default;

  // True when the byte at |address| can be read.
  virtual bool IsAddressReadable(uint64_t address) = 0;
  virtual uint32_t GetExceptionCode() const = 0;
  // Always 0.
  virtual uint32_t GetReserved() const { return 0; }
  virtual uint64_t GetExceptionAddress() const = 0;
  virtual const ThreadList& GetThreads() const = 0;
  // The process's executable among the modules; null when it was not
  // identified.
  virtual const ModuleInfo* GetMainModule() const = 0;
  virtual const ModuleList& GetModules() const = 0;
  // A new reader owned by the caller; null when the process is not open.
  virtual std::unique_ptr<ProcessMemoryReader> CreateMemoryReader() = 0;
};

}  // namespace crash_reporter

#endif  // DESKTOP_WINDOWS_CRASH_REPORTER_PROCESS_STATE_H_
