// trox: runs one transfer job built from the command line and, optionally, a transfer file, and
// ends with a numbered closing message whose number is the exit code.
#include <malloc.h>

#include <cstdio>
#include <cstdlib>
#include <new>
#include <string>

#include "CommandLine.h"
#include "PasswordPrompt.h"
#include "Signals.h"
#include "trox/Internet.h"
#include "trox/Messages.h"
#include "trox/TransferJob.h"
#include "trox/TransferLog.h"

namespace {

constexpr const char* kProductName = "Varnook FTP";
constexpr const char* kVersion = TROX_VERSION;  // from the build
constexpr const char* kNotice = "- unattended file transfer to and from FTP servers";

constexpr size_t kBannerBuffer = 256;

void Write(const std::string& text) {
  fwrite(text.data(), 1, text.size(), stdout);
}

void WriteLineEnd() {
  fputs("\n", stdout);
  fflush(stdout);
}

// The job's console output: standard output, and the log when the job has one.
void ConsoleOutput(const char* text, int endOfLine, std::string logFile) {
  fputs(text, stdout);
  if (endOfLine) WriteLineEnd();
  if (!logFile.empty()) WriteLogLine(text, endOfLine, logFile);
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
  fflush(stdout);
}

void WriteClosingMessage(int result, uint32_t internetError) {
  std::string first = MessageTemplate(1000);
  if (first.empty()) {
    Write("Error : Unknown error accessing string table.");
  } else {
    std::string message = MessageTemplate(atoi(first.c_str()) + result);
    if (message.empty()) {
      Write("Error : Unknown error.");
    } else {
      Write(message);
      // The internet table's text even for a system error number: the message says "WinInet".
      if (result == kResultInternetError)
        Write(std::to_string(internetError) + " - " + InternetErrorText(internetError) + ".");
    }
  }
  WriteLineEnd();
  WriteLineEnd();
}

int RunProgram(int argc, char** argv) {
  CTransferJob job;
  job.SetConsoleOutput(ConsoleOutput);

  WriteBanner();

  std::string problem;
  int result = ParseCommandLine(argc, argv, job, &problem);
  // The job holds its own copy of the password; the process list must not show it for the run.
  HideSecretArguments(argc, argv);
  uint32_t internetError = 0;
  if (result != kResultOk) {
    WriteUsage();
    if (argc <= 1) return kResultBadArguments;
    if (!problem.empty()) {
      fputs((problem + "\n").c_str(), stderr);
      fflush(stderr);
    }
  } else {
    if (job.m_passPrompt) job.SetPassword(PromptPassword());
    try {
      result = job.Run();
    } catch (const CInternetException& e) {
      result = kResultInternetError;
      internetError = e.m_dwError;
      // "Extended error" alone does not say why: the server's refusal ("421 Too many users")
      // comes before the closing message. So does a refused certificate's fingerprint, which
      // the user needs to pin it.
      const bool secure = e.m_dwError == ERROR_INTERNET_SECURITY_CHANNEL_ERROR ||
                          e.m_dwError == ERROR_INTERNET_INVALID_CA ||
                          e.m_dwError == ERROR_INTERNET_SEC_CERT_CN_INVALID ||
                          e.m_dwError == ERROR_INTERNET_SEC_CERT_DATE_INVALID ||
                          e.m_dwError == ERROR_INTERNET_SEC_INVALID_CERT;
      if ((e.m_dwError == ERROR_INTERNET_EXTENDED_ERROR || secure) && !e.m_text.empty())
        job.Output(e.m_text, 1);
    } catch (const std::bad_alloc&) {
      throw;
    } catch (...) {
      // Any other failure that stops the run (a local file that cannot be read, for one) still
      // ends in a closing message and a failure code, never in an abort.
      result = kResultTransferFailed;
    }
  }

  WriteClosingMessage(result, internetError);
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
    fputs("Error 003 : Out of memory.", stdout);
    WriteLineEnd();
    WriteLineEnd();
    return kResultOutOfMemory;
  }
}
