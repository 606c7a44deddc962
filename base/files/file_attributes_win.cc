#include "base/files/file_attributes_win.h"

#include <windows.h>

#include "base/files/system_path_win.h"

namespace base::internal {

namespace {

WalkAttributesHook g_hook = nullptr;
ReparseTagHook g_tag_hook = nullptr;

// The tag of the reparse point at |path| itself, from its folder's listing
// (which names the tag without opening the entry).
uint32_t ReadReparseTag(const FilePath& path) {
  WIN32_FIND_DATAW found = {};
  const HANDLE find = ::FindFirstFileW(SystemPathArg(path), &found);
  if (find == INVALID_HANDLE_VALUE) return kUnknownReparseTag;
  ::FindClose(find);
  return (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)
             ? found.dwReserved0
             : kUnknownReparseTag;
}

uint32_t WalkAttributesWith(const FilePath& path, uint32_t system_attributes,
                            uint32_t tag, bool read_tag) {
  const uint32_t attributes =
      g_hook ? g_hook(path, system_attributes) : system_attributes;
  if (attributes == INVALID_FILE_ATTRIBUTES ||
      !(attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
    return attributes;
  }
  if (read_tag && (system_attributes & FILE_ATTRIBUTE_REPARSE_POINT))
    tag = ReadReparseTag(path);
  if (g_tag_hook) tag = g_tag_hook(path, tag);
  // An unknown tag counts as a link: it may lead anywhere.
  if (tag == kUnknownReparseTag || IsReparseTagNameSurrogate(tag))
    return attributes;
  return attributes & ~FILE_ATTRIBUTE_REPARSE_POINT;
}

}  // namespace

bool IsLink(uint32_t walk_attributes) {
  return (walk_attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
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
  return WalkAttributes(path, info.FileAttributes, info.ReparseTag);
}

uint32_t WalkAttributes(const FilePath& path, uint32_t system_attributes,
                        uint32_t system_tag) {
  return WalkAttributesWith(path, system_attributes, system_tag, false);
}

uint32_t GetWalkAttributes(const FilePath& path) {
  return WalkAttributesWith(path, ::GetFileAttributesW(SystemPathArg(path)),
                            kUnknownReparseTag, true);
}

void SetWalkAttributesHookForTesting(WalkAttributesHook hook) { g_hook = hook; }

void SetReparseTagHookForTesting(ReparseTagHook hook) { g_tag_hook = hook; }

}  // namespace base::internal
