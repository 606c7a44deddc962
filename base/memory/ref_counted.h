// Shared ownership for objects that cross threads: task runners, queues,
// weak-pointer flags and the like. The count is atomic, so references may be
// taken and dropped on any thread; the last release destroys the object on
// the releasing thread.
//
//   class Queue : public RefCounted<Queue> {
//    private:
//     friend class RefCounted<Queue>;
//     ~Queue();
//   };
//   ScopedRefPtr<Queue> queue = MakeRefCounted<Queue>();
//
// An object that must choose where it is destroyed (a task runner) passes
// its own traits, whose Destruct is called instead of delete.

#ifndef BASE_MEMORY_REF_COUNTED_H_
#define BASE_MEMORY_REF_COUNTED_H_

#include <stddef.h>
#include <stdint.h>

#include <atomic>
#include <utility>

namespace base {

class RefCountedBase {
 public:
  RefCountedBase(const RefCountedBase&) = delete;
  RefCountedBase& operator=(const RefCountedBase&) = delete;

  bool HasOneRef() const {
    return ref_count_.load(std::memory_order_acquire) == 1;
  }

 protected:
  RefCountedBase() = default;
  ~RefCountedBase() = default;

  // Returns the count before the increment.
  uint32_t AddRef() const {
    return ref_count_.fetch_add(1, std::memory_order_relaxed);
  }
  // True exactly once: for the release that dropped the last reference. The
  // caller then destroys the object.
  bool Release() const {
    return ref_count_.fetch_sub(1, std::memory_order_acq_rel) == 1;
  }

 private:
  mutable std::atomic<uint32_t> ref_count_{0};
};

template <typename T, typename Traits>
class RefCounted;

// The default destruct hook: delete the object.
template <typename T>
struct DefaultRefCountedTraits {
  static void Destruct(const T* object) {
    RefCounted<T, DefaultRefCountedTraits>::DeleteInternal(object);
  }
};

template <typename T, typename Traits = DefaultRefCountedTraits<T>>
class RefCounted : public RefCountedBase {
 public:
  void AddRef() const { RefCountedBase::AddRef(); }
  void Release() const {
    if (RefCountedBase::Release())
      Traits::Destruct(static_cast<const T*>(this));
  }

 protected:
  RefCounted() = default;
  ~RefCounted() = default;

 private:
  friend struct DefaultRefCountedTraits<T>;
  // Lets the default traits delete a T whose destructor is private to
  // everyone but its RefCounted base.
  static void DeleteInternal(const T* object) { delete object; }
};

// Holds one reference to a counted object; null or the object.
template <typename T>
class ScopedRefPtr {
 public:
  using element_type = T;

  constexpr ScopedRefPtr() = default;
  constexpr ScopedRefPtr(std::nullptr_t) {}
  // Takes a new reference to |ptr|.
  ScopedRefPtr(T* ptr) : ptr_(ptr) {
    if (ptr_) ptr_->AddRef();
  }
  ScopedRefPtr(const ScopedRefPtr& other) : ScopedRefPtr(other.ptr_) {}
  template <typename U>
  ScopedRefPtr(const ScopedRefPtr<U>& other) : ScopedRefPtr(other.get()) {}
  // The source becomes null; the count does not change.
  ScopedRefPtr(ScopedRefPtr&& other) noexcept
      : ptr_(std::exchange(other.ptr_, nullptr)) {}
  template <typename U>
  ScopedRefPtr(ScopedRefPtr<U>&& other) noexcept : ptr_(other.LeakRef()) {}
  ~ScopedRefPtr() {
    if (ptr_) ptr_->Release();
  }

  ScopedRefPtr& operator=(ScopedRefPtr other) noexcept {
    std::swap(ptr_, other.ptr_);
    return *this;
  }

  T* get() const { return ptr_; }
  T& operator*() const { return *ptr_; }
  T* operator->() const { return ptr_; }
  explicit operator bool() const { return ptr_ != nullptr; }

  // Drops the reference; this becomes null.
  void reset() { ScopedRefPtr().swap(*this); }
  void swap(ScopedRefPtr& other) noexcept { std::swap(ptr_, other.ptr_); }

  // Gives up the reference without releasing it; the caller owns it now.
  [[nodiscard]] T* LeakRef() { return std::exchange(ptr_, nullptr); }

  template <typename U>
  bool operator==(const ScopedRefPtr<U>& other) const {
    return ptr_ == other.get();
  }
  bool operator==(const T* other) const { return ptr_ == other; }
  bool operator==(std::nullptr_t) const { return ptr_ == nullptr; }

 private:
  T* ptr_ = nullptr;
};

// Builds a T and returns the first reference to it.
template <typename T, typename... Args>
ScopedRefPtr<T> MakeRefCounted(Args&&... args) {
  return ScopedRefPtr<T>(new T(std::forward<Args>(args)...));
}

}  // namespace base

#endif  // BASE_MEMORY_REF_COUNTED_H_
