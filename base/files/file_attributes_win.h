// The file attributes that the tree walks (recursive deletion, enumeration)
// act on, with hooks for tests: a junction or symbolic link must be removed
// or listed but never entered, and tests need to present a folder as one on
// systems that cannot make real links. Deletion reads them from the opened
// entry, so that nothing can swap a folder for a link between the check and
// the use.
//
// Only a reparse point that leads its name elsewhere (a name-surrogate tag:
// junctions, mount points, symbolic links) is a link. A file the system
// keeps compressed, a cloud placeholder or a deduplicated file is a reparse
// point too, but its name leads nowhere else: the walks see it without
// FILE_ATTRIBUTE_REPARSE_POINT.

#ifndef BASE_FILES_FILE_ATTRIBUTES_WIN_H_
#define BASE_FILES_FILE_ATTRIBUTES_WIN_H_

#include <stdint.h>

#include "base/files/file_path.h"
#include "base/win/scoped_handle.h"

namespace base::internal {

// A reparse tag that was not read: a reparse point with it counts as a link.
inline constexpr uint32_t kUnknownReparseTag = 0;

// Whether attributes as the walks see them (after WalkAttributes) name a
// link; also for INVALID_FILE_ATTRIBUTES, so that an unreadable entry is
// never entered.
bool IsLink(uint32_t walk_attributes);

// Opens |path| itself with |access|: never what a junction or symbolic link
// at its end points to, and a folder too. Read and write are shared, deletion
// is not, so that the entry can be neither renamed nor replaced while the
// handle is open: what is decided from the handle stays true. Invalid on
// failure, with the last error set.
win::ScopedHandle OpenEntryNoFollow(const FilePath& path, uint32_t access);

// The attributes of the entry |entry| opened for |path| (the handle needs
// FILE_READ_ATTRIBUTES), as WalkAttributes gives them with its reparse tag.
// INVALID_FILE_ATTRIBUTES when they cannot be read.
uint32_t GetOpenedEntryAttributes(void* entry, const FilePath& path);

// |system_attributes| and |system_tag| as the system reported them for
// |path|, after the hooks; FILE_ATTRIBUTE_REPARSE_POINT is kept only for a
// link.
uint32_t WalkAttributes(const FilePath& path, uint32_t system_attributes,
                        uint32_t system_tag = kUnknownReparseTag);
// GetFileAttributesW(path), and the tag of a reparse point, after the hooks.
uint32_t GetWalkAttributes(const FilePath& path);

// Sees every attribute value above and may change it; null removes it. Set
// it only while no walk runs.
using WalkAttributesHook = uint32_t (*)(const FilePath& path,
                                        uint32_t system_attributes);
void SetWalkAttributesHookForTesting(WalkAttributesHook hook);
// Sees the reparse tag of every reparse point above (as the attribute hook
// left it one) and may change it; null removes it.
using ReparseTagHook = uint32_t (*)(const FilePath& path, uint32_t system_tag);
void SetReparseTagHookForTesting(ReparseTagHook hook);

}  // namespace base::internal

#endif  // BASE_FILES_FILE_ATTRIBUTES_WIN_H_
