#include "base/observer_list.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "gtest/gtest.h"

namespace base {
namespace {

class Observer {
 public:
  virtual ~Observer() = default;
  virtual void OnEvent(int value) = 0;
};

// Records the calls it gets, in one shared log.
class Recorder : public Observer {
 public:
  Recorder(std::string name, std::vector<std::string>* log)
      : name_(std::move(name)), log_(log) {}
  void OnEvent(int value) override {
    log_->push_back(name_ + std::to_string(value));
  }

 private:
  std::string name_;
  std::vector<std::string>* log_;
};

// Runs an action from inside its notification, then records the call.
class Actor : public Recorder {
 public:
  Actor(std::string name, std::vector<std::string>* log,
        std::function<void()> action)
      : Recorder(std::move(name), log), action_(std::move(action)) {}
  void OnEvent(int value) override {
    Recorder::OnEvent(value);
    if (action_) action_();
  }

 private:
  std::function<void()> action_;
};

using List = ObserverList<Observer>;

TEST(ObserverListTest, NotifiesInOrderWithoutDuplicates) {
  std::vector<std::string> log;
  Recorder a("a", &log), b("b", &log);
  List list;
  list.AddObserver(&a);
  list.AddObserver(&b);
  list.AddObserver(&a);
  list.AddObserverIfAbsent(&b);
  list.Notify(&Observer::OnEvent, 1);
  EXPECT_EQ(log, (std::vector<std::string>{"a1", "b1"}));

  list.RemoveObserver(&a);
  list.RemoveObserver(&a);  // absent: ignored
  list.Notify(&Observer::OnEvent, 2);
  EXPECT_EQ(log, (std::vector<std::string>{"a1", "b1", "b2"}));
}

TEST(ObserverListTest, RemovalDuringNotification) {
  std::vector<std::string> log;
  List list;
  Recorder c("c", &log);
  Actor a("a", &log, nullptr);
  // b removes itself and c; neither is called again in this pass.
  Actor b("b", &log, [&] {
    list.RemoveObserver(&b);
    list.RemoveObserver(&c);
    EXPECT_TRUE(list.HasObserver(&a));
    EXPECT_FALSE(list.HasObserver(&c));
  });
  list.AddObserver(&a);
  list.AddObserver(&b);
  list.AddObserver(&c);
  list.Notify(&Observer::OnEvent, 1);
  list.Notify(&Observer::OnEvent, 2);
  EXPECT_EQ(log, (std::vector<std::string>{"a1", "b1", "a2"}));
}

TEST(ObserverListTest, AdditionDuringNotificationFollowsThePolicy) {
  struct Case {
    ObserverListPolicy policy;
    std::vector<std::string> want;
  } cases[] = {
      {ObserverListPolicy::kNotifyAll, {"a1", "late1"}},
      {ObserverListPolicy::kNotifyExistingOnly, {"a1"}},
  };
  for (const Case& c : cases) {
    std::vector<std::string> log;
    List list(c.policy);
    Recorder late("late", &log);
    Actor a("a", &log, [&] { list.AddObserver(&late); });
    list.AddObserver(&a);
    list.Notify(&Observer::OnEvent, 1);
    EXPECT_EQ(log, c.want);
    EXPECT_TRUE(list.HasObserver(&late));
  }
}

TEST(ObserverListTest, SubjectDestroyedDuringNotification) {
  std::vector<std::string> log;
  auto list = std::make_unique<List>();
  Recorder after("after", &log);
  Actor killer("killer", &log, [&] { list.reset(); });
  list->AddObserver(&killer);
  list->AddObserver(&after);
  List::Iter it(list.get());
  while (Observer* observer = it.GetNext()) observer->OnEvent(1);
  EXPECT_EQ(log, (std::vector<std::string>{"killer1"}));
  EXPECT_EQ(it.GetNext(), nullptr);
}

TEST(ObserverListTest, NestedNotificationsCompactAtTheOutermostEnd) {
  std::vector<std::string> log;
  List list;
  Recorder gone("gone", &log);
  bool nested_done = false;
  Actor nester("n", &log, [&] {
    if (nested_done) return;
    nested_done = true;
    {
      List::Iter inner(&list);
      list.RemoveObserver(&gone);
      while (Observer* observer = inner.GetNext()) observer->OnEvent(2);
    }
    // The inner pass ended but the outer one still runs: the entry is only
    // cleared, so the outer pass's index stays right.
    list.AddObserver(&gone);
  });
  list.AddObserver(&nester);
  list.AddObserver(&gone);
  list.Notify(&Observer::OnEvent, 1);
  // Outer: n1, then inner: n2 (gone removed), then outer continues past the
  // cleared slot to the re-added entry.
  EXPECT_EQ(log, (std::vector<std::string>{"n1", "n2", "gone1"}));

  log.clear();
  list.Notify(&Observer::OnEvent, 3);
  EXPECT_EQ(log, (std::vector<std::string>{"n3", "gone3"}));
}

TEST(ObserverListTest, ClearDuringNotification) {
  std::vector<std::string> log;
  List list;
  Recorder b("b", &log);
  Actor a("a", &log, [&] { list.Clear(); });
  list.AddObserver(&a);
  list.AddObserver(&b);
  list.Notify(&Observer::OnEvent, 1);
  EXPECT_EQ(log, (std::vector<std::string>{"a1"}));
  EXPECT_FALSE(list.might_have_observers());
}

}  // namespace
}  // namespace base
