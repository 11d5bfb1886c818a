// The command line of trox, applied to a job: the one place that reads argv, apart from main.
#pragma once

#include <string>

class CTransferJob;

// Exit codes; each has its closing message at string 1001 + code.
constexpr int kResultOk = 0;
constexpr int kResultBadArguments = 2;
constexpr int kResultOutOfMemory = 3;
constexpr int kResultInternetError = 4;
constexpr int kResultTransferFailed = 5;

// Applies the options in order, read the POSIX way: letters may share one argument ("-gxi"), a
// value follows its letter in the same argument ("-t2121", "-r/pub") or is the next argument whole
// (whatever it begins with), and "--" ends the options. There are no operands, so any other word,
// a lone "-", an unknown letter, a missing value or a port outside 1 to 65535 is bad arguments
// and stops the parse. The result starts at 2 and becomes 0 only through a server, an upgrade
// check or a transfer file that the reader accepts; the last of these decides. When the result is
// not 0 and problem is given, it gets one line (without a line end) saying what was wrong; it
// stays empty for an empty command line.
int ParseCommandLine(int argc, char** argv, CTransferJob& job, std::string* problem = nullptr);

// Overwrites the values of -p and -q in argv where they stand, so that the process list no longer
// shows the password. Call it once the job holds its copies (after ParseCommandLine).
void HideSecretArguments(int argc, char** argv);
