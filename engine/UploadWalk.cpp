#include "TransferJob.h"

// Placeholder until the upload walk lands: nothing is sent and nothing claims to be.
int CTransferJob::SendFiles() { return 0; }
