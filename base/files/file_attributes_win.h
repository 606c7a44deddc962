// The file attributes that the tree walks (recursive deletion, enumeration)
// act on, with a hook for tests: a junction or symbolic link must be removed
// or listed but never entered, and tests need to present a folder as one on
// systems that cannot make real links. Deletion reads them from the opened
// entry, so that nothing can swap a folder for a link between the check and
// the use.

#ifndef BASE_FILES_FILE_ATTRIBUTES_WIN_H_
#define BASE_FILES_FILE_ATTRIBUTES_WIN_H_

#include <stdint.h>

#include "base/files/file_path.h"
#include "base/win/scoped_handle.h"

namespace base::internal {

// FILE_ATTRIBUTE_REPARSE_POINT is set (also for INVALID_FILE_ATTRIBUTES, so
// an unreadable entry is never entered).
bool IsReparsePoint(uint32_t attributes);

// Opens |path| itself with |access|: never what a junction or symbolic link
// at its end points to, and a folder too. Read and write are shared, deletion
// is not, so that the entry can be neither renamed nor replaced while the
// handle is open: what is decided from the handle stays true. Invalid on
// failure, with the last error set.
win::ScopedHandle OpenEntryNoFollow(const FilePath& path, uint32_t access);

// The attributes of the entry |entry| opened for |path| (the handle needs
// FILE_READ_ATTRIBUTES), FILE_ATTRIBUTE_REPARSE_POINT set for a link, after
// the hook. INVALID_FILE_ATTRIBUTES when they cannot be read.
uint32_t GetOpenedEntryAttributes(void* entry, const FilePath& path);

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
