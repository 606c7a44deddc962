// HandleVerifier: the process-wide table of the handles that ScopedHandles
// own, which stops the process at the first misuse: a handle owned twice,
// released by a wrapper that does not own it, or closed behind its owner's
// back.
//
// One verifier serves every module of the process. The main module exports
// "GetHandleVerifier"; a module that finds that export in another module
// uses the verifier it returns, so all modules share one table. A main
// module without the export gets a disabled verifier that only closes
// handles. Other modules reach the shared verifier only through its virtual
// functions, whose order is therefore an interface between modules and
// must never change.

#ifndef BASE_WIN_SCOPED_HANDLE_VERIFIER_H_
#define BASE_WIN_SCOPED_HANDLE_VERIFIER_H_

#include <stdint.h>
#include <windows.h>

#include <unordered_map>

#include "base/synchronization/lock.h"

namespace base {
namespace win {

// Return addresses of a call stack, for crash dumps.
struct StackTrace {
  static constexpr int kMaxFrames = 62;

  // The current thread's stack, no frames skipped.
  static StackTrace Capture();

  void* frames[kMaxFrames];
  uint32_t count;
};

class HandleVerifier {
 public:
  // One tracked handle.
  struct Record {
    const void* owner;  // the owning ScopedHandle
    const void* pc1;    // the caller of the wrapper operation
    const void* pc2;    // a program counter inside the wrapper operation
    StackTrace stack;   // when tracking started
    DWORD thread_id;    // the thread that started it
  };

  // Verifiers are made by the process's lookup (GetActiveVerifier below)
  // and by tests, and are never destroyed.
  explicit HandleVerifier(bool enabled);
  HandleVerifier(const HandleVerifier&) = delete;
  HandleVerifier& operator=(const HandleVerifier&) = delete;

  // Closes |handle|. True, or false only for a protected "Process" handle
  // that refused to close (also when enabled); any other failed close stops
  // the process.
  virtual bool CloseHandle(HANDLE handle);
  // Records |owner| as the owner of |handle|; a handle already tracked
  // stops the process.
  virtual void StartTracking(HANDLE handle, const void* owner, const void* pc1,
                             const void* pc2);
  // Forgets |handle|; an untracked handle, or one tracked for another
  // owner, stops the process.
  virtual void StopTracking(HANDLE handle, const void* owner, const void* pc1,
                            const void* pc2);
  // Turns tracking off for good.
  virtual void Disable();
  // For hooks in other modules: somebody is closing |handle|. A tracked
  // handle closed outside the verifier's own close stops the process.
  virtual void OnHandleBeingClosed(HANDLE handle);
  // The module that created this verifier.
  virtual HMODULE GetModule() const;

  // Whether the table holds |handle|. Not virtual: only for tests in the
  // module that made this verifier.
  bool IsTrackingForTesting(HANDLE handle) const;

 protected:
  // Never destroyed: other modules may hold it until the process ends.
  ~HandleVerifier() = default;

 private:
  struct HandleHash {
    size_t operator()(HANDLE handle) const;
  };

  StackTrace creation_stack_;
  bool enabled_;
  // Set on a thread while the verifier itself closes a handle.
  DWORD closing_tls_index_;
  Lock* lock_;
  std::unordered_map<HANDLE, Record, HandleHash> table_;
};

// The verifier this module uses, found or created on first use.
HandleVerifier* GetActiveVerifier();

// What the module's "GetHandleVerifier" export returns.
void* GetHandleVerifierForExport();

void StartHandleTracking(HANDLE handle, const void* owner, const void* pc1,
                         const void* pc2);
void StopHandleTracking(HANDLE handle, const void* owner, const void* pc1,
                        const void* pc2);

// Paul Hsieh's SuperFastHash; 0 for null data or a length below 1.
uint32_t SuperFastHash(const char* data, int length);

namespace internal {

// The system close that verifiers of this module call, replaceable in
// tests (e.g. by one that behaves like a hooked CloseHandle); null restores
// CloseHandle.
using CloseHandleFunction = BOOL(WINAPI*)(HANDLE handle);
void SetCloseHandleFunctionForTesting(CloseHandleFunction function);

}  // namespace internal

}  // namespace win
}  // namespace base

#endif  // BASE_WIN_SCOPED_HANDLE_VERIFIER_H_
