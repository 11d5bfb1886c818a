#include "CommandLine.h"

#include <cstdlib>
#include <string>

#include "PasswordCrypto.h"
#include "TransferFile.h"
#include "TransferJob.h"

namespace {

bool TakesValue(char letter) {
  switch (letter) {
    case 's':
    case 'f':
    case 'l':
    case 'r':
    case 'u':
    case 'p':
    case 'q':
    case 't':
    case 'o':
      return true;
    default:
      return false;
  }
}

}  // namespace

int ParseCommandLine(int argc, char** argv, CTransferJob& job) {
  int result = kResultBadArguments;
  for (int i = 1; i < argc; ++i) {
    const char* option = argv[i];
    char letter = option[0] == '\0' ? '\0' : option[1];
    std::string value;
    if (TakesValue(letter)) {
      if (i + 1 >= argc) return kResultBadArguments;
      value = argv[++i];
    }
    switch (letter) {
      case 's':
        job.SetServer(value);
        result = kResultOk;
        break;
      case 'f':
        job.SetJobFile(value);
        result = ReadTransferFile(value, job);
        break;
      case 'd':
        job.SetUpgrade();
        result = kResultOk;
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
      case 't':
        job.SetPort(static_cast<uint16_t>(atoi(value.c_str())));
        break;
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
      default:
        return kResultBadArguments;
    }
  }
  return result;
}
