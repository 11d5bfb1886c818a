#include "TransferJob.h"

// Placeholder until the script runner lands: there are no commands to send.
int CTransferJob::SendCommand(const std::string&, int) { return 0; }
int CTransferJob::RunConnScripts() { return m_connScripts.empty() ? 1 : 0; }
int CTransferJob::RunTranScripts(const std::string&) { return m_tranScripts.empty() ? 1 : 0; }
int CTransferJob::RunDiscScripts() { return m_discScripts.empty() ? 1 : 0; }
