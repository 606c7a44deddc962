// ThreadLocalPointer<T> and ThreadLocalBoolean: one value per thread, each
// in its own operating-system TLS index, with no clean-up at thread exit
// (for values with a destructor use ThreadLocalStorage::StaticSlot).
//
// The index is allocated on the first Set, exactly once even when threads
// race (the lazy-instance pattern of lazy_instance.h); running out of
// indexes stops the process. Declare them at namespace scope or as members;
// they are constant-initialised. Destroying one frees its index: no thread
// may use it afterwards.

#ifndef BASE_THREADING_THREAD_LOCAL_H_
#define BASE_THREADING_THREAD_LOCAL_H_

#include <stdint.h>

#include <atomic>

namespace base {

namespace internal {

class ThreadLocalPointerBase {
 public:
  constexpr ThreadLocalPointerBase() = default;
  ThreadLocalPointerBase(const ThreadLocalPointerBase&) = delete;
  ThreadLocalPointerBase& operator=(const ThreadLocalPointerBase&) = delete;
  ~ThreadLocalPointerBase();

  void* Get() const;
  void Set(void* value);

 private:
  // The index, allocated once; the lazy word holds its address when ready.
  uint32_t* GetOrAllocateKey();

  // 0 none, 1 being allocated, else the address of key_.
  std::atomic<uintptr_t> state_{0};
  uint32_t key_ = 0;
};

}  // namespace internal

template <typename Type>
class ThreadLocalPointer {
 public:
  constexpr ThreadLocalPointer() = default;

  // The calling thread's pointer, null until Set.
  Type* Get() const { return static_cast<Type*>(base_.Get()); }
  void Set(Type* pointer) {
    base_.Set(const_cast<void*>(static_cast<const void*>(pointer)));
  }

 private:
  internal::ThreadLocalPointerBase base_;
};

class ThreadLocalBoolean {
 public:
  constexpr ThreadLocalBoolean() = default;

  // False until Set(true) on the calling thread.
  bool Get() const { return pointer_.Get() != nullptr; }
  void Set(bool value) { pointer_.Set(value ? this : nullptr); }

 private:
  ThreadLocalPointer<ThreadLocalBoolean> pointer_;
};

}  // namespace base

#endif  // BASE_THREADING_THREAD_LOCAL_H_
