#include "TransferJob.h"

// Placeholder until the download walk lands: nothing is received and nothing claims to be.
int CTransferJob::ReceiveFiles() { return 0; }
