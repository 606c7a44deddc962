// base_test_module.dll: a second module with its own copy of base, for
// tests of what must work across modules (the shared handle verifier, the
// thread-exit destructors of thread-local storage in a DLL).

#include <windows.h>

#include <atomic>

#include "base/threading/thread_local_storage.h"
#include "base/win/scoped_handle.h"
#include "base/win/scoped_handle_verifier.h"

namespace {

base::win::ScopedHandle* g_owned_handle = nullptr;

constinit base::ThreadLocalStorage::StaticSlot g_slot;
std::atomic<int> g_destructor_calls{0};

void CountDestructorCall(void* value) { g_destructor_calls.fetch_add(1); }

}  // namespace

extern "C" {

// The verifier this module's copy of base uses.
__declspec(dllexport) void* TestModuleGetActiveVerifier() {
  return base::win::GetActiveVerifier();
}

// Holds |handle| in a ScopedHandle of this module.
__declspec(dllexport) void TestModuleOwnHandle(HANDLE handle) {
  delete g_owned_handle;
  g_owned_handle = new base::win::ScopedHandle(handle);
}

__declspec(dllexport) void TestModuleCloseOwnedHandle() {
  delete g_owned_handle;
  g_owned_handle = nullptr;
}

// Sets the calling thread's value of this module's slot; the slot's
// destructor counts its calls.
__declspec(dllexport) void TestModuleSetSlotValue(void* value) {
  if (!g_slot.initialized()) g_slot.Initialize(&CountDestructorCall);
  g_slot.Set(value);
}

__declspec(dllexport) int TestModuleDestructorCalls() {
  return g_destructor_calls.load();
}

}  // extern "C"
