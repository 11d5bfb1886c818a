// Reading and writing transfer files (".trx").
#pragma once

#include <string>

class CTransferJob;

// Applies the file to the job (only sets and appends). 0, or 2 when the file names no server
// and no upgrade check, or holds both INCLUDE and EXCLUDE entries.
int ReadTransferFile(const std::string& fileName, CTransferJob& job);
// Writes the job into the file. 0, or 6 at the first write that fails, with the system's reason
// (an errno value) as the thread's last error.
int WriteTransferFile(const std::string& fileName, const CTransferJob& job);
