// Per-thread storage with destructors.
//
// ThreadLocalStorage keeps, for every thread, one vector of 256 pointers in
// a single operating-system TLS index. A StaticSlot is one numbered entry of
// that vector, the same entry on every thread; its destructor runs for a
// thread's non-null value when the thread ends (on Windows from the module's
// TLS callback, elsewhere from a pthread key destructor). Slot numbers start
// at 1 and are never given back: at most 255 slots exist per module, and
// initialising one more stops the process.

#ifndef BASE_THREADING_THREAD_LOCAL_STORAGE_H_
#define BASE_THREADING_THREAD_LOCAL_STORAGE_H_

#include <stdint.h>

#include <atomic>

namespace base {

namespace internal {

// The platform's TLS indexes (Windows TlsAlloc, pthread keys elsewhere), also
// used by ThreadLocalPointer.
inline constexpr uint32_t kInvalidTlsKey = 0xFFFFFFFF;
// |destructor| runs at thread exit only where the platform calls it
// (pthread keys); false when no index is left.
bool AllocateTlsKey(uint32_t* key, void (*destructor)(void*));
void FreeTlsKey(uint32_t key);
void* GetTlsValue(uint32_t key);
// A failure stops the process with "Failed to TlsSetValue().".
void SetTlsValue(uint32_t key, void* value);

}  // namespace internal

class ThreadLocalStorage {
 public:
  using TLSDestructorFunc = void (*)(void* value);

  // Entries per thread; slot numbers run from 1 to kThreadLocalStorageSize-1.
  static constexpr int kThreadLocalStorageSize = 256;

  // One numbered entry of every thread's vector. Declare it at namespace
  // scope (constant-initialised) and Initialize it once before use; it is
  // never freed.
  class StaticSlot {
   public:
    constexpr StaticSlot() = default;
    StaticSlot(const StaticSlot&) = delete;
    StaticSlot& operator=(const StaticSlot&) = delete;

    // Takes the next slot number and remembers |destructor| (may be null)
    // for it. Stops the process when the 256th number would be needed.
    void Initialize(TLSDestructorFunc destructor);
    bool initialized() const {
      return initialized_.load(std::memory_order_acquire) != 0;
    }
    uint32_t slot_number() const { return slot_; }

    // The calling thread's value, null until Set.
    void* Get() const;
    void Set(void* value);

   private:
    std::atomic<uint32_t> initialized_{0};
    uint32_t slot_ = 0;
  };

  ThreadLocalStorage() = delete;

  // Runs the destructors of the calling thread's non-null entries, in
  // passes from the highest slot number down, until a pass runs none (at
  // most 256 passes), then drops the thread's vector. Called by the
  // platform at thread exit; a thread that never used a slot has nothing to
  // run.
  static void OnThreadExit();

  // The fatal log when a TLS value cannot be set.
  [[noreturn]] static void ReportSetValueFailure();

 private:
  friend class StaticSlot;

  // The calling thread's vector, built on first use.
  static void** GetOrConstructTlsVector();
  static void** ConstructTlsVector();
  static void OnThreadExitInternal(void** vector);
  static void PosixKeyDestructor(void* vector);
};

}  // namespace base

#endif  // BASE_THREADING_THREAD_LOCAL_STORAGE_H_
