// Keeping the main connection alive across a run.
#include "TransferJob.h"
#include "ftp/Internet.h"

bool CTransferJob::EnsureConnection() {
  return m_connection != nullptr;
}
