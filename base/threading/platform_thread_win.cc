#include "base/threading/platform_thread_win.h"

#include <string.h>
#include <windows.h>

#include "base/logging.h"
#include "base/threading/platform_thread.h"
#include "base/threading/thread_name_registry.h"
#include "base/win/scoped_handle.h"

namespace base {

namespace {

// Handed from the creator to the new thread, which frees it.
struct ThreadStartRecord {
  PlatformThread::Delegate* delegate;
  bool joinable;
  ThreadPriority priority;
};

// The exception a debugger catches to learn a thread's name.
constexpr DWORD kSetThreadNameException = 0x406D1388;

// The record the debugger reads, laid out by the debugger convention.
struct ThreadNameRecord {
  DWORD type;  // 0x1000
  LPCSTR name;
  DWORD thread_id;
  DWORD flags;  // 0
};

LONG CALLBACK ContinueAfterThreadNameException(EXCEPTION_POINTERS* info) {
  if (info->ExceptionRecord->ExceptionCode == kSetThreadNameException)
    return EXCEPTION_CONTINUE_EXECUTION;
  return EXCEPTION_CONTINUE_SEARCH;
}

// Gives |name| to an attached debugger. The handler that resumes at once is
// called last, so a debugger (and any earlier handler) sees the exception
// first and it never propagates.
void RaiseThreadNameException(DWORD thread_id, const char* name) {
  ThreadNameRecord record = {0x1000, name, thread_id, 0};
  void* handler =
      AddVectoredExceptionHandler(0, &ContinueAfterThreadNameException);
  // The argument count is in pointer-sized words: the debugger reads
  // exactly the record and nothing beyond it.
  RaiseException(kSetThreadNameException, 0, sizeof(record) / sizeof(ULONG_PTR),
                 reinterpret_cast<const ULONG_PTR*>(&record));
  if (handler) RemoveVectoredExceptionHandler(handler);
}

HMODULE ThisModule() {
  HMODULE module = nullptr;
  GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                         GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                     reinterpret_cast<LPCWSTR>(&ThisModule), &module);
  return module;
}

// Instrumented builds want every thread name even without a debugger.
bool IsThisModuleInstrumented() {
  static const bool instrumented =
      internal::ModuleHasInstrumentationSections(ThisModule());
  return instrumented;
}

int ToWindowsPriority(ThreadPriority priority) {
  switch (priority) {
    case ThreadPriority::kLowest:
      return THREAD_PRIORITY_LOWEST;
    case ThreadPriority::kAboveNormal:
      return THREAD_PRIORITY_ABOVE_NORMAL;
    case ThreadPriority::kTimeCritical:
      return THREAD_PRIORITY_TIME_CRITICAL;
    case ThreadPriority::kNormal:
      break;
  }
  return THREAD_PRIORITY_NORMAL;
}

DWORD WINAPI ThreadFunc(void* parameter) {
  auto* record = static_cast<ThreadStartRecord*>(parameter);
  PlatformThread::Delegate* delegate = record->delegate;
  if (record->priority != ThreadPriority::kNormal)
    PlatformThread::SetCurrentThreadPriority(record->priority);

  // A real handle to this thread tells its registry entry apart from that of
  // a later thread that gets the same id.
  HANDLE self = nullptr;
  bool have_handle = DuplicateHandle(GetCurrentProcess(), GetCurrentThread(),
                                     GetCurrentProcess(), &self, 0, FALSE,
                                     DUPLICATE_SAME_ACCESS);
  win::ScopedHandle scoped_self(have_handle ? self : nullptr);
  DWORD id = GetCurrentThreadId();
  if (have_handle) ThreadNameRegistry::GetInstance()->RegisterThread(self, id);

  delete record;
  delegate->ThreadMain();

  if (have_handle) ThreadNameRegistry::GetInstance()->RemoveName(self, id);
  return 0;
}

}  // namespace

namespace internal {

bool ModuleHasInstrumentationSections(const void* module_base) {
  if (!module_base) return false;
  const auto* base = static_cast<const char*>(module_base);
  const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
  if (dos->e_magic != IMAGE_DOS_SIGNATURE) return false;
  const auto* nt =
      reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
  if (nt->Signature != IMAGE_NT_SIGNATURE) return false;
  // Section names are compared over all 8 bytes, NUL padding included.
  static constexpr char kThunks[IMAGE_SIZEOF_SHORT_NAME] = ".thunks";
  static constexpr char kSyzygy[IMAGE_SIZEOF_SHORT_NAME] = ".syzygy";
  bool has_thunks = false;
  bool has_syzygy = false;
  const IMAGE_SECTION_HEADER* section = IMAGE_FIRST_SECTION(nt);
  for (WORD i = 0; i < nt->FileHeader.NumberOfSections; ++i, ++section) {
    if (memcmp(section->Name, kThunks, sizeof(kThunks)) == 0) has_thunks = true;
    if (memcmp(section->Name, kSyzygy, sizeof(kSyzygy)) == 0) has_syzygy = true;
  }
  return has_thunks && has_syzygy;
}

void PlatformSleepMilliseconds(uint32_t milliseconds) { ::Sleep(milliseconds); }

}  // namespace internal

// static
PlatformThreadId PlatformThread::CurrentId() { return GetCurrentThreadId(); }

// static
void PlatformThread::YieldCurrentThread() { ::Sleep(0); }

// static
void PlatformThread::SetName(const std::string& name) {
  PlatformThreadId id = CurrentId();
  ThreadNameRegistry* registry = ThreadNameRegistry::GetInstance();
  registry->SetName(id, name);
  internal::NotifyTaskTrackingOfName(name);
  if (IsDebuggerPresent() || IsThisModuleInstrumented())
    RaiseThreadNameException(id, registry->GetName(id));
}

// static
bool PlatformThread::CreateThreadInternal(size_t stack_size, Delegate* delegate,
                                          PlatformThreadHandle* handle_out,
                                          ThreadPriority priority) {
  auto* record =
      new ThreadStartRecord{delegate, handle_out != nullptr, priority};
  DWORD flags = stack_size ? STACK_SIZE_PARAM_IS_A_RESERVATION : 0;
  HANDLE thread =
      ::CreateThread(nullptr, stack_size, &ThreadFunc, record, flags, nullptr);
  if (!thread) {
    LOG(ERROR) << "CreateThread failed: " << GetLastError();
    delete record;
    return false;
  }
  if (handle_out)
    *handle_out = thread;
  else
    win::CloseHandleWrapper(thread);
  return true;
}

// static
void PlatformThread::Join(PlatformThreadHandle handle) {
  DWORD result = WaitForSingleObject(handle, INFINITE);
  CHECK(result == WAIT_OBJECT_0)
      << "Waiting for a thread gave " << result << ", error " << GetLastError();
  win::CloseHandleWrapper(handle);
}

// static
ThreadPriority PlatformThread::GetCurrentThreadPriority() {
  switch (GetThreadPriority(GetCurrentThread())) {
    case THREAD_PRIORITY_LOWEST:
      return ThreadPriority::kLowest;
    case THREAD_PRIORITY_ABOVE_NORMAL:
      return ThreadPriority::kAboveNormal;
    case THREAD_PRIORITY_TIME_CRITICAL:
      return ThreadPriority::kTimeCritical;
    default:
      return ThreadPriority::kNormal;
  }
}

// static
void PlatformThread::SetCurrentThreadPriority(ThreadPriority priority) {
  if (!SetThreadPriority(GetCurrentThread(), ToWindowsPriority(priority)))
    LOG(ERROR) << "SetThreadPriority failed: " << GetLastError();
}

}  // namespace base
