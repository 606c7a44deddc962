#include "base/memory/weak_ptr.h"

#include <memory>
#include <thread>
#include <vector>

#include "base/memory/ref_counted.h"
#include "gtest/gtest.h"

namespace base {
namespace {

struct Base {
  virtual ~Base() = default;
  int value = 7;
};
struct Derived : Base {};

class Owner {
 public:
  WeakPtr<Owner> GetWeakPtr() { return factory_.GetWeakPtr(); }
  WeakPtrFactory<Owner>& factory() { return factory_; }

 private:
  WeakPtrFactory<Owner> factory_{this};
};

TEST(WeakPtrTest, InvalidAfterFactoryDestruction) {
  auto owner = std::make_unique<Owner>();
  WeakPtr<Owner> weak = owner->GetWeakPtr();
  WeakPtr<Owner> copy = weak;
  EXPECT_EQ(weak.get(), owner.get());
  owner.reset();
  EXPECT_EQ(weak.get(), nullptr);
  EXPECT_FALSE(copy);
}

TEST(WeakPtrTest, InvalidationIsFinalButLaterPointersAreFresh) {
  Owner owner;
  WeakPtr<Owner> before = owner.GetWeakPtr();
  owner.factory().InvalidateWeakPtrs();
  EXPECT_FALSE(before);
  EXPECT_FALSE(owner.factory().HasWeakPtrs());

  WeakPtr<Owner> after = owner.GetWeakPtr();
  EXPECT_EQ(after.get(), &owner);
  EXPECT_FALSE(before);
  EXPECT_TRUE(owner.factory().HasWeakPtrs());
}

TEST(WeakPtrTest, OwnerRenewsAFlagNobodyElseHolds) {
  WeakReferenceOwner owner;
  EXPECT_FALSE(owner.HasRefs());
  {
    WeakReference first = owner.GetRef();
    WeakReference second = owner.GetRef();
    EXPECT_TRUE(first.IsValid());
    EXPECT_TRUE(owner.HasRefs());
  }
  EXPECT_FALSE(owner.HasRefs());
  WeakReference again = owner.GetRef();
  EXPECT_TRUE(again.IsValid());
  owner.Invalidate();
  EXPECT_FALSE(again.IsValid());
  EXPECT_FALSE(WeakReference().IsValid());
}

// The flag lives as long as its last holder, whichever that is; the
// sanitizer build turns a wrong order into a leak or a use after free.
TEST(WeakPtrTest, FlagFreedByWhicheverHolderIsLast) {
  // The factory first: the pointers keep the cleared flag and read null.
  {
    auto owner = std::make_unique<Owner>();
    WeakPtr<Owner> weak = owner->GetWeakPtr();
    WeakPtr<Owner> copy = weak;
    owner.reset();
    EXPECT_FALSE(weak);
    weak.reset();
    EXPECT_EQ(nullptr, copy.get());
  }
  // The pointers first: the factory alone holds the flag again, and the
  // next pointer gets a fresh one.
  {
    Owner owner;
    {
      WeakPtr<Owner> weak = owner.GetWeakPtr();
      EXPECT_TRUE(owner.factory().HasWeakPtrs());
    }
    EXPECT_FALSE(owner.factory().HasWeakPtrs());
    WeakPtr<Owner> fresh = owner.GetWeakPtr();
    EXPECT_EQ(&owner, fresh.get());
    EXPECT_TRUE(owner.factory().HasWeakPtrs());
  }
}

TEST(WeakPtrTest, ConvertsToBase) {
  Derived derived;
  WeakPtrFactory<Derived> factory(&derived);
  WeakPtr<Base> base = factory.GetWeakPtr();
  ASSERT_TRUE(base);
  EXPECT_EQ(base->value, 7);
  factory.InvalidateWeakPtrs();
  EXPECT_FALSE(base);
}

TEST(WeakPtrTest, CopiesMadeAndDroppedOnOtherThreads) {
  auto owner = std::make_unique<Owner>();
  WeakPtr<Owner> weak = owner->GetWeakPtr();
  std::vector<std::thread> threads;
  for (int i = 0; i < 4; ++i) {
    threads.emplace_back([weak] {
      for (int j = 0; j < 1000; ++j) {
        WeakPtr<Owner> copy = weak;
        copy.reset();
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_TRUE(weak);
  owner.reset();
  EXPECT_FALSE(weak);
}

class Exposed : public RefCountedBase {
 public:
  using RefCountedBase::AddRef;
  using RefCountedBase::Release;
};

TEST(RefCountedTest, ReleaseReportsTheLastReferenceOnce) {
  Exposed counted;
  EXPECT_EQ(counted.AddRef(), 0u);
  EXPECT_EQ(counted.AddRef(), 1u);
  EXPECT_EQ(counted.AddRef(), 2u);
  EXPECT_FALSE(counted.Release());
  EXPECT_FALSE(counted.Release());
  EXPECT_TRUE(counted.HasOneRef());
  EXPECT_TRUE(counted.Release());
}

class Hooked;
struct HookTraits {
  static void Destruct(const Hooked* object);
};
class Hooked : public RefCounted<Hooked, HookTraits> {
 public:
  explicit Hooked(int* hook_calls) : hook_calls_(hook_calls) {}
  int* hook_calls_;

 private:
  friend struct HookTraits;
  ~Hooked() = default;
};
void HookTraits::Destruct(const Hooked* object) {
  ++*object->hook_calls_;
  delete object;
}

TEST(RefCountedTest, ScopedRefPtrCountsAndHooks) {
  int hook_calls = 0;
  ScopedRefPtr<Hooked> first = MakeRefCounted<Hooked>(&hook_calls);
  EXPECT_TRUE(first->HasOneRef());
  ScopedRefPtr<Hooked> second = first;
  EXPECT_FALSE(first->HasOneRef());

  // A move hands the reference over without touching the count.
  ScopedRefPtr<Hooked> moved(std::move(second));
  EXPECT_EQ(second, nullptr);
  EXPECT_EQ(moved, first);
  first = moved;  // self-equal assignment keeps it alive
  first.reset();
  EXPECT_EQ(hook_calls, 0);
  EXPECT_TRUE(moved->HasOneRef());
  moved = nullptr;
  EXPECT_EQ(hook_calls, 1);
}

TEST(RefCountedTest, ConcurrentReferencesDestroyOnce) {
  int hook_calls = 0;
  ScopedRefPtr<Hooked> shared = MakeRefCounted<Hooked>(&hook_calls);
  std::vector<std::thread> threads;
  for (int i = 0; i < 8; ++i) {
    threads.emplace_back([copy = shared]() mutable {
      for (int j = 0; j < 1000; ++j) {
        ScopedRefPtr<Hooked> another = copy;
      }
      copy.reset();
    });
  }
  shared.reset();
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(hook_calls, 1);
}

}  // namespace
}  // namespace base
