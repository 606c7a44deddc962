#include "base/memory/weak_ptr.h"

namespace base {

WeakReference::WeakReference() = default;
WeakReference::WeakReference(Flag* flag) : flag_(flag) {}
WeakReference::WeakReference(const WeakReference& other) = default;
WeakReference::WeakReference(WeakReference&& other) noexcept = default;
WeakReference& WeakReference::operator=(const WeakReference& other) = default;
WeakReference& WeakReference::operator=(WeakReference&& other) noexcept =
    default;
WeakReference::~WeakReference() = default;

bool WeakReference::IsValid() const { return flag_ && flag_->IsValid(); }

WeakReferenceOwner::WeakReferenceOwner() = default;

WeakReferenceOwner::~WeakReferenceOwner() { Invalidate(); }

WeakReference WeakReferenceOwner::GetRef() const {
  // A flag that only the owner still holds is renewed; the references made
  // from now on share the fresh one.
  if (!flag_ || flag_->HasOneRef())
    flag_ = MakeRefCounted<WeakReference::Flag>();
  return WeakReference(flag_.get());
}

bool WeakReferenceOwner::HasRefs() const {
  return flag_ && !flag_->HasOneRef();
}

void WeakReferenceOwner::Invalidate() {
  if (flag_) {
    flag_->Invalidate();
    flag_.reset();
  }
}

}  // namespace base
