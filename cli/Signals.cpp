#include "Signals.h"

#include <csignal>

#include "trox/PartialFile.h"

namespace {

// The handler is reset to the default on entry, so raising the signal again ends the program
// with it once the handler returns, and the parent sees how it ended.
extern "C" void RemovePartialFileAndReraise(int signalNumber) {
  RemovePendingPartialFile();
  raise(signalNumber);
}

}  // namespace

void InstallSignalHandlers() {
  for (int signalNumber : {SIGINT, SIGTERM, SIGHUP}) {
    struct sigaction current {};
    if (sigaction(signalNumber, nullptr, &current) != 0 || current.sa_handler == SIG_IGN) continue;
    struct sigaction action {};
    action.sa_handler = RemovePartialFileAndReraise;
    action.sa_flags = SA_RESETHAND | SA_RESTART;
    sigemptyset(&action.sa_mask);
    sigaction(signalNumber, &action, nullptr);
  }
}
