// StartupInformation: the extended startup record of a process launch, with
// an optional list of process-thread attributes that it owns and frees.

#ifndef BASE_PROCESS_STARTUP_INFORMATION_WIN_H_
#define BASE_PROCESS_STARTUP_INFORMATION_WIN_H_

#include <windows.h>

#include <memory>

namespace base {

class StartupInformation {
 public:
  StartupInformation();
  StartupInformation(const StartupInformation&) = delete;
  StartupInformation& operator=(const StartupInformation&) = delete;
  ~StartupInformation();

  // Makes an empty list with room for |attribute_count| attributes. False
  // when the system cannot size or initialise it.
  bool InitializeProcThreadAttributeList(DWORD attribute_count);
  // Sets |attribute| to |size| bytes at |value|, which must stay valid until
  // the process is created.
  bool UpdateProcThreadAttribute(DWORD_PTR attribute, void* value, size_t size);

  bool has_extended_startup_info() const {
    return startup_info_.lpAttributeList != nullptr;
  }
  STARTUPINFOW* startup_info() { return &startup_info_.StartupInfo; }

 private:
  STARTUPINFOEXW startup_info_;
  std::unique_ptr<char[]> attribute_list_memory_;
};

}  // namespace base

#endif  // BASE_PROCESS_STARTUP_INFORMATION_WIN_H_
