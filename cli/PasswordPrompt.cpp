// Keystroke handling for the password prompt.
//
// The terminal is put into non-canonical mode without echo for the time of the prompt and is
// always put back, also when the user interrupts with Ctrl-C (signals stay enabled, so Ctrl-C
// still ends the program). Keys that produce no character, such as arrow or function keys, arrive
// as escape sequences; they are read whole and ignored, so none of their bytes end up in the
// password.
#include "PasswordPrompt.h"

#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>

#include "trox/LocalFile.h"

namespace {

constexpr unsigned char kBackspace = 8;
constexpr unsigned char kDelete = 127;
constexpr unsigned char kEscape = 27;
// How long to wait for the rest of an escape sequence after ESC; a lone ESC key sends nothing
// more.
constexpr int kEscapeFollowMs = 50;

termios g_savedTerminal;
struct sigaction g_previousInt;
struct sigaction g_previousTerm;

void RestoreTerminal() {
  tcsetattr(STDIN_FILENO, TCSANOW, &g_savedTerminal);
}

extern "C" void RestoreAndReraise(int signalNumber) {
  tcsetattr(STDIN_FILENO, TCSANOW, &g_savedTerminal);
  signal(signalNumber, SIG_DFL);
  raise(signalNumber);
}

// Standard output, or standard error when standard output is to stay empty (--quiet).
FILE* g_promptOut = stdout;

void Write(const char* text) {
  fputs(text, g_promptOut);
  fflush(g_promptOut);
}

// One byte from standard input; false at the end of input or on an error.
bool ReadByte(unsigned char& byte) {
  return ReadSome(STDIN_FILENO, &byte, 1) == 1;
}

// True when another byte arrives within the escape-sequence wait.
bool ByteFollows() {
  pollfd fd{STDIN_FILENO, POLLIN, 0};
  return poll(&fd, 1, kEscapeFollowMs) > 0;
}

// Reads what follows an ESC: "ESC [ params final" (CSI), "ESC O x" (SS3) or "ESC x" (Alt+x).
void SkipEscapeSequence() {
  unsigned char byte;
  if (!ByteFollows() || !ReadByte(byte)) return;
  if (byte == 'O') {
    if (ByteFollows()) ReadByte(byte);
    return;
  }
  if (byte != '[') return;
  while (ByteFollows() && ReadByte(byte)) {
    if (byte >= 0x40 && byte <= 0x7E) return;  // the final byte of a CSI sequence
  }
}

std::string ReadKeystrokes() {
  std::string typed;
  for (;;) {
    fflush(g_promptOut);
    unsigned char key;
    if (!ReadByte(key)) break;
    if (key == '\r' || key == '\n') break;
    if (key == kBackspace || key == kDelete) {
      if (!typed.empty()) {
        typed.pop_back();
        fputs("\b \b", g_promptOut);
      }
      continue;
    }
    if (key == kEscape) {
      SkipEscapeSequence();
      continue;
    }
    typed += static_cast<char>(key);
    fputs("*", g_promptOut);
  }
  return typed;
}

std::string ReadLine() {
  std::string line;
  unsigned char byte;
  while (ReadByte(byte) && byte != '\n') line += static_cast<char>(byte);
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return line;
}

}  // namespace

std::string PromptPassword(FILE* out) {
  g_promptOut = out;
  std::string password;
  if (isatty(STDIN_FILENO) && tcgetattr(STDIN_FILENO, &g_savedTerminal) == 0) {
    struct sigaction restore {};
    restore.sa_handler = RestoreAndReraise;
    sigemptyset(&restore.sa_mask);
    sigaction(SIGINT, &restore, &g_previousInt);
    sigaction(SIGTERM, &restore, &g_previousTerm);

    // Echo goes off before the prompt shows, so that nothing typed after it can be echoed.
    termios raw = g_savedTerminal;
    raw.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO | ECHONL);
    raw.c_cc[VMIN] = 1;
    raw.c_cc[VTIME] = 0;
    tcsetattr(STDIN_FILENO, TCSAFLUSH, &raw);
    Write("Password: ");

    password = ReadKeystrokes();

    RestoreTerminal();
    sigaction(SIGINT, &g_previousInt, nullptr);
    sigaction(SIGTERM, &g_previousTerm, nullptr);
  } else {
    Write("Password: ");
    password = ReadLine();
  }

  Write("\n");
  Write("\n");
  return password;
}
