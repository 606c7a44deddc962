#include "desktop/windows/installer/service/transactions/transaction.h"

#include <memory>
#include <string>
#include <vector>

#include "gtest/gtest.h"

namespace installer {
namespace {

// Records every call it receives, in one journal shared by all of them.
class RecordingOperation : public Operation {
 public:
  struct Plan {
    bool succeed = true;
    // Names of operations run into the sub-transaction first.
    std::vector<std::string> sub_operations;
  };

  RecordingOperation(std::string name, Plan plan,
                     std::vector<std::string>* journal)
      : name_(std::move(name)), plan_(std::move(plan)), journal_(journal) {}
  ~RecordingOperation() override { journal_->push_back("destroy " + name_); }

  bool Execute(Transaction* sub) override {
    journal_->push_back("execute " + name_);
    for (const std::string& name : plan_.sub_operations) {
      Transaction::RunOperation(
          sub, std::make_unique<RecordingOperation>(name, Plan(), journal_));
    }
    return plan_.succeed;
  }
  void Rollback() override { journal_->push_back("rollback " + name_); }

 private:
  const std::string name_;
  const Plan plan_;
  std::vector<std::string>* const journal_;
};

std::unique_ptr<Operation> Make(const std::string& name,
                                RecordingOperation::Plan plan,
                                std::vector<std::string>* journal) {
  return std::make_unique<RecordingOperation>(name, std::move(plan), journal);
}

TEST(TransactionTest, SubOperationsAreKeptBeforeTheirOperation) {
  std::vector<std::string> journal;
  {
    Transaction transaction;
    ASSERT_TRUE(Transaction::RunOperation(
        &transaction, Make("a", {true, {"a1", "a2"}}, &journal)));
    ASSERT_TRUE(
        Transaction::RunOperation(&transaction, Make("b", {}, &journal)));
    EXPECT_EQ(4u, transaction.size());
    journal.clear();
    Transaction::Rollback(&transaction);
    EXPECT_TRUE(transaction.empty());
  }
  // Rollback runs last to first, then destruction first to last.
  const std::vector<std::string> expected = {
      "rollback b", "rollback a", "rollback a2", "rollback a1",
      "destroy a1", "destroy a2", "destroy a",   "destroy b"};
  EXPECT_EQ(expected, journal);
}

TEST(TransactionTest, FailedOperationIsUndoneBeforeItsPreparations) {
  std::vector<std::string> journal;
  Transaction transaction;
  ASSERT_TRUE(
      Transaction::RunOperation(&transaction, Make("kept", {}, &journal)));
  journal.clear();
  EXPECT_FALSE(Transaction::RunOperation(
      &transaction, Make("bad", {false, {"s1", "s2"}}, &journal)));
  const std::vector<std::string> expected = {
      "execute bad", "execute s1", "execute s2", "rollback bad", "rollback s2",
      "rollback s1", "destroy s1", "destroy s2", "destroy bad"};
  EXPECT_EQ(expected, journal);
  // The transaction holds what it held before.
  EXPECT_EQ(1u, transaction.size());
}

TEST(TransactionTest, CommitDestroysInExecutionOrderWithoutRollback) {
  std::vector<std::string> journal;
  {
    Transaction transaction;
    ASSERT_TRUE(Transaction::RunOperation(&transaction,
                                          Make("a", {true, {"a1"}}, &journal)));
    ASSERT_TRUE(
        Transaction::RunOperation(&transaction, Make("b", {}, &journal)));
    journal.clear();
  }
  const std::vector<std::string> expected = {"destroy a1", "destroy a",
                                             "destroy b"};
  EXPECT_EQ(expected, journal);
}

// An explicit commit does the destructor's work at once; what runs into the
// transaction afterwards is a new beginning, and a rollback reaches only it.
TEST(TransactionTest, ExplicitCommitEmptiesTheTransaction) {
  std::vector<std::string> journal;
  Transaction transaction;
  ASSERT_TRUE(Transaction::RunOperation(&transaction,
                                        Make("a", {true, {"a1"}}, &journal)));
  journal.clear();
  Transaction::Commit(&transaction);
  EXPECT_TRUE(transaction.empty());
  EXPECT_EQ((std::vector<std::string>{"destroy a1", "destroy a"}), journal);
  journal.clear();
  ASSERT_TRUE(Transaction::RunOperation(&transaction, Make("b", {}, &journal)));
  Transaction::Rollback(&transaction);
  EXPECT_EQ((std::vector<std::string>{"execute b", "rollback b", "destroy b"}),
            journal);
}

TEST(TransactionTest, SecondRollbackDoesNothing) {
  std::vector<std::string> journal;
  Transaction transaction;
  ASSERT_TRUE(Transaction::RunOperation(&transaction, Make("a", {}, &journal)));
  Transaction::Rollback(&transaction);
  journal.clear();
  Transaction::Rollback(&transaction);
  EXPECT_TRUE(journal.empty());
}

TEST(TransactionTest, NestedFailureInsideSubTransactionStaysLocal) {
  // A preparation that fails inside Execute() is undone at once and never
  // reaches the outer transaction, even though the operation succeeds.
  std::vector<std::string> journal;
  class Outer : public Operation {
   public:
    explicit Outer(std::vector<std::string>* journal) : journal_(journal) {}
    bool Execute(Transaction* sub) override {
      return !Transaction::RunOperation(
          sub, Make("inner", {false, {"inner1"}}, journal_));
    }
    void Rollback() override {}

   private:
    std::vector<std::string>* journal_;
  };
  Transaction transaction;
  ASSERT_TRUE(Transaction::RunOperation(&transaction,
                                        std::make_unique<Outer>(&journal)));
  EXPECT_EQ(1u, transaction.size());
  const std::vector<std::string> expected = {
      "execute inner",   "execute inner1", "rollback inner",
      "rollback inner1", "destroy inner1", "destroy inner"};
  EXPECT_EQ(expected, journal);
}

}  // namespace
}  // namespace installer
