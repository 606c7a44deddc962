// The file attributes that the tree walks (recursive deletion, enumeration)
// act on, with a hook for tests: a junction or symbolic link must be removed
// or listed but never entered, and tests need to present a folder as one on
// systems that cannot make real links.

#ifndef BASE_FILES_FILE_ATTRIBUTES_WIN_H_
#define BASE_FILES_FILE_ATTRIBUTES_WIN_H_

#include <stdint.h>

#include "base/files/file_path.h"

namespace base::internal {

// FILE_ATTRIBUTE_REPARSE_POINT is set (also for INVALID_FILE_ATTRIBUTES, so
// an unreadable entry is never entered).
bool IsReparsePoint(uint32_t attributes);

// |system_attributes| as the system reported them for |path|, after the
// hook.
uint32_t WalkAttributes(const FilePath& path, uint32_t system_attributes);
// GetFileAttributesW(path), after the hook.
uint32_t GetWalkAttributes(const FilePath& path);

// Sees every attribute value above and may change it; null removes it. Set
// it only while no walk runs.
using WalkAttributesHook = uint32_t (*)(const FilePath& path,
                                        uint32_t system_attributes);
void SetWalkAttributesHookForTesting(WalkAttributesHook hook);

}  // namespace base::internal

#endif  // BASE_FILES_FILE_ATTRIBUTES_WIN_H_
