// ModuleInfo: one module loaded in a crashed process, as its snapshot
// (ProcessState) recorded it.

#ifndef DESKTOP_WINDOWS_CRASH_REPORTER_MODULE_INFO_H_
#define DESKTOP_WINDOWS_CRASH_REPORTER_MODULE_INFO_H_

#include <stdint.h>

#include <string>

namespace crash_reporter {

class ModuleInfo {
 public:
  virtual ~ModuleInfo() = default;

  // Narrow (UTF-8) name, empty when none was found.
  virtual std::string GetName() const = 0;
  virtual uint64_t GetBaseAddress() const = 0;
  // The image size that the module list gave.
  virtual uint32_t GetSize() const = 0;
  // The base address as well.
  virtual uint64_t GetStartAddress() const = 0;
  // The end of the image's code (BaseOfCode + SizeOfCode) relative to the
  // start address; 0 when the image could not be read.
  virtual uint64_t GetCodeEnd() const = 0;
  // The file version from the version resource, empty when there is none.
  virtual std::string GetVersion() const = 0;
  // The image's link time stamp, 0 when the image could not be read.
  virtual uint32_t GetTimestamp() const = 0;
};

}  // namespace crash_reporter

#endif  // DESKTOP_WINDOWS_CRASH_REPORTER_MODULE_INFO_H_
