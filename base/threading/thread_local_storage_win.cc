// Windows TLS indexes, and the module's TLS callback that runs the slot
// destructors when a thread ends.

#include <windows.h>

#include "base/threading/thread_local_storage.h"

namespace base {
namespace internal {

bool AllocateTlsKey(uint32_t* key, void (*destructor)(void*)) {
  // Windows calls no destructor: the TLS callback below does the work.
  DWORD index = TlsAlloc();
  if (index == TLS_OUT_OF_INDEXES) return false;
  *key = index;
  return true;
}

void FreeTlsKey(uint32_t key) { TlsFree(key); }

void* GetTlsValue(uint32_t key) { return TlsGetValue(key); }

void SetTlsValue(uint32_t key, void* value) {
  if (!TlsSetValue(key, value)) ThreadLocalStorage::ReportSetValueFailure();
}

}  // namespace internal
}  // namespace base

namespace {

void NTAPI OnThreadExitCallback(PVOID module, DWORD reason, PVOID reserved) {
  if (reason == DLL_THREAD_DETACH || reason == DLL_PROCESS_DETACH)
    base::ThreadLocalStorage::OnThreadExit();
}

}  // namespace

// The loader calls every entry of the module's TLS callback array, which the
// linker gathers from the .CRT$XL? sections between the C runtime's .CRT$XLA
// and .CRT$XLZ markers. .CRT$XLB runs before the runtime's own callbacks
// (the pthread library's among them), so destructors can still use them.
// _tls_used keeps the runtime's TLS directory in the image, also in a DLL.
extern "C" {
extern const IMAGE_TLS_DIRECTORY _tls_used;
__attribute__((section(".CRT$XLB"), used))
const PIMAGE_TLS_CALLBACK velna_tls_exit_callback = &OnThreadExitCallback;
__attribute__((used)) const void* const velna_tls_directory_reference =
    &_tls_used;
}
