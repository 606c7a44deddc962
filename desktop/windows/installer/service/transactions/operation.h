// Operation: one undoable change to the machine, run through a Transaction.
//
// An operation is built by its caller, handed to Transaction::RunOperation,
// and owned by a transaction from then on. Execute() makes the change (and
// runs any preparatory change, such as creating a parent folder or moving an
// existing file aside, as operations of their own into |sub|); Rollback()
// undoes what Execute() did and is called at most once, also after a failed
// Execute(). The destructor does the commit work: whatever was left for the
// end (removing a file moved aside, restoring a widened access list). It runs
// after a rollback too, and must then find nothing left to do.
//
// Operations are used from one thread at a time; nothing is locked.

#ifndef DESKTOP_WINDOWS_INSTALLER_SERVICE_TRANSACTIONS_OPERATION_H_
#define DESKTOP_WINDOWS_INSTALLER_SERVICE_TRANSACTIONS_OPERATION_H_

namespace installer {

class Transaction;

class Operation {
 public:
  Operation() = default;
  Operation(const Operation&) = delete;
  Operation& operator=(const Operation&) = delete;
  // Commit work of the derived kind.
  virtual ~Operation() = default;

  // Makes the change; false after an error line when it could not. |sub|
  // collects the preparatory operations, which are kept before this one on
  // success and rolled back with it on failure.
  virtual bool Execute(Transaction* sub) = 0;

  // Undoes what Execute() changed, as far as it can; reports nothing.
  virtual void Rollback() = 0;
};

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_SERVICE_TRANSACTIONS_OPERATION_H_
