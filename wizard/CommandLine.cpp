#include "CommandLine.h"

WizardCommandLine ParseWizardCommandLine(const std::vector<std::string>& arguments) {
  WizardCommandLine line;
  if (arguments.empty()) return line;
  line.path = arguments[0];
  for (size_t i = 1; i < arguments.size(); ++i) {
    if (arguments[i] == "/t") line.transferNow = true;
    if (arguments[i] == "/e") line.edit = true;
  }
  return line;
}

StartupAction DecideStartup(const WizardCommandLine& line, int readResult, uint32_t autoTransfer) {
  if (readResult != 0) return StartupAction::FailedLoad;
  if (line.edit) return StartupAction::WizardWithPath;
  if (autoTransfer == 1 || line.transferNow) return StartupAction::DirectTransfer;
  return StartupAction::WizardWithPath;
}
