// Transaction: the ordered list of operations that ran successfully, which
// can be rolled back as a whole or committed by destroying it.
//
// RunOperation() executes one operation with a sub-transaction of its own.
// On success the sub-operations and then the operation are appended, so a
// rollback in reverse order undoes the operation before its preparations.
// On failure the operation and its sub-operations are rolled back and
// destroyed, and the transaction is left as it was.
//
// Destroying a transaction destroys its operations from first to last
// without rolling anything back: that is the commit. Nothing is persisted;
// a transaction lives in the memory of one process. One thread at a time.

#ifndef DESKTOP_WINDOWS_INSTALLER_SERVICE_TRANSACTIONS_TRANSACTION_H_
#define DESKTOP_WINDOWS_INSTALLER_SERVICE_TRANSACTIONS_TRANSACTION_H_

#include <stddef.h>

#include <memory>
#include <vector>

#include "desktop/windows/installer/service/transactions/operation.h"

namespace installer {

class Transaction {
 public:
  Transaction();
  Transaction(const Transaction&) = delete;
  Transaction& operator=(const Transaction&) = delete;
  // Commit: destroys the operations from first to last.
  ~Transaction();

  // Takes |op| (never null), executes it and keeps it in |transaction| on
  // success. False (with |transaction| unchanged) when it failed.
  static bool RunOperation(Transaction* transaction,
                           std::unique_ptr<Operation> op);

  // Rolls every operation back from the last to the first, then destroys
  // them from the first to the last. The transaction is empty afterwards, so
  // a second rollback does nothing.
  static void Rollback(Transaction* transaction);

  // Commits now: destroys every operation from the first to the last, as
  // the destructor does, and leaves the transaction empty for more.
  static void Commit(Transaction* transaction);

  size_t size() const { return operations_.size(); }
  bool empty() const { return operations_.empty(); }

 private:
  // Destroys the operations from the first to the last.
  void DestroyOperations();

  std::vector<std::unique_ptr<Operation>> operations_;
};

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_SERVICE_TRANSACTIONS_TRANSACTION_H_
