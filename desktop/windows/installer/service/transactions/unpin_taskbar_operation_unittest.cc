#include "desktop/windows/installer/service/transactions/unpin_taskbar_operation.h"

#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "desktop/windows/installer/service/taskbar_pins_win.h"
#include "desktop/windows/installer/service/test/log_capture.h"
#include "desktop/windows/installer/service/transactions/transaction.h"
#include "gtest/gtest.h"

namespace installer {
namespace {

// The shell as a system that may or may not let programs pin, whose verbs
// succeed or fail as told; it records what it was asked.
class FakePins : public TaskbarPins {
 public:
  FakePins(bool can_pin, bool unpin_works, bool pin_works)
      : can_pin_(can_pin), unpin_works_(unpin_works), pin_works_(pin_works) {}

  bool CanPin() override { return can_pin_; }
  bool Pin(const base::FilePath& shortcut) override {
    calls.push_back("Pin " + shortcut.AsUTF8());
    return pin_works_;
  }
  bool Unpin(const base::FilePath& shortcut) override {
    calls.push_back("Unpin " + shortcut.AsUTF8());
    return unpin_works_;
  }

  std::vector<std::string> calls;

 private:
  const bool can_pin_;
  const bool unpin_works_;
  const bool pin_works_;
};

TEST(UnpinTaskbarOperationTest, ARollbackPinsAgainWhereTheSystemLetsIt) {
  const base::FilePath shortcut(u"C:\\pins\\Velna.lnk");
  const std::string unpin = "Unpin C:\\pins\\Velna.lnk";
  const std::string pin = "Pin C:\\pins\\Velna.lnk";
  const struct {
    const char* name;
    bool can_pin;
    bool unpin_works;
    bool pin_works;
    bool rollback;
    bool executed;
    std::vector<std::string> calls;
    const char* warning;  // null: none
  } cases[] = {
      {"committed", true, true, true, false, true, {unpin}, nullptr},
      {"rolled back", true, true, true, true, true, {unpin, pin}, nullptr},
      {"pin again refused",
       true,
       true,
       false,
       true,
       true,
       {unpin, pin},
       "Could not pin C:\\pins\\Velna.lnk again"},
      {"no pinning on this system",
       false,
       true,
       true,
       true,
       true,
       {unpin},
       "Cannot pin C:\\pins\\Velna.lnk again: this system lets no program "
       "pin"},
      // Nothing was unpinned, so nothing is pinned back.
      {"unpin refused",
       true,
       false,
       true,
       true,
       false,
       {unpin},
       "Could not unpin C:\\pins\\Velna.lnk"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    test::ScopedLogCapture logs;
    FakePins pins(c.can_pin, c.unpin_works, c.pin_works);
    {
      Transaction transaction;
      EXPECT_EQ(c.executed,
                Transaction::RunOperation(
                    &transaction,
                    std::make_unique<UnpinTaskbarOperation>(&pins, shortcut)));
      EXPECT_EQ(c.executed ? 1u : 0u, transaction.size());
      if (c.rollback) {
        Transaction::Rollback(&transaction);
        // A second rollback finds nothing to undo.
        Transaction::Rollback(&transaction);
      }
    }
    EXPECT_EQ(c.calls, pins.calls);
    const std::vector<std::string> warnings =
        logs.Messages(logging::LOG_WARNING);
    if (c.warning)
      EXPECT_EQ(std::vector<std::string>{c.warning}, warnings);
    else
      EXPECT_TRUE(warnings.empty());
  }
}

}  // namespace
}  // namespace installer
