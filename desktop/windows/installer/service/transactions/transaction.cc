#include "desktop/windows/installer/service/transactions/transaction.h"

#include <iterator>
#include <utility>

#include "base/logging.h"

namespace installer {

Transaction::Transaction() = default;

Transaction::~Transaction() { DestroyOperations(); }

// static
bool Transaction::RunOperation(Transaction* transaction,
                               std::unique_ptr<Operation> op) {
  CHECK(op);
  Transaction sub;
  if (!op->Execute(&sub)) {
    // The operation first, then its preparations: the reverse of their order.
    op->Rollback();
    Rollback(&sub);
    return false;
  }
  std::vector<std::unique_ptr<Operation>>& kept = transaction->operations_;
  kept.insert(kept.end(), std::make_move_iterator(sub.operations_.begin()),
              std::make_move_iterator(sub.operations_.end()));
  sub.operations_.clear();
  kept.push_back(std::move(op));
  return true;
}

// static
void Transaction::Rollback(Transaction* transaction) {
  std::vector<std::unique_ptr<Operation>>& kept = transaction->operations_;
  for (auto it = kept.rbegin(); it != kept.rend(); ++it) (*it)->Rollback();
  transaction->DestroyOperations();
}

// static
void Transaction::Commit(Transaction* transaction) {
  transaction->DestroyOperations();
}

void Transaction::DestroyOperations() {
  // The standard leaves the order in which a vector destroys its elements
  // open; commit work must run in execution order.
  for (std::unique_ptr<Operation>& op : operations_) op.reset();
  operations_.clear();
}

}  // namespace installer
