// The wizard's command line: one text made of a transfer file and an optional " /t" (run at once)
// or " /e" (open for editing), and what start-up does with it.
#pragma once

#include <string>

struct WizardCommandLine {
  std::string path;
  bool transferNow = false;
  bool edit = false;
};

// Double quotes are removed first. An option counts only as a word of its own, "/t" or "/e"
// after a blank and before a blank or the end, so that a path such as "/home/ann/tests/a.trx"
// keeps its "/t". Everything from the blank before the option on is cut off.
WizardCommandLine ParseWizardCommandLine(const std::string& tail);

// Joins the program's arguments into the one text that the parser expects.
std::string JoinCommandTail(int argc, char** argv);

enum class StartupAction {
  EmptyWizard,     // welcome page, nothing preset
  WizardWithPath,  // welcome page, the path preset on the load page
  DirectTransfer,  // run the job at once, no wizard
  FailedLoad,      // "Failed to load %s", then the empty wizard
};

// readResult: what ReadTransferFile returned for the path (0 success).
StartupAction DecideStartup(const WizardCommandLine& line, int readResult, uint32_t autoTransfer);
