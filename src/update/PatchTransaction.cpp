#include "update/PatchTransaction.h"

#include <utility>

namespace mivotra {

void PatchTransaction::Begin(Connection& connection) {
  connection.BeginTrans(TransactionMode::AllOrNothing);
  m_connection = &connection;
}

void PatchTransaction::Commit() {
  m_connection->CommitTrans();
  m_connection = nullptr;
}

void PatchTransaction::Rollback() {
  Connection* const connection = std::exchange(m_connection, nullptr);
  if (connection) connection->RollbackTrans();
}

bool PatchTransaction::Abandon() noexcept {
  Connection* const connection = std::exchange(m_connection, nullptr);
  if (!connection) return true;
  try {
    connection->RollbackTrans();
    return true;
  } catch (...) {
    // Closing the connection rolls back as well.
    return false;
  }
}

}  // namespace mivotra
