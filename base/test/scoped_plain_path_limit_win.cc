#include "base/test/scoped_plain_path_limit_win.h"

#include <stdio.h>
#include <string.h>
#include <wchar.h>
#include <windows.h>

#include <atomic>
#include <iterator>
#include <string>

namespace base {

namespace {

constexpr size_t kFileLimit = 260;
constexpr size_t kNewFolderLimit = 248;

std::atomic<size_t> g_refused{0};

// Whether Windows refuses |path| in its plain spelling.
bool Refused(const wchar_t* path, size_t limit = kFileLimit) {
  if (!path || wcslen(path) < limit || wcsncmp(path, L"\\\\?\\", 4) == 0)
    return false;
  g_refused.fetch_add(1);
  ::SetLastError(ERROR_FILENAME_EXCED_RANGE);
  return true;
}

// One redirected import: its name, the stand-in, and the system's own.
struct Redirect {
  const char* name;
  void* stand_in;
  void* original;
};

#define ORIGINAL(type, index) \
  reinterpret_cast<type>(g_redirects[index].original)

extern Redirect g_redirects[];

HANDLE WINAPI LimitedCreateFileW(const wchar_t* path, DWORD access, DWORD share,
                                 SECURITY_ATTRIBUTES* security,
                                 DWORD disposition, DWORD flags,
                                 HANDLE template_file) {
  if (Refused(path)) return INVALID_HANDLE_VALUE;
  return ORIGINAL(decltype(&::CreateFileW), 0)(
      path, access, share, security, disposition, flags, template_file);
}

DWORD WINAPI LimitedGetFileAttributesW(const wchar_t* path) {
  if (Refused(path)) return INVALID_FILE_ATTRIBUTES;
  return ORIGINAL(decltype(&::GetFileAttributesW), 1)(path);
}

BOOL WINAPI LimitedGetFileAttributesExW(const wchar_t* path,
                                        GET_FILEEX_INFO_LEVELS level,
                                        void* data) {
  if (Refused(path)) return FALSE;
  return ORIGINAL(decltype(&::GetFileAttributesExW), 2)(path, level, data);
}

BOOL WINAPI LimitedSetFileAttributesW(const wchar_t* path, DWORD attributes) {
  if (Refused(path)) return FALSE;
  return ORIGINAL(decltype(&::SetFileAttributesW), 3)(path, attributes);
}

BOOL WINAPI LimitedCreateDirectoryW(const wchar_t* path,
                                    SECURITY_ATTRIBUTES* security) {
  if (Refused(path, kNewFolderLimit)) return FALSE;
  return ORIGINAL(decltype(&::CreateDirectoryW), 4)(path, security);
}

BOOL WINAPI LimitedRemoveDirectoryW(const wchar_t* path) {
  if (Refused(path)) return FALSE;
  return ORIGINAL(decltype(&::RemoveDirectoryW), 5)(path);
}

BOOL WINAPI LimitedDeleteFileW(const wchar_t* path) {
  if (Refused(path)) return FALSE;
  return ORIGINAL(decltype(&::DeleteFileW), 6)(path);
}

BOOL WINAPI LimitedMoveFileW(const wchar_t* from, const wchar_t* to) {
  if (Refused(from) || Refused(to)) return FALSE;
  return ORIGINAL(decltype(&::MoveFileW), 7)(from, to);
}

BOOL WINAPI LimitedMoveFileExW(const wchar_t* from, const wchar_t* to,
                               DWORD flags) {
  if (Refused(from) || Refused(to)) return FALSE;
  return ORIGINAL(decltype(&::MoveFileExW), 8)(from, to, flags);
}

BOOL WINAPI LimitedCopyFileW(const wchar_t* from, const wchar_t* to,
                             BOOL fail_if_exists) {
  if (Refused(from) || Refused(to)) return FALSE;
  return ORIGINAL(decltype(&::CopyFileW), 9)(from, to, fail_if_exists);
}

HANDLE WINAPI LimitedFindFirstFileW(const wchar_t* pattern,
                                    WIN32_FIND_DATAW* data) {
  if (Refused(pattern)) return INVALID_HANDLE_VALUE;
  return ORIGINAL(decltype(&::FindFirstFileW), 10)(pattern, data);
}

HANDLE WINAPI LimitedFindFirstFileExW(const wchar_t* pattern,
                                      FINDEX_INFO_LEVELS level, void* data,
                                      FINDEX_SEARCH_OPS search, void* filter,
                                      DWORD flags) {
  if (Refused(pattern)) return INVALID_HANDLE_VALUE;
  return ORIGINAL(decltype(&::FindFirstFileExW), 11)(pattern, level, data,
                                                     search, filter, flags);
}

BOOL WINAPI LimitedReplaceFileW(const wchar_t* replaced,
                                const wchar_t* replacement,
                                const wchar_t* backup, DWORD flags,
                                void* exclude, void* reserved) {
  if (Refused(replaced) || Refused(replacement) || Refused(backup))
    return FALSE;
  return ORIGINAL(decltype(&::ReplaceFileW), 12)(replaced, replacement, backup,
                                                 flags, exclude, reserved);
}

// A rename by handle names its target in full too.
BOOL WINAPI LimitedSetFileInformationByHandle(HANDLE file,
                                              FILE_INFO_BY_HANDLE_CLASS kind,
                                              void* data, DWORD size) {
  if (kind == FileRenameInfo && data) {
    const auto* rename = static_cast<const FILE_RENAME_INFO*>(data);
    const std::wstring target(rename->FileName,
                              rename->FileNameLength / sizeof(wchar_t));
    if (Refused(target.c_str())) return FALSE;
  }
  return ORIGINAL(decltype(&::SetFileInformationByHandle), 14)(file, kind, data,
                                                               size);
}

FILE* __cdecl LimitedWfsopen(const wchar_t* path, const wchar_t* mode,
                             int share) {
  if (Refused(path)) return nullptr;
  return ORIGINAL(decltype(&::_wfsopen), 13)(path, mode, share);
}

Redirect g_redirects[] = {
    {"CreateFileW", reinterpret_cast<void*>(&LimitedCreateFileW)},
    {"GetFileAttributesW", reinterpret_cast<void*>(&LimitedGetFileAttributesW)},
    {"GetFileAttributesExW",
     reinterpret_cast<void*>(&LimitedGetFileAttributesExW)},
    {"SetFileAttributesW", reinterpret_cast<void*>(&LimitedSetFileAttributesW)},
    {"CreateDirectoryW", reinterpret_cast<void*>(&LimitedCreateDirectoryW)},
    {"RemoveDirectoryW", reinterpret_cast<void*>(&LimitedRemoveDirectoryW)},
    {"DeleteFileW", reinterpret_cast<void*>(&LimitedDeleteFileW)},
    {"MoveFileW", reinterpret_cast<void*>(&LimitedMoveFileW)},
    {"MoveFileExW", reinterpret_cast<void*>(&LimitedMoveFileExW)},
    {"CopyFileW", reinterpret_cast<void*>(&LimitedCopyFileW)},
    {"FindFirstFileW", reinterpret_cast<void*>(&LimitedFindFirstFileW)},
    {"FindFirstFileExW", reinterpret_cast<void*>(&LimitedFindFirstFileExW)},
    {"ReplaceFileW", reinterpret_cast<void*>(&LimitedReplaceFileW)},
    {"_wfsopen", reinterpret_cast<void*>(&LimitedWfsopen)},
    {"SetFileInformationByHandle",
     reinterpret_cast<void*>(&LimitedSetFileInformationByHandle)},
};

// Writes |value| into the import slot |slot|; the previous value in |*old|.
bool WriteSlot(void** slot, void* value, void** old) {
  DWORD protection = 0;
  if (!::VirtualProtect(slot, sizeof(*slot), PAGE_READWRITE, &protection))
    return false;
  if (old) *old = *slot;
  *slot = value;
  ::VirtualProtect(slot, sizeof(*slot), protection, &protection);
  return true;
}

// Calls |visit| with each import slot of the program named |name|.
template <typename Visit>
void ForEachSlot(const char* name, Visit visit) {
  auto* base = reinterpret_cast<BYTE*>(::GetModuleHandleW(nullptr));
  const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
  const auto* nt =
      reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
  const IMAGE_DATA_DIRECTORY& imports =
      nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
  if (!imports.VirtualAddress) return;
  for (const auto* library = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(
           base + imports.VirtualAddress);
       library->Name; ++library) {
    if (!library->OriginalFirstThunk) continue;
    const auto* names = reinterpret_cast<const IMAGE_THUNK_DATA*>(
        base + library->OriginalFirstThunk);
    auto* slots =
        reinterpret_cast<IMAGE_THUNK_DATA*>(base + library->FirstThunk);
    for (; names->u1.AddressOfData; ++names, ++slots) {
      if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal)) continue;
      const auto* by_name = reinterpret_cast<const IMAGE_IMPORT_BY_NAME*>(
          base + names->u1.AddressOfData);
      if (strcmp(reinterpret_cast<const char*>(by_name->Name), name) == 0)
        visit(reinterpret_cast<void**>(&slots->u1.Function));
    }
  }
}

}  // namespace

ScopedPlainPathLimit::ScopedPlainPathLimit() {
  ok_ = true;
  for (Redirect& redirect : g_redirects) {
    bool found = false;
    ForEachSlot(redirect.name, [&](void** slot) {
      found = true;
      void* old = nullptr;
      if (!WriteSlot(slot, redirect.stand_in, &old)) {
        ok_ = false;
        return;
      }
      if (old != redirect.stand_in) redirect.original = old;
    });
    // A call the program does not import cannot be made by it either.
    if (found && !redirect.original) ok_ = false;
  }
}

ScopedPlainPathLimit::~ScopedPlainPathLimit() {
  for (Redirect& redirect : g_redirects) {
    if (!redirect.original) continue;
    ForEachSlot(redirect.name, [&](void** slot) {
      WriteSlot(slot, redirect.original, nullptr);
    });
    redirect.original = nullptr;
  }
}

// static
size_t ScopedPlainPathLimit::refused() { return g_refused.load(); }

}  // namespace base
