// trox: runs one transfer job built from the command line and, optionally, a transfer file, and
// ends with a numbered closing message whose number is the exit code.
#include <malloc.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <string_view>
#include <vector>

#include "CommandLine.h"
#include "PasswordPrompt.h"
#include "Progress.h"
#include "Signals.h"
#include "TlsOptions.h"
#include "trox/DisplayText.h"
#include "trox/Internet.h"
#include "trox/Messages.h"
#include "trox/TransferJob.h"
#include "trox/TransferLog.h"

namespace {

constexpr const char* kProductName = "Varnook FTP";
constexpr const char* kVersion = TROX_VERSION;  // from the build
constexpr const char* kNotice = "- unattended file transfer to and from FTP servers";

constexpr size_t kBannerBuffer = 256;
// In quiet mode, the most lines of one file or command kept back in case it fails.
constexpr size_t kHeldLines = 32;

// --quiet: standard output stays empty (for cron, which mails whatever a job prints); what tells
// of a failure goes to standard error instead.
bool g_quiet = false;
std::vector<std::string> g_held;  // the lines of the file or command in hand
std::string g_partialLine;

FILE* Out() {
  return g_quiet ? stderr : stdout;
}

void Write(const std::string& text) {
  fwrite(text.data(), 1, text.size(), Out());
}

void WriteLineEnd() {
  fputs("\n", Out());
  fflush(Out());
}

bool StartsWith(std::string_view text, std::string_view start) {
  return text.substr(0, start.size()) == start;
}

// A message of the table up to its first placeholder, to recognise the message by.
std::string TemplateHead(int number) {
  const std::string text = MessageTemplate(number);
  return text.substr(0, text.find('%'));
}

// Connecting, sending, receiving, again in another mode, creating a folder.
bool StartsAnItem(const std::string& line) {
  for (int number : {3, 5, 6, 7, 10})
    if (StartsWith(line, TemplateHead(number))) return true;
  return false;
}

// The engine's failure reports: a file or folder that failed, and the error lines of a failed
// operation or command.
bool IsFailure(const std::string& line) {
  for (int number : {8, 9, 11, 12, 13})
    if (StartsWith(line, TemplateHead(number))) return true;
  for (std::string_view head :
       {"ERROR ", "EXTENDED ERROR ", "DETAIL : ", "Upgrade check failed", "Cannot read this line"})
    if (StartsWith(line, head)) return true;
  return false;
}

// Quiet mode keeps the lines of the item in hand; a failure sends them, with the failure, to
// standard error so that it is clear which file or command failed.
void HoldQuietLine(const std::string& line) {
  if (StartsAnItem(line)) g_held.clear();
  g_held.push_back(line);
  if (IsFailure(line)) {
    for (const std::string& held : g_held) fprintf(stderr, "%s\n", held.c_str());
    fflush(stderr);
    g_held.clear();
  } else if (g_held.size() > kHeldLines) {
    g_held.erase(g_held.begin());
  }
}

// The job's console output: standard output (or, quiet, standard error for failures), and the
// log when the job has one.
void ConsoleOutput(const char* text, int endOfLine, std::string logFile) {
  if (g_quiet) {
    g_partialLine += text;
    if (endOfLine) {
      HoldQuietLine(g_partialLine);
      g_partialLine.clear();
    }
  } else {
    ClearProgressLine(endOfLine);
    fputs(text, stdout);
    if (endOfLine) WriteLineEnd();
  }
  if (!logFile.empty()) WriteLogLine(text, endOfLine, logFile);
}

// A line of trox's own about a failure: shown like the closing message, and logged.
void ReportLine(const std::string& line, const std::string& logFile) {
  Write(line);
  WriteLineEnd();
  if (!logFile.empty()) WriteLogLine(line.c_str(), 1, logFile);
}

void WriteBanner() {
  std::string banner = LoadMessage(1, {kProductName, kVersion, kNotice});
  if (banner.size() >= kBannerBuffer) banner.resize(kBannerBuffer - 1);
  Write("\n");
  Write(banner);
  Write("\n");
  fflush(stdout);
}

void WriteUsage() {
  Write(
      "trox -f <options file> [options]\n"
      "trox -s <server> [options]\n"
      "\n"
      "\t-l <local path>\n"
      "\t-r <remote path>\n"
      "\t-u <user name>\n"
      "\t-p <password>\n"
      "\t-q <encrypted password>\n"
      "\t-t <port>\n"
      "\t-o <log file>\n"
      "\t-g (get from server)\n"
      "\t-i (ignore transfer errors)\n"
      "\t-v (verbose output)\n"
      "\t-a (only send if archive bit set)\n"
      "\t-y (prompt for password)\n"
      "\t-d (check for upgrade availability)\n"
      "\n"
      "\n");
  fflush(Out());
}

void WriteHelp() {
  WriteUsage();
  Write(
      "\t-n (transfer one file: -l and -r name the file)\n"
      "\t-x (passive data connections)\n"
      "\t-h, --help (show this help)\n"
      "\t--version (show the version)\n"
      "\t--binary (always transfer in binary mode)\n"
      "\t--ascii (always transfer in ASCII mode)\n"
      "\t--quiet (nothing on standard output; failures on standard error)\n"
      "\t--password-file <file> (the password is the file's first line)\n");
  Write(kTlsUsage);
  Write(
      "\n"
      "A long option takes its value as --name=value or --name value.\n"
      "\n"
      "The password comes from the first of: -p or -q, --password-file, the environment\n"
      "variable TROX_PASSWORD, the transfer file, ~/.netrc (machine or default entry for the\n"
      "server and, when -u gives one, the user; not used when group or others can read it),\n"
      "and last the prompt of -y (or PASSPROMPT).\n"
      "\n"
      "Text sent in ASCII mode goes with CRLF line ends; vsftpd stores it so unless its\n"
      "ASCII options (ascii_upload_enable, ascii_download_enable) are on.\n"
      "\n"
      "Exit codes: 0 OK, 2 bad command line, 3 out of memory, 4 connection or log-in failed\n"
      "(or another internet error ended the run), 5 transfer errors.\n");
  fflush(stdout);
}

// The log's first line of a run: which job, which way, which folders; never the password.
std::string StartLine(const CTransferJob& job) {
  std::string line = "Start:";
  if (!job.m_jobFile.empty()) line += " transfer file " + job.m_jobFile + ",";
  if (job.GetServer().empty()) return line + " upgrade check only";
  std::string server = job.GetServer() + " port " + std::to_string(job.m_port);
  if (!job.GetUser().empty()) server = job.GetUser() + "@" + server;
  const std::string remote =
      job.GetServerPath().empty() ? "the log-in folder" : "remote " + job.GetServerPath();
  const std::string local =
      job.GetLocalPath().empty() ? "the current folder" : "local " + job.GetLocalPath();
  if (job.m_get)
    line += " get " + remote + " from " + server + " into " + local;
  else
    line += " send " + local + " to " + remote + " on " + server;
  return DisplayText(line);
}

// A log that cannot be written would go missing without a word; the run itself is not stopped.
void CheckLogFile(const std::string& path) {
  if (path.empty()) return;
  FILE* file = fopen(path.c_str(), "a");
  if (file != nullptr) {
    fclose(file);
    return;
  }
  const int error = errno;
  fprintf(stderr, "trox: cannot write log file %s: %s; the transfer goes on without a log\n",
          DisplayText(path).c_str(), strerror(error));
  fflush(stderr);
}

std::string ClosingMessage(int result, uint32_t internetError) {
  std::string first = MessageTemplate(1000);
  if (first.empty()) return "Error : Unknown error accessing string table.";
  std::string message = MessageTemplate(atoi(first.c_str()) + result);
  if (message.empty()) return "Error : Unknown error.";
  // The internet table's text even for a system error number: the message says "WinInet".
  if (result == kResultInternetError)
    message += std::to_string(internetError) + " - " + InternetErrorText(internetError) + ".";
  return message;
}

// The closing message, and below it what the server answered when it refused the log-in; quiet
// and successful, nothing at all. The log gets the same lines when the run was logged.
void WriteClosingMessage(int result, uint32_t internetError, const std::string& serverReply,
                         const std::string& logFile) {
  std::vector<std::string> lines = {ClosingMessage(result, internetError)};
  if (!serverReply.empty()) lines.push_back(serverReply);
  for (const std::string& line : lines) {
    if (!logFile.empty()) WriteLogLine(line.c_str(), 1, logFile);
    if (g_quiet && result == kResultOk) continue;
    Write(line);
    WriteLineEnd();
  }
  if (!g_quiet || result != kResultOk) WriteLineEnd();
}

// What the error number alone does not tell, in a line before the closing message: the server's
// refusal, or where the connection was to go. Returns the server's reply to a refused log-in,
// which goes below the closing message.
std::string ExplainInternetFailure(const CInternetException& e, const CTransferJob& job,
                                   const std::string& logFile) {
  const std::string text = DisplayText(e.m_text);
  switch (e.m_dwError) {
    case ERROR_INTERNET_EXTENDED_ERROR:
    // "421 Too many users" and the like; for a refused certificate its fingerprint, subject and
    // expiry, which the user needs to check and pin it.
    case ERROR_INTERNET_SECURITY_CHANNEL_ERROR:
    case ERROR_INTERNET_INVALID_CA:
    case ERROR_INTERNET_SEC_CERT_CN_INVALID:
    case ERROR_INTERNET_SEC_CERT_DATE_INVALID:
    case ERROR_INTERNET_SEC_INVALID_CERT:
      if (!text.empty()) ReportLine(text, logFile);
      return "";
    case ERROR_INTERNET_NAME_NOT_RESOLVED:
    case ERROR_INTERNET_CANNOT_CONNECT:
    case ERROR_INTERNET_TIMEOUT: {
      std::string where =
          "Connection to " + DisplayText(job.GetServer()) + " port " + std::to_string(job.m_port);
      if (!job.GetProxy().empty()) where += " through proxy " + DisplayText(job.GetProxy());
      // The layer's text names the place too ("cannot connect to h port p: reason").
      std::string reason = text;
      if (StartsWith(reason, "cannot connect to ") && reason.rfind(": ") != std::string::npos)
        reason = reason.substr(reason.rfind(": ") + 2);
      ReportLine(where + " failed" + (reason.empty() ? "" : ": " + reason), logFile);
      return "";
    }
    case ERROR_INTERNET_INCORRECT_PASSWORD:
    case ERROR_INTERNET_LOGIN_FAILURE:
      return text;
    default:
      return "";
  }
}

int RunProgram(int argc, char** argv) {
  CTransferJob job;
  job.SetConsoleOutput(ConsoleOutput);

  std::string problem;
  CommandLineExtras extras;
  int result = ParseCommandLine(argc, argv, job, &problem, &extras);
  // The job holds its own copy of the password; the process list must not show it for the run.
  HideSecretArguments(argc, argv);
  g_quiet = extras.quiet;
  if (result == kResultOk && extras.action == CommandLineExtras::kHelp) {
    g_quiet = false;
    WriteHelp();
    return kResultOk;
  }
  if (result == kResultOk && extras.action == CommandLineExtras::kVersion) {
    printf("%s version %s\n", kProductName, kVersion);
    return kResultOk;
  }
  if (!g_quiet) WriteBanner();

  uint32_t internetError = 0;
  std::string serverReply;
  std::string runLog;  // the log of a run that began; it gets the closing lines
  if (result != kResultOk) {
    WriteUsage();
    if (argc <= 1) return kResultBadArguments;
    if (!problem.empty()) {
      fputs((problem + "\n").c_str(), stderr);
      fflush(stderr);
    }
  } else {
    std::string warning;
    const char* home = getenv("HOME");
    const std::string netrc = home != nullptr && *home != '\0' ? std::string(home) + "/.netrc" : "";
    const PasswordSource source = ChoosePassword(job, extras, netrc, &warning);
    if (!warning.empty()) {
      fputs((warning + "\n").c_str(), stderr);
      fflush(stderr);
    }
    runLog = job.GetLogFile();
    CheckLogFile(runLog);
    if (!runLog.empty()) WriteLogLine(StartLine(job).c_str(), 1, runLog);
    if (job.m_passPrompt && source == PasswordSource::kNone) job.SetPassword(PromptPassword(Out()));
    try {
      // Gone (and erased) before anything below reports how the run ended.
      const CProgressLine progressLine(job, g_quiet);
      result = job.Run();
    } catch (const CInternetException& e) {
      result = kResultInternetError;
      internetError = e.m_dwError;
      serverReply = ExplainInternetFailure(e, job, runLog);
    } catch (const std::bad_alloc&) {
      throw;
    } catch (...) {
      // Any other failure that stops the run (a local file that cannot be read, for one) still
      // ends in a closing message and a failure code, never in an abort.
      result = kResultTransferFailed;
    }
  }

  WriteClosingMessage(result, internetError, serverReply, runLog);
  return result;
}

}  // namespace

int main(int argc, char** argv) {
  // Each file's transfer buffers are freed at its end; with the default threshold the heap was
  // given back to the system and taken again for every file, which cost a many-file receive
  // about a third of its system time.
  mallopt(M_TRIM_THRESHOLD, 1 << 20);
  InstallSignalHandlers();
  try {
    return RunProgram(argc, argv);
  } catch (const std::bad_alloc&) {
    Write("Error 003 : Out of memory.");
    WriteLineEnd();
    WriteLineEnd();
    return kResultOutOfMemory;
  }
}
