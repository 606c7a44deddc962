#include "base/process/startup_information_win.h"

#include <string.h>

namespace base {

StartupInformation::StartupInformation() {
  memset(&startup_info_, 0, sizeof(startup_info_));
  startup_info_.StartupInfo.cb = sizeof(startup_info_);
}

StartupInformation::~StartupInformation() {
  if (startup_info_.lpAttributeList)
    ::DeleteProcThreadAttributeList(startup_info_.lpAttributeList);
}

bool StartupInformation::InitializeProcThreadAttributeList(
    DWORD attribute_count) {
  if (startup_info_.StartupInfo.cb != sizeof(startup_info_) ||
      startup_info_.lpAttributeList) {
    return false;
  }
  SIZE_T size = 0;
  // The sizing call fails by design; only the size it reports matters.
  ::InitializeProcThreadAttributeList(nullptr, attribute_count, 0, &size);
  if (size == 0) return false;
  auto memory = std::make_unique<char[]>(size);
  auto* list = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(memory.get());
  if (!::InitializeProcThreadAttributeList(list, attribute_count, 0, &size))
    return false;
  attribute_list_memory_ = std::move(memory);
  startup_info_.lpAttributeList = list;
  return true;
}

bool StartupInformation::UpdateProcThreadAttribute(DWORD_PTR attribute,
                                                   void* value, size_t size) {
  if (!startup_info_.lpAttributeList) return false;
  return !!::UpdateProcThreadAttribute(startup_info_.lpAttributeList, 0,
                                       attribute, value, size, nullptr,
                                       nullptr);
}

}  // namespace base
