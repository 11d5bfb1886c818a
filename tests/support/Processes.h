// Child processes of a test: the servers it starts and the programs it runs. A child dies with
// the test, so a crashed test leaves nothing behind.
#pragma once

#include <map>
#include <string>
#include <vector>

// Starts argv[0] with its standard streams on the given descriptors (-1: inherited) and extra
// environment variables; returns its process id.
int SpawnChild(const std::vector<std::string>& argv, int stdoutFd, int stdinFd, int stderrFd,
               const std::map<std::string, std::string>& extraEnv = {});
// Asks the child to end, then makes it, and reaps it.
void StopChild(int pid);

struct ProcessResult {
  int exitCode = -1;   // -1 when the program did not end by itself (killed after the limit)
  std::string output;  // standard output and standard error, interleaved as written
};

// Runs a program with arguments, feeding stdinText on standard input (then closing it), with
// extra environment variables. Killed after timeoutSeconds.
ProcessResult RunProgram(const std::string& program, const std::vector<std::string>& args,
                         const std::string& stdinText = "",
                         const std::map<std::string, std::string>& extraEnv = {},
                         int timeoutSeconds = 120);

// The built trox.
ProcessResult RunTrox(const std::vector<std::string>& args, const std::string& stdinText = "",
                      const std::map<std::string, std::string>& extraEnv = {});
std::string TroxPath();

// Runs a program with its standard output and error on a pseudo-terminal of the given width, in
// raw mode so that the output arrives exactly as written (no "\r" added before each "\n");
// standard input is empty. Killed after timeoutSeconds.
ProcessResult RunProgramOnTerminal(const std::string& program, const std::vector<std::string>& args,
                                   int columns, int timeoutSeconds = 120);
