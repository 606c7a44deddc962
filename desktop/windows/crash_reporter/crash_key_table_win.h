// CrashKeyTable: the process's one block of kCrashKeyCount crash keys
// (crash_keys.h), which the crash reporter reads out of this process's
// memory when it crashes.
//
// The block is allocated page-aligned on first use, filled with every key's
// name and the build's values, and kept read-only: only the setters lift the
// protection, under the table's lock, so a stray write elsewhere in the
// process faults instead of corrupting the keys. The table is never freed.
// Any thread may call it.

#ifndef DESKTOP_WINDOWS_CRASH_REPORTER_CRASH_KEY_TABLE_WIN_H_
#define DESKTOP_WINDOWS_CRASH_REPORTER_CRASH_KEY_TABLE_WIN_H_

#include <stddef.h>

#include "base/lazy_instance.h"
#include "base/strings/string_piece.h"
#include "base/synchronization/lock.h"
#include "desktop/windows/crash_reporter/crash_keys.h"

namespace crash_reporter {

class CrashKeyTable {
 public:
  CrashKeyTable(const CrashKeyTable&) = delete;
  CrashKeyTable& operator=(const CrashKeyTable&) = delete;

  // The process's table, built by the first caller.
  static CrashKeyTable* GetInstance();

  // {block, kCrashKeyCount}, or {null, 0} when the block could not be
  // allocated. The entries stay where they are for the life of the process.
  CrashKeyEntries GetEntries() const;

  // The setters of crash_keys.h under the lock. Each does nothing when the
  // block is missing or its protection cannot be lifted.
  void SetValue(size_t slot, const char16_t* value);
  void SetValueRange(size_t first, size_t last, base::StringPiece16 value);
  void SetNameRange(size_t first, size_t last, const char16_t* name);

 private:
  friend class base::LazyInstanceImpl<CrashKeyTable, false>;

  CrashKeyTable();

  // Runs |write| on the block with its protection lifted, under the lock.
  template <typename Write>
  void WriteUnprotected(Write write);

  base::Lock lock_;
  CrashKeyEntry* block_ = nullptr;
};

}  // namespace crash_reporter

#endif  // DESKTOP_WINDOWS_CRASH_REPORTER_CRASH_KEY_TABLE_WIN_H_
