// The command line of trox, applied to a job: the one place that reads argv, apart from main.
#pragma once

#include <optional>
#include <string>

class CTransferJob;

// Exit codes; each has its closing message at string 1001 + code.
constexpr int kResultOk = 0;
constexpr int kResultBadArguments = 2;
constexpr int kResultOutOfMemory = 3;
constexpr int kResultInternetError = 4;
constexpr int kResultTransferFailed = 5;

// What the command line asks of the program beyond the job.
struct CommandLineExtras {
  enum Action { kRun, kHelp, kVersion };
  Action action = kRun;
  bool quiet = false;  // nothing on standard output; failures on standard error
  // The password given on the command line (-p or -q, the last one), and the first line of the
  // --password-file; each wins over every other source wherever it stands.
  std::optional<std::string> commandLinePassword;
  std::optional<std::string> filePassword;
};

// Applies the options in order, read the POSIX way: letters may share one argument ("-gxi"), a
// value follows its letter in the same argument ("-t2121", "-r/pub") or is the next argument whole
// (whatever it begins with), and "--" ends the options. There are no operands, so any other word,
// a lone "-", an unknown letter, a missing value or a port outside 1 to 65535 is bad arguments
// and stops the parse. Long options ("--quiet", "--password-file=F" or "--password-file F") go
// into extras; --help, -h and --version stop the parse with the result 0. The result starts at 2
// and becomes 0 only through a server, an upgrade check or a transfer file that the reader accepts;
// the last of these decides. When the result is not 0 and problem is given, it gets one line
// (without a line end) saying what was wrong; it stays empty for an empty command line.
int ParseCommandLine(int argc, char** argv, CTransferJob& job, std::string* problem = nullptr,
                     CommandLineExtras* extras = nullptr);

// Where the password of a run came from, highest precedence first.
enum class PasswordSource {
  kCommandLine,
  kPasswordFile,
  kEnvironment,
  kTransferFile,
  kNetrc,
  kNone
};

// Chooses the job's password from the sources in the order of PasswordSource: the command line,
// the password file, TROX_PASSWORD, the transfer file (what the job holds after the parse), then
// the netrc file (netrcPath, for the job's server and, when one is set, its user; an entry's
// login fills an empty user). A netrc file that others can read is not used; warning then says
// so. kNone means no source had one: the prompt may ask.
PasswordSource ChoosePassword(CTransferJob& job, const CommandLineExtras& extras,
                              const std::string& netrcPath, std::string* warning);

// Overwrites the values of -p and -q in argv where they stand, so that the process list no longer
// shows the password. Call it once the job holds its copies (after ParseCommandLine).
void HideSecretArguments(int argc, char** argv);
