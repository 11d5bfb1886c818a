// The command line of trox, applied to a job: the one place that reads argv, apart from main.
#pragma once

class CTransferJob;

// Exit codes; each has its closing message at string 1001 + code.
constexpr int kResultOk = 0;
constexpr int kResultBadArguments = 2;
constexpr int kResultOutOfMemory = 3;
constexpr int kResultInternetError = 4;
constexpr int kResultTransferFailed = 5;

// Applies the options in order. Only the second character of an option counts. The result starts
// at 2 and becomes 0 only through a server, an upgrade check or a transfer file that the reader
// accepts; the last of these decides. An option whose value is missing counts as bad arguments.
int ParseCommandLine(int argc, char** argv, CTransferJob& job);
