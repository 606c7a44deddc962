#include "base/callback.h"

#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "base/bind.h"
#include "base/memory/ref_counted.h"
#include "base/memory/weak_ptr.h"
#include "gtest/gtest.h"

namespace base {
namespace {

// Counts its own destructions, so tests see when a bind state let go of it.
class DestructionTracker {
 public:
  explicit DestructionTracker(int* destroyed) : destroyed_(destroyed) {}
  DestructionTracker(const DestructionTracker&) = delete;
  DestructionTracker(DestructionTracker&& other) noexcept
      : destroyed_(std::exchange(other.destroyed_, nullptr)) {}
  ~DestructionTracker() {
    if (destroyed_) ++*destroyed_;
  }

 private:
  int* destroyed_;
};

int Add(int a, int b) { return a + b; }

void TakeTracker(const DestructionTracker&, int* runs) { ++*runs; }

class Counter {
 public:
  void Increment() { ++count_; }
  void AddAmount(int amount) { count_ += amount; }
  int count() const { return count_; }
  WeakPtr<Counter> GetWeakPtr() { return weak_factory_.GetWeakPtr(); }
  void InvalidateWeakPtrs() { weak_factory_.InvalidateWeakPtrs(); }

 private:
  int count_ = 0;
  WeakPtrFactory<Counter> weak_factory_{this};
};

class SharedCounter : public RefCounted<SharedCounter> {
 public:
  explicit SharedCounter(int* destroyed) : destroyed_(destroyed) {}
  void Increment() { ++count_; }
  int count() const { return count_; }

 private:
  friend class RefCounted<SharedCounter>;
  ~SharedCounter() { ++*destroyed_; }

  int count_ = 0;
  int* destroyed_;
};

TEST(CallbackTest, BindsLeadingArguments) {
  Callback<int(int)> add_two = Bind(&Add, 2);
  EXPECT_EQ(add_two.Run(3), 5);
  EXPECT_EQ(add_two.Run(-2), 0);

  Callback<int()> both = Bind(&Add, 4, 5);
  EXPECT_EQ(both.Run(), 9);

  // Lambdas, and a callback re-bound with one more argument.
  Callback<std::string(const std::string&)> greet =
      Bind([](const std::string& a, const std::string& b) { return a + b; },
           std::string("hello "));
  EXPECT_EQ(greet.Run("there"), "hello there");
  Callback<std::string()> fixed = Bind(greet, std::string("world"));
  EXPECT_EQ(fixed.Run(), "hello world");
}

TEST(CallbackTest, RunsRepeatedlyWithTheSameBoundState) {
  int runs = 0;
  int destroyed = 0;
  {
    Closure closure = Bind(&TakeTracker, DestructionTracker(&destroyed), &runs);
    closure.Run();
    closure.Run();
    closure.Run();
    EXPECT_EQ(runs, 3);
    EXPECT_EQ(destroyed, 0);
  }
  EXPECT_EQ(destroyed, 1);
}

TEST(CallbackTest, CopiesShareTheBindState) {
  int destroyed = 0;
  int runs = 0;
  auto first = std::make_unique<Closure>(
      Bind(&TakeTracker, DestructionTracker(&destroyed), &runs));
  Closure copy = *first;
  EXPECT_TRUE(copy.Equals(*first));
  first.reset();
  EXPECT_EQ(destroyed, 0);
  copy.Run();
  EXPECT_EQ(runs, 1);
  copy = Closure();
  EXPECT_EQ(destroyed, 1);
}

TEST(CallbackTest, MoveLeavesTheSourceNull) {
  int destroyed = 0;
  int runs = 0;
  Closure source = Bind(&TakeTracker, DestructionTracker(&destroyed), &runs);
  Closure target(std::move(source));
  EXPECT_TRUE(source.is_null());
  EXPECT_FALSE(target.is_null());

  Closure assigned;
  assigned = std::move(target);
  EXPECT_TRUE(target.is_null());
  assigned.Run();
  EXPECT_EQ(runs, 1);
  EXPECT_EQ(destroyed, 0);
  assigned.Reset();
  EXPECT_EQ(destroyed, 1);
}

TEST(CallbackTest, ResetAndSelfAssignment) {
  Closure empty;
  empty.Reset();
  EXPECT_TRUE(empty.is_null());

  int destroyed = 0;
  int runs = 0;
  Closure closure = Bind(&TakeTracker, DestructionTracker(&destroyed), &runs);
  Closure& alias = closure;
  closure = alias;
  EXPECT_EQ(destroyed, 0);
  closure.Run();
  EXPECT_EQ(runs, 1);

  // Copy-assigning over a callback releases the old state.
  int other_destroyed = 0;
  Closure other =
      Bind(&TakeTracker, DestructionTracker(&other_destroyed), &runs);
  other = closure;
  EXPECT_EQ(other_destroyed, 1);
  EXPECT_EQ(destroyed, 0);
  closure.Reset();
  other.Reset();
  EXPECT_EQ(destroyed, 1);
}

TEST(CallbackTest, WeakMethodStopsAfterInvalidation) {
  int destroyed = 0;
  Counter counter;
  Closure increment = Bind(&Counter::Increment, counter.GetWeakPtr());
  Callback<void(int)> add = Bind(&Counter::AddAmount, counter.GetWeakPtr());
  Closure with_tracker =
      Bind([](DestructionTracker&, Counter* c) { c->Increment(); },
           DestructionTracker(&destroyed), &counter);
  increment.Run();
  add.Run(10);
  EXPECT_EQ(counter.count(), 11);

  counter.InvalidateWeakPtrs();
  increment.Run();
  add.Run(10);
  EXPECT_EQ(counter.count(), 11);

  // Weak pointers taken afterwards work again.
  Bind(&Counter::Increment, counter.GetWeakPtr()).Run();
  EXPECT_EQ(counter.count(), 12);
  with_tracker.Reset();
  EXPECT_EQ(destroyed, 1);
}

TEST(CallbackTest, WeakMethodOutlivesItsObject) {
  Closure increment;
  {
    Counter counter;
    increment = Bind(&Counter::Increment, counter.GetWeakPtr());
    increment.Run();
    EXPECT_EQ(counter.count(), 1);
  }
  // The object is gone: the run is a no-op, and dropping the callback frees
  // the flag (AddressSanitizer reports a leak or a use after free here).
  increment.Run();
  increment.Reset();
}

TEST(CallbackTest, ReceiverOwnership) {
  int destroyed = 0;
  auto* shared = new SharedCounter(&destroyed);
  ScopedRefPtr<SharedCounter> holder(shared);
  Closure keeps_alive = Bind(&SharedCounter::Increment, holder);
  holder.reset();
  EXPECT_EQ(destroyed, 0);
  keeps_alive.Run();
  EXPECT_EQ(shared->count(), 1);
  keeps_alive.Reset();
  EXPECT_EQ(destroyed, 1);

  // An owned receiver goes with the bind state.
  Callback<int()> owned = Bind(&Counter::count, std::make_unique<Counter>());
  EXPECT_EQ(owned.Run(), 0);

  Counter raw;
  Bind(&Counter::AddAmount, &raw, 5).Run();
  EXPECT_EQ(raw.count(), 5);
}

TEST(CallbackTest, LastCopyDroppedOnAnyThreadDestroysOnce) {
  constexpr int kThreads = 8;
  constexpr int kCopiesPerThread = 1000;
  std::atomic<int> destroyed{0};
  struct Tracker {
    std::atomic<int>* destroyed;
    explicit Tracker(std::atomic<int>* d) : destroyed(d) {}
    Tracker(const Tracker& other) = delete;
    Tracker(Tracker&& other) noexcept
        : destroyed(std::exchange(other.destroyed, nullptr)) {}
    ~Tracker() {
      if (destroyed) destroyed->fetch_add(1);
    }
  };
  Closure original = Bind([](const Tracker&) {}, Tracker(&destroyed));
  std::vector<std::thread> threads;
  for (int i = 0; i < kThreads; ++i) {
    threads.emplace_back([copy = original] {
      for (int j = 0; j < kCopiesPerThread; ++j) {
        Closure another = copy;
        another.Run();
      }
    });
  }
  original.Reset();
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(destroyed.load(), 1);
}

}  // namespace
}  // namespace base
