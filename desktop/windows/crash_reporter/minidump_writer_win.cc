#include "desktop/windows/crash_reporter/minidump_writer_win.h"

// Needs windows.h first.
#include <dbghelp.h>

#include <string>

#include "base/files/open_without_links_win.h"
#include "base/logging.h"
#include "base/process/native_library.h"
#include "base/strings/string_number_conversions.h"
#include "base/strings/string_util_win.h"
#include "base/win/scoped_handle.h"
#include "desktop/windows/crash_reporter/process_reading_win.h"
#include "desktop/windows/installer/common/version_info.h"

namespace crash_reporter {

namespace {

constexpr DWORD kInvalidArgument = 0x80070057;  // E_INVALIDARG

using MiniDumpWriteDumpFunction =
    BOOL(WINAPI*)(HANDLE process, DWORD pid, HANDLE file, MINIDUMP_TYPE type,
                  PMINIDUMP_EXCEPTION_INFORMATION exception,
                  PMINIDUMP_USER_STREAM_INFORMATION user_streams,
                  PMINIDUMP_CALLBACK_INFORMATION callback);

// Frees a library when it goes out of scope.
class ScopedLibrary {
 public:
  explicit ScopedLibrary(HMODULE library) : library_(library) {}
  ScopedLibrary(const ScopedLibrary&) = delete;
  ScopedLibrary& operator=(const ScopedLibrary&) = delete;
  ~ScopedLibrary() {
    if (library_) FreeLibrary(library_);
  }
  HMODULE get() const { return library_; }

 private:
  const HMODULE library_;
};

bool EmptyFile(HANDLE file) {
  return SetFilePointer(file, 0, nullptr, FILE_BEGIN) !=
             INVALID_SET_FILE_POINTER &&
         SetEndOfFile(file);
}

uint64_t g_client_limit = kClientMinidumpSizeLimit;
uint64_t g_own_crash_limit = kOwnCrashMinidumpSizeLimit;

}  // namespace

uint64_t GetClientMinidumpSizeLimit() { return g_client_limit; }

uint64_t GetOwnCrashMinidumpSizeLimit() { return g_own_crash_limit; }

void SetMinidumpSizeLimitsForTesting(uint64_t client, uint64_t own_crash) {
  g_client_limit = client;
  g_own_crash_limit = own_crash;
}

bool CrashReporter::WriteMinidumpWithDbghelp(HANDLE process, uint32_t pid,
                                             const SelfCrashRecord& record,
                                             HANDLE file, uint64_t limit,
                                             uint32_t* written_type) {
  // From the system folder only: the reporter runs from wherever the
  // installer was started, often Downloads.
  ScopedLibrary dbghelp(static_cast<HMODULE>(
      base::LoadNativeLibrary(base::FilePath(u"dbghelp.dll"))));
  if (!dbghelp.get()) {
    PLOG(ERROR) << "Could not load dbghelp.dll";
    return false;
  }
  const auto write_dump =
      reinterpret_cast<MiniDumpWriteDumpFunction>(reinterpret_cast<void*>(
          GetProcAddress(dbghelp.get(), "MiniDumpWriteDump")));
  if (!write_dump) {
    PLOG(ERROR) << "dbghelp.dll has no MiniDumpWriteDump";
    return false;
  }

  MINIDUMP_EXCEPTION_INFORMATION exception = {};
  exception.ThreadId = record.thread_id;
  exception.ExceptionPointers =
      reinterpret_cast<EXCEPTION_POINTERS*>(record.exception_pointers);
  exception.ClientPointers = TRUE;

  std::string version =
      installer::VersionInfo::GetProductVersion() + " " +
      base::IntToString(installer::VersionInfo::GetBuildNumber());
  AssertionRecord assertion = record.assertion;
  MINIDUMP_USER_STREAM streams[2] = {};
  streams[0].Type = kVersionStreamType;
  streams[0].BufferSize = static_cast<ULONG>(version.size());
  streams[0].Buffer = version.data();
  MINIDUMP_USER_STREAM_INFORMATION user_streams = {1, streams};
  if (assertion.type ==
      static_cast<uint32_t>(AssertionType::kInvalidParameter)) {
    streams[1].Type = kAssertionStreamType;
    streams[1].BufferSize = sizeof(assertion);
    streams[1].Buffer = &assertion;
    user_streams.UserStreamCount = 2;
  }

  for (uint32_t type : kMinidumpTypes) {
    if (write_dump(process, pid, file, static_cast<MINIDUMP_TYPE>(type),
                   &exception, &user_streams, nullptr)) {
      LARGE_INTEGER size = {};
      if (!GetFileSizeEx(file, &size)) {
        PLOG(ERROR) << "Could not read the minidump's size";
        return false;
      }
      if (static_cast<uint64_t>(size.QuadPart) <= limit) {
        if (written_type) *written_type = type;
        return true;
      }
      LOG(WARNING) << "Minidump of type 0x" << std::hex << type << std::dec
                   << " has " << size.QuadPart << " bytes, more than " << limit;
    } else {
      const DWORD error = GetLastError();
      LOG(ERROR) << "MiniDumpWriteDump failed with type 0x" << std::hex << type
                 << ": 0x" << error << std::dec;
      if (error != kInvalidArgument) return false;
    }
    if (!EmptyFile(file)) {
      PLOG(ERROR) << "Could not empty the minidump";
      return false;
    }
  }
  return false;
}

bool WriteMinidumpFile(HANDLE process, uint32_t pid,
                       const SelfCrashRecord& record,
                       const base::FilePath& path, uint64_t limit) {
  // Only ever a new file, reached through no link: the crash folder may be
  // one that others write (the system's temporary folder, for a reporter
  // of the system's), and a file or link planted at the name must be
  // neither overwritten nor followed.
  const HANDLE created = base::OpenWithoutLinks(
      path.value(), GENERIC_WRITE | DELETE, FILE_SHARE_READ, CREATE_NEW);
  if (created == INVALID_HANDLE_VALUE) {
    PLOG(ERROR) << "Could not create the minidump " << path.value();
    return false;
  }
  base::win::ScopedHandle file(created);
  const bool written = CrashReporter::WriteMinidumpWithDbghelp(
      process, pid, record, file.Get(), limit);
  if (!written) {
    // Through the handle: the name may lead elsewhere by now.
    base::DeleteOpened(file.Get());
  }
  return written;
}

bool WriteMinidumpForClient(HANDLE process, uint32_t pid,
                            uint64_t thread_id_address,
                            uint64_t exception_pointers_address,
                            uint64_t assertion_address,
                            const base::FilePath& dump_path, uint64_t limit) {
  SelfCrashRecord record = {};
  if (!ReadProcessMemoryExactly(process, exception_pointers_address,
                                &record.exception_pointers,
                                sizeof(record.exception_pointers)) ||
      !ReadProcessMemoryExactly(process, thread_id_address, &record.thread_id,
                                sizeof(record.thread_id)) ||
      (assertion_address &&
       !ReadProcessMemoryExactly(process, assertion_address, &record.assertion,
                                 sizeof(record.assertion)))) {
    PLOG(ERROR) << "Could not read the crash of " << pid;
    return false;
  }
  return WriteMinidumpFile(process, pid, record, dump_path, limit);
}

bool WriteMinidumpForOwnCrash(HANDLE process, uint32_t pid,
                              uint64_t record_address,
                              const base::FilePath& dump_path, uint64_t limit) {
  SelfCrashRecord record;
  if (!ReadProcessMemoryExactly(process, record_address, &record,
                                sizeof(record))) {
    PLOG(ERROR) << "Could not read the own-crash record of " << pid;
    return false;
  }
  return WriteMinidumpFile(process, pid, record, dump_path, limit);
}

}  // namespace crash_reporter
