#include "CommandLine.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "Netrc.h"

#include "TlsOptions.h"
#include "trox/DisplayText.h"
#include "trox/PasswordCrypto.h"
#include "trox/TransferFile.h"
#include "trox/TransferJob.h"

namespace {

constexpr std::string_view kFlags = "dgivaynxh";
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

struct LongOption {
  std::string_view name;
  bool takesValue;
};

constexpr LongOption kLongOptions[] = {
    {"binary", false}, {"ascii", false},        {"quiet", false},
    {"help", false},   {"version", false},      {"password-file", true},
    {"tls", false},    {"tls-implicit", false}, {"tls-pin", true},
};

// Walks argv one option at a time, as getopt does but without its global state, its permuting and
// its own messages.
class OptionReader {
 public:
  enum Step { kOption, kEnd, kBad };

  OptionReader(int argc, char** argv) : m_argc(argc), m_argv(argv) {}

  // The next option letter and its value (nullptr for a flag); the value points into argv. A long
  // option has the letter '\0' and is named by LongName().
  Step Next(char& letter, char*& value, std::string& problem) {
    value = nullptr;
    m_long = nullptr;
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
        if (arg[1] == '-') return NextLong(letter, value, problem);
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

  std::string_view LongName() const { return m_long != nullptr ? m_long->name : ""; }

 private:
  Step NextLong(char& letter, char*& value, std::string& problem) {
    char* arg = m_argv[m_index++];
    char* equals = std::strchr(arg, '=');
    const std::string_view name(
        arg + 2, equals != nullptr ? static_cast<size_t>(equals - arg - 2) : std::strlen(arg + 2));
    for (const LongOption& option : kLongOptions)
      if (option.name == name) m_long = &option;
    if (m_long == nullptr) {
      problem = "unknown option --" + Quoted(name);
      return kBad;
    }
    letter = '\0';
    if (!m_long->takesValue) {
      if (equals == nullptr) return kOption;
      problem = "option --" + std::string(name) + " takes no value";
      return kBad;
    }
    if (equals != nullptr) {
      value = equals + 1;
    } else if (m_index < m_argc) {
      value = m_argv[m_index++];
    } else {
      problem = "option --" + std::string(name) + " needs a value";
      return kBad;
    }
    return kOption;
  }

  int m_argc;
  char** m_argv;
  int m_index = 1;
  int m_pos = 0;  // the next letter's place in m_argv[m_index]; 0 before a new argument
  bool m_endOfOptions = false;
  const LongOption* m_long = nullptr;
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

// The first line of a password file, without its line end.
bool ReadPasswordFile(const std::string& path, std::string& password, std::string& why) {
  FILE* file = std::fopen(path.c_str(), "rb");
  std::string text;
  bool ok = file != nullptr;
  if (ok) {
    for (int c; (c = std::fgetc(file)) != EOF && c != '\n';) text += static_cast<char>(c);
    ok = !std::ferror(file);
  }
  const int error = errno;
  if (file != nullptr) std::fclose(file);
  if (!ok) {
    why = "cannot read password file " + Quoted(path) + ": " + std::strerror(error);
    return false;
  }
  if (!text.empty() && text.back() == '\r') text.pop_back();
  password = std::move(text);
  return true;
}

// Why a transfer file cannot be opened for reading, or "" when it can.
std::string OpenFailure(const std::string& path) {
  FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) return std::strerror(errno);
  std::fgetc(file);
  const bool failed = std::ferror(file);
  const int error = errno;
  std::fclose(file);
  return failed ? std::strerror(error) : "";
}

}  // namespace

int ParseCommandLine(int argc, char** argv, CTransferJob& job, std::string* problem,
                     CommandLineExtras* extras) {
  CommandLineExtras ignoredExtras;
  if (extras == nullptr) extras = &ignoredExtras;
  std::string why;
  int result = kResultBadArguments;
  char decidedBy = '\0';
  std::string transferFile;
  std::string transferFileFailure;  // why the deciding transfer file could not be opened
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
    if (letter == '\0') {
      const std::string_view name = reader.LongName();
      if (name == "binary") {
        job.SetTransferType(1);
      } else if (name == "ascii") {
        job.SetTransferType(2);
      } else if (name == "quiet") {
        extras->quiet = true;
      } else if (name == "help" || name == "version") {
        extras->action = name == "help" ? CommandLineExtras::kHelp : CommandLineExtras::kVersion;
        result = kResultOk;
        why.clear();
        break;
      } else if (name == "password-file") {
        std::string password;
        if (!ReadPasswordFile(value, password, why)) {
          result = kResultBadArguments;
          break;
        }
        extras->filePassword = password;
      } else if (IsTlsOption(name) && !ApplyTlsOption(name, valueText, job, why)) {
        result = kResultBadArguments;
        break;
      }
      continue;
    }
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
        transferFileFailure = result != kResultOk ? OpenFailure(value) : "";
        break;
      case 'h':
        extras->action = CommandLineExtras::kHelp;
        result = kResultOk;
        stop = true;
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
        extras->commandLinePassword = value;
        break;
      case 'q':
        DecryptPassword(value);
        job.SetPassword(value);
        extras->commandLinePassword = value;
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
    if (decidedBy == 'f' && !transferFileFailure.empty())
      why = "cannot read transfer file " + Quoted(transferFile) + ": " + transferFileFailure;
    else if (decidedBy == 'f')
      why = "the transfer file " + Quoted(transferFile) +
            " cannot be read, names no server, a port outside 0 to 65535, or both INCLUDE and "
            "EXCLUDE";
    else
      why = "no server given (-s, -f or -d)";
  }
  if (problem != nullptr) *problem = result != kResultOk && !why.empty() ? "trox: " + why : "";
  return result;
}

PasswordSource ChoosePassword(CTransferJob& job, const CommandLineExtras& extras,
                              const std::string& netrcPath, std::string* warning) {
  if (extras.commandLinePassword) {
    // A transfer file read after -p must not take its place.
    job.SetPassword(*extras.commandLinePassword);
    return PasswordSource::kCommandLine;
  }
  if (extras.filePassword) {
    job.SetPassword(*extras.filePassword);
    return PasswordSource::kPasswordFile;
  }
  const char* environment = std::getenv("TROX_PASSWORD");
  if (environment != nullptr && *environment != '\0') {
    job.SetPassword(environment);
    return PasswordSource::kEnvironment;
  }
  if (!job.GetPassword().empty()) return PasswordSource::kTransferFile;
  if (job.GetServer().empty() || netrcPath.empty()) return PasswordSource::kNone;
  std::string problem;
  std::optional<NetrcEntry> entry =
      ReadNetrcEntry(netrcPath, job.GetServer(), job.GetUser(), &problem);
  if (!problem.empty() && warning != nullptr) *warning = "trox: " + problem;
  if (!entry) return PasswordSource::kNone;
  if (job.GetUser().empty()) job.SetUser(entry->login);
  if (entry->password.empty()) return PasswordSource::kNone;
  job.SetPassword(entry->password);
  return PasswordSource::kNetrc;
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
