// The wizard's command line: a transfer file, optionally followed by "/t" (run at once) or "/e"
// (open for editing), and what start-up does with it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct WizardCommandLine {
  std::string path;
  bool transferNow = false;
  bool edit = false;
};

// arguments: the program's arguments without its name. The first is the path exactly as given, so
// that any name (blanks, quotes, " /t" inside it) opens; an option counts only as a later argument
// of its own, "/t" or "/e". Other later arguments are ignored.
WizardCommandLine ParseWizardCommandLine(const std::vector<std::string>& arguments);

enum class StartupAction {
  EmptyWizard,     // welcome page, nothing preset
  WizardWithPath,  // welcome page, the path preset on the load page
  DirectTransfer,  // run the job at once, no wizard
  FailedLoad,      // "Failed to load %s", then the empty wizard
};

// readResult: what ReadTransferFile returned for the path (0 success).
StartupAction DecideStartup(const WizardCommandLine& line, int readResult, uint32_t autoTransfer);
