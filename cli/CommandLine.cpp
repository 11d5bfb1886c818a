#include "CommandLine.h"

#include <cstdint>
#include <cstring>
#include <string_view>

#include "trox/DisplayText.h"
#include "trox/PasswordCrypto.h"
#include "trox/TransferFile.h"
#include "trox/TransferJob.h"

namespace {

constexpr std::string_view kFlags = "dgivaynx";
constexpr std::string_view kValued = "sflrupqto";

// An argument as quoted in the one-line message about it: escaped like server text, and its line
// breaks too.
std::string Quoted(std::string_view text) {
  std::string shown;
  for (char c : DisplayText(text)) {
    if (c == '\n')
      shown += "\\x0a";
    else if (c == '\r')
      shown += "\\x0d";
    else
      shown += c;
  }
  return shown;
}

// Walks argv one option at a time, as getopt does but without its global state, its permuting and
// its own messages.
class OptionReader {
 public:
  enum Step { kOption, kEnd, kBad };

  OptionReader(int argc, char** argv) : m_argc(argc), m_argv(argv) {}

  // The next option letter and its value (nullptr for a flag); the value points into argv.
  Step Next(char& letter, char*& value, std::string& problem) {
    value = nullptr;
    if (m_pos == 0) {
      for (;;) {
        if (m_index >= m_argc) return kEnd;
        const char* arg = m_argv[m_index];
        if (!m_endOfOptions && std::strcmp(arg, "--") == 0) {
          m_endOfOptions = true;
          ++m_index;
          continue;
        }
        if (m_endOfOptions || arg[0] != '-' || arg[1] == '\0') {
          problem = "unexpected argument '" + Quoted(arg) + "'";
          return kBad;
        }
        if (arg[1] == '-') {
          problem = "unknown option " + Quoted(arg);
          return kBad;
        }
        m_pos = 1;
        break;
      }
    }
    char* arg = m_argv[m_index];
    letter = arg[m_pos];
    if (kValued.find(letter) != std::string_view::npos) {
      if (arg[m_pos + 1] != '\0') {
        value = arg + m_pos + 1;
      } else if (m_index + 1 < m_argc) {
        value = m_argv[++m_index];
      } else {
        problem = std::string("option -") + letter + " needs a value";
        return kBad;
      }
      ++m_index;
      m_pos = 0;
      return kOption;
    }
    if (kFlags.find(letter) == std::string_view::npos) {
      problem = "unknown option -" + Quoted(std::string_view(&letter, 1));
      return kBad;
    }
    if (arg[++m_pos] == '\0') {
      ++m_index;
      m_pos = 0;
    }
    return kOption;
  }

 private:
  int m_argc;
  char** m_argv;
  int m_index = 1;
  int m_pos = 0;  // the next letter's place in m_argv[m_index]; 0 before a new argument
  bool m_endOfOptions = false;
};

// A port is decimal digits only, with a value from 1 to 65535; nothing wraps or is cut off.
bool ReadPort(const char* text, uint16_t& port) {
  if (*text == '\0') return false;
  uint32_t value = 0;
  for (const char* c = text; *c != '\0'; ++c) {
    if (*c < '0' || *c > '9') return false;
    value = value * 10 + static_cast<uint32_t>(*c - '0');
    if (value > 65535) return false;
  }
  if (value == 0) return false;
  port = static_cast<uint16_t>(value);
  return true;
}

}  // namespace

int ParseCommandLine(int argc, char** argv, CTransferJob& job, std::string* problem) {
  std::string why;
  int result = kResultBadArguments;
  char decidedBy = '\0';
  std::string transferFile;
  OptionReader reader(argc, argv);
  char letter = '\0';
  char* valueText = nullptr;
  for (bool stop = false; !stop;) {
    OptionReader::Step step = reader.Next(letter, valueText, why);
    if (step == OptionReader::kBad) {
      result = kResultBadArguments;
      break;
    }
    if (step == OptionReader::kEnd) break;
    std::string value = valueText != nullptr ? valueText : "";
    switch (letter) {
      case 's':
        job.SetServer(value);
        result = kResultOk;
        decidedBy = letter;
        break;
      case 'f':
        job.SetJobFile(value);
        result = ReadTransferFile(value, job);
        decidedBy = letter;
        transferFile = value;
        break;
      case 'd':
        job.SetUpgrade();
        result = kResultOk;
        decidedBy = letter;
        break;
      case 'l':
        job.SetLocalPath(value);
        break;
      case 'r':
        job.SetServerPath(value);
        break;
      case 'u':
        job.SetUser(value);
        break;
      case 'p':
        job.SetPassword(value);
        break;
      case 'q':
        DecryptPassword(value);
        job.SetPassword(value);
        break;
      case 't': {
        uint16_t port = 0;
        if (!ReadPort(valueText, port)) {
          why = "option -t needs a port number from 1 to 65535, not " +
                (value.empty() ? std::string("an empty value") : Quoted(value));
          result = kResultBadArguments;
          stop = true;
          break;
        }
        job.SetPort(port);
        break;
      }
      case 'o':
        job.SetLogFile(value);
        break;
      case 'g':
        job.SetGet();
        break;
      case 'i':
        job.SetIgnore();
        break;
      case 'v':
        job.SetVerbose();
        break;
      case 'a':
        job.SetArchive();
        break;
      case 'y':
        job.SetPassPrompt();
        break;
      case 'n':
        job.SetSingle();
        break;
      case 'x':
        job.SetPassive();
        break;
    }
  }
  if (result != kResultOk && why.empty() && argc > 1) {
    if (decidedBy == 'f')
      why = "the transfer file " + Quoted(transferFile) +
            " cannot be read, names no server, a port outside 0 to 65535, or both INCLUDE and "
            "EXCLUDE";
    else
      why = "no server given (-s, -f or -d)";
  }
  if (problem != nullptr) *problem = result != kResultOk && !why.empty() ? "trox: " + why : "";
  return result;
}

void HideSecretArguments(int argc, char** argv) {
  OptionReader reader(argc, argv);
  char letter = '\0';
  char* value = nullptr;
  std::string ignored;
  while (reader.Next(letter, value, ignored) == OptionReader::kOption) {
    if (value != nullptr && (letter == 'p' || letter == 'q'))
      std::memset(value, '*', std::strlen(value));
  }
}
