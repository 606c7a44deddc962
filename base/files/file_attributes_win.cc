#include "base/files/file_attributes_win.h"

#include <windows.h>

#include "base/files/system_path_win.h"

namespace base::internal {

namespace {

WalkAttributesHook g_hook = nullptr;

}  // namespace

bool IsReparsePoint(uint32_t attributes) {
  return (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

win::ScopedHandle OpenEntryNoFollow(const FilePath& path, uint32_t access) {
  return win::ScopedHandle(::CreateFileW(
      SystemPathArg(path), access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
      OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT,
      nullptr));
}

uint32_t GetOpenedEntryAttributes(void* entry, const FilePath& path) {
  FILE_ATTRIBUTE_TAG_INFO info = {};
  if (!::GetFileInformationByHandleEx(static_cast<HANDLE>(entry),
                                      FileAttributeTagInfo, &info,
                                      sizeof(info))) {
    return INVALID_FILE_ATTRIBUTES;
  }
  return WalkAttributes(path, info.FileAttributes);
}

uint32_t WalkAttributes(const FilePath& path, uint32_t system_attributes) {
  return g_hook ? g_hook(path, system_attributes) : system_attributes;
}

uint32_t GetWalkAttributes(const FilePath& path) {
  return WalkAttributes(path, ::GetFileAttributesW(SystemPathArg(path)));
}

void SetWalkAttributesHookForTesting(WalkAttributesHook hook) { g_hook = hook; }

}  // namespace base::internal
