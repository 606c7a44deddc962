#include "base/win/scoped_handle_verifier.h"

#include <windows.h>
#include <winternl.h>

#include <atomic>
#include <memory>
#include <string>

#include "base/logging.h"
#include "base/strings/utf_string_conversions.h"

namespace base {
namespace win {

namespace {

constexpr NTSTATUS kStatusInfoLengthMismatch =
    static_cast<NTSTATUS>(0xC0000004);
constexpr NTSTATUS kStatusNoMemory = static_cast<NTSTATUS>(0xC0000017);
constexpr NTSTATUS kStatusNotImplemented = static_cast<NTSTATUS>(0xC0000002);
// OBJECT_INFORMATION_CLASS ObjectTypeInformation.
constexpr int kObjectTypeInformation = 2;

// Serialises the creation of the active verifier and every table access.
constinit Lock g_verifier_lock;
std::atomic<HandleVerifier*> g_active_verifier{nullptr};
std::atomic<internal::CloseHandleFunction> g_close_override{nullptr};

// Keeps |value| in memory up to this call, so a crash dump shows it.
__attribute__((noinline)) void KeepForDump(const void* value) {
  __asm__ volatile("" : : "r"(value) : "memory");
}

// Ends the process at once with a trap that the crash handler can catch.
[[noreturn]] __attribute__((noinline)) void StopProcess() { __builtin_trap(); }

HMODULE ModuleOfAddress(const void* address) {
  HMODULE module = nullptr;
  GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                         GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                     static_cast<LPCWSTR>(address), &module);
  return module;
}

HMODULE ThisModule() {
  return ModuleOfAddress(reinterpret_cast<const void*>(&ModuleOfAddress));
}

// The object type name of |handle| ("Process", "Event", ...) through
// NtQueryObject, and the status of the query.
NTSTATUS QueryObjectTypeName(HANDLE handle, std::string* type_name) {
  using NtQueryObjectFunction =
      NTSTATUS(WINAPI*)(HANDLE, int, PVOID, ULONG, PULONG);
  auto nt_query_object =
      reinterpret_cast<NtQueryObjectFunction>(reinterpret_cast<void*>(
          GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQueryObject")));
  if (!nt_query_object) return kStatusNotImplemented;
  ULONG size = 0;
  NTSTATUS status =
      nt_query_object(handle, kObjectTypeInformation, nullptr, 0, &size);
  if (status != kStatusInfoLengthMismatch) return status;
  // The type record starts with the UNICODE_STRING of the name.
  std::unique_ptr<char[]> buffer(new (std::nothrow) char[size]);
  if (!buffer) return kStatusNoMemory;
  status = nt_query_object(handle, kObjectTypeInformation, buffer.get(), size,
                           &size);
  if (status < 0) return status;
  const UNICODE_STRING* name =
      reinterpret_cast<const UNICODE_STRING*>(buffer.get());
  *type_name = UTF16ToUTF8(
      std::u16string(reinterpret_cast<const char16_t*>(name->Buffer),
                     name->Length / sizeof(wchar_t)));
  return status;
}

// Closes |handle|. A failed close is a programming error (the handle was
// closed already or never was one) and stops the process, except for a
// protected process handle, which the caller is told about.
bool CloseHandleAndCheck(HANDLE handle) {
  internal::CloseHandleFunction close_override =
      g_close_override.load(std::memory_order_acquire);
  if (close_override ? close_override(handle) : ::CloseHandle(handle))
    return true;

  DWORD last_error = GetLastError();
  std::string type_name;
  NTSTATUS query_status = QueryObjectTypeName(handle, &type_name);
  DWORD flags = 0;
  DWORD flags_error = 0;
  if (!GetHandleInformation(handle, &flags)) {
    flags_error = GetLastError();
    flags = 0;
  }
  if (type_name == "Process" && (flags & HANDLE_FLAG_PROTECT_FROM_CLOSE))
    return false;

  KeepForDump(&handle);
  KeepForDump(&last_error);
  KeepForDump(type_name.c_str());
  KeepForDump(&query_status);
  KeepForDump(&flags);
  KeepForDump(&flags_error);
  StopProcess();
}

HandleVerifier* CreateActiveVerifier() {
  using GetHandleVerifierFunction = void* (*)();
  auto main_module_export =
      reinterpret_cast<GetHandleVerifierFunction>(reinterpret_cast<void*>(
          GetProcAddress(GetModuleHandleW(nullptr), "GetHandleVerifier")));
  // Without the export nobody shares a table: verify nothing.
  if (!main_module_export) return new HandleVerifier(false);
  // This module is the main module: its verifier is the process's.
  if (ModuleOfAddress(reinterpret_cast<const void*>(main_module_export)) ==
      ThisModule()) {
    return new HandleVerifier(true);
  }
  auto* shared = static_cast<HandleVerifier*>(main_module_export());
  return shared ? shared : new HandleVerifier(false);
}

}  // namespace

// static
StackTrace StackTrace::Capture() {
  StackTrace trace;
  trace.count = RtlCaptureStackBackTrace(0, kMaxFrames, trace.frames, nullptr);
  return trace;
}

size_t HandleVerifier::HandleHash::operator()(HANDLE handle) const {
  return SuperFastHash(reinterpret_cast<const char*>(&handle), sizeof(handle));
}

HandleVerifier::HandleVerifier(bool enabled)
    : creation_stack_(StackTrace::Capture()),
      enabled_(enabled),
      closing_tls_index_(TlsAlloc()),
      lock_(&g_verifier_lock),
      table_(8) {
  CHECK(closing_tls_index_ != TLS_OUT_OF_INDEXES)
      << "No TLS index left for the handle verifier";
  table_.max_load_factor(1.0f);
}

bool HandleVerifier::CloseHandle(HANDLE handle) {
  if (!enabled_) return CloseHandleAndCheck(handle);
  // Marks this thread, so that a close hook reached from inside the close
  // below does not take the verifier's own close for a foreign one.
  if (!TlsSetValue(closing_tls_index_, reinterpret_cast<void*>(1)))
    LOG(FATAL) << "Failed to TlsSetValue().";
  // The protected process handle that stayed open is reported here too:
  // telling the caller it was closed would be a lie.
  bool closed = CloseHandleAndCheck(handle);
  if (!TlsSetValue(closing_tls_index_, nullptr))
    LOG(FATAL) << "Failed to TlsSetValue().";
  return closed;
}

void HandleVerifier::StartTracking(HANDLE handle, const void* owner,
                                   const void* pc1, const void* pc2) {
  if (!enabled_) return;
  Record record = {owner, pc1, pc2, StackTrace::Capture(),
                   GetCurrentThreadId()};
  AutoLock lock(*lock_);
  auto inserted = table_.emplace(handle, record);
  if (!inserted.second) {
    // The handle is owned already: a second owner would close it twice.
    Record existing = inserted.first->second;
    StackTrace creation_stack = creation_stack_;
    KeepForDump(&existing);
    KeepForDump(&record);
    KeepForDump(&creation_stack);
    StopProcess();
  }
}

void HandleVerifier::StopTracking(HANDLE handle, const void* owner,
                                  const void* pc1, const void* pc2) {
  if (!enabled_) return;
  AutoLock lock(*lock_);
  auto found = table_.find(handle);
  if (found == table_.end()) {
    // Released by a wrapper although nobody owns it.
    StackTrace creation_stack = creation_stack_;
    KeepForDump(&handle);
    KeepForDump(&creation_stack);
    StopProcess();
  }
  if (found->second.owner != owner) {
    // Released by a wrapper that does not own it.
    Record existing = found->second;
    StackTrace creation_stack = creation_stack_;
    KeepForDump(&existing);
    KeepForDump(&owner);
    KeepForDump(&creation_stack);
    StopProcess();
  }
  table_.erase(found);
}

void HandleVerifier::Disable() { enabled_ = false; }

void HandleVerifier::OnHandleBeingClosed(HANDLE handle) {
  if (!enabled_) return;
  if (TlsGetValue(closing_tls_index_)) return;
  AutoLock lock(*lock_);
  auto found = table_.find(handle);
  if (found == table_.end()) return;
  // Somebody closes a handle that a ScopedHandle owns.
  Record existing = found->second;
  StackTrace creation_stack = creation_stack_;
  KeepForDump(&existing);
  KeepForDump(&creation_stack);
  StopProcess();
}

// Virtual, so it always runs in the creating module's code.
HMODULE HandleVerifier::GetModule() const { return ThisModule(); }

bool HandleVerifier::IsTrackingForTesting(HANDLE handle) const {
  AutoLock lock(*lock_);
  return table_.find(handle) != table_.end();
}

HandleVerifier* GetActiveVerifier() {
  HandleVerifier* verifier = g_active_verifier.load(std::memory_order_acquire);
  if (verifier) return verifier;
  AutoLock lock(g_verifier_lock);
  verifier = g_active_verifier.load(std::memory_order_acquire);
  if (!verifier) {
    verifier = CreateActiveVerifier();
    g_active_verifier.store(verifier, std::memory_order_release);
  }
  return verifier;
}

void* GetHandleVerifierForExport() { return GetActiveVerifier(); }

void StartHandleTracking(HANDLE handle, const void* owner, const void* pc1,
                         const void* pc2) {
  GetActiveVerifier()->StartTracking(handle, owner, pc1, pc2);
}

void StopHandleTracking(HANDLE handle, const void* owner, const void* pc1,
                        const void* pc2) {
  GetActiveVerifier()->StopTracking(handle, owner, pc1, pc2);
}

namespace internal {

void SetCloseHandleFunctionForTesting(CloseHandleFunction function) {
  g_close_override.store(function, std::memory_order_release);
}

}  // namespace internal

uint32_t SuperFastHash(const char* data, int length) {
  if (!data || length < 1) return 0;
  auto read16 = [](const char* p) {
    const auto* bytes = reinterpret_cast<const uint8_t*>(p);
    return static_cast<uint32_t>(bytes[0]) |
           (static_cast<uint32_t>(bytes[1]) << 8);
  };
  uint32_t hash = static_cast<uint32_t>(length);
  int remainder = length & 3;
  for (int blocks = length >> 2; blocks > 0; --blocks) {
    hash += read16(data);
    uint32_t mixed = (read16(data + 2) << 11) ^ hash;
    hash = (hash << 16) ^ mixed;
    data += 4;
    hash += hash >> 11;
  }
  // The trailing bytes after the last 16-bit read count as signed.
  switch (remainder) {
    case 3:
      hash += read16(data);
      hash ^= hash << 16;
      hash ^= static_cast<uint32_t>(static_cast<signed char>(data[2])) << 18;
      hash += hash >> 11;
      break;
    case 2:
      hash += read16(data);
      hash ^= hash << 11;
      hash += hash >> 17;
      break;
    case 1:
      hash += static_cast<uint32_t>(static_cast<signed char>(data[0]));
      hash ^= hash << 10;
      hash += hash >> 1;
      break;
  }
  hash ^= hash << 3;
  hash += hash >> 5;
  hash ^= hash << 4;
  hash += hash >> 17;
  hash ^= hash << 25;
  hash += hash >> 6;
  return hash;
}

}  // namespace win
}  // namespace base
