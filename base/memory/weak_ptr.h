// Weak pointers: references to an object that may be destroyed first. The
// object owns a WeakPtrFactory; every WeakPtr it hands out shares one flag,
// and destroying the factory (or InvalidateWeakPtrs) clears the flag, after
// which those WeakPtrs yield null for good. A callback bound to a method
// through a WeakPtr (bind.h) does nothing once the flag is cleared, which is
// how posted continuations are cancelled.
//
// The flag's count is atomic, so WeakPtrs may be copied, moved and dropped on
// any thread. Testing and dereferencing a WeakPtr, and invalidating, belong
// on the thread that owns the object: the flag only says whether the object
// was alive when it was read.
//
//   class Fetcher {
//     ...
//     WeakPtrFactory<Fetcher> weak_factory_{this};  // last member
//   };

#ifndef BASE_MEMORY_WEAK_PTR_H_
#define BASE_MEMORY_WEAK_PTR_H_

#include <atomic>
#include <utility>

#include "base/memory/ref_counted.h"

namespace base {

// One counted reference to a validity flag, or none.
class WeakReference {
 public:
  class Flag : public RefCounted<Flag> {
   public:
    Flag() = default;
    void Invalidate() { valid_.store(false, std::memory_order_relaxed); }
    bool IsValid() const { return valid_.load(std::memory_order_relaxed); }

   private:
    friend class RefCounted<Flag>;
    ~Flag() = default;

    std::atomic<bool> valid_{true};
  };

  WeakReference();
  explicit WeakReference(Flag* flag);
  WeakReference(const WeakReference& other);
  WeakReference(WeakReference&& other) noexcept;
  WeakReference& operator=(const WeakReference& other);
  WeakReference& operator=(WeakReference&& other) noexcept;
  ~WeakReference();

  // True while the flag exists and has not been cleared.
  bool IsValid() const;

 private:
  ScopedRefPtr<Flag> flag_;
};

// Holds the current flag of one owner. Destroying the owner clears it.
class WeakReferenceOwner {
 public:
  WeakReferenceOwner();
  WeakReferenceOwner(const WeakReferenceOwner&) = delete;
  WeakReferenceOwner& operator=(const WeakReferenceOwner&) = delete;
  ~WeakReferenceOwner();

  // A new reference to the current flag. When there is no flag, or no weak
  // reference besides the owner's is left, a fresh valid flag replaces it.
  WeakReference GetRef() const;

  // True while a weak reference other than the owner's shares the flag.
  bool HasRefs() const;

  // Clears the flag for every reference made so far; later GetRef calls
  // hand out a fresh one.
  void Invalidate();

 private:
  mutable ScopedRefPtr<WeakReference::Flag> flag_;
};

template <typename T>
class WeakPtr {
 public:
  WeakPtr() = default;
  WeakPtr(std::nullptr_t) {}
  // From a WeakPtr to a derived class.
  template <typename U>
  WeakPtr(const WeakPtr<U>& other) : ref_(other.ref_), ptr_(other.ptr_) {}

  // The object, or null when it is gone (or the pointer was null).
  T* get() const { return ref_.IsValid() ? ptr_ : nullptr; }
  T& operator*() const { return *get(); }
  T* operator->() const { return get(); }
  explicit operator bool() const { return get() != nullptr; }

  void reset() {
    ref_ = WeakReference();
    ptr_ = nullptr;
  }

 private:
  template <typename U>
  friend class WeakPtr;
  template <typename U>
  friend class WeakPtrFactory;

  WeakPtr(WeakReference ref, T* ptr) : ref_(std::move(ref)), ptr_(ptr) {}

  WeakReference ref_;
  T* ptr_ = nullptr;
};

// Hands out WeakPtrs to |ptr|, normally the object that holds the factory.
// Declare the factory last, so that it is destroyed (and the WeakPtrs
// invalidated) before the other members.
template <typename T>
class WeakPtrFactory {
 public:
  explicit WeakPtrFactory(T* ptr) : ptr_(ptr) {}
  WeakPtrFactory(const WeakPtrFactory&) = delete;
  WeakPtrFactory& operator=(const WeakPtrFactory&) = delete;
  ~WeakPtrFactory() = default;

  WeakPtr<T> GetWeakPtr() { return WeakPtr<T>(owner_.GetRef(), ptr_); }

  // Every WeakPtr handed out so far yields null from now on.
  void InvalidateWeakPtrs() { owner_.Invalidate(); }
  bool HasWeakPtrs() const { return owner_.HasRefs(); }

 private:
  WeakReferenceOwner owner_;
  T* ptr_;
};

}  // namespace base

#endif  // BASE_MEMORY_WEAK_PTR_H_
