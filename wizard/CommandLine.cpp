#include "CommandLine.h"

#include <cstdint>

namespace {

// Position of option ("/t" or "/e") standing as a word of its own, or npos.
size_t FindOption(const std::string& text, const char* option) {
  size_t from = 1;
  for (;;) {
    size_t at = text.find(option, from);
    if (at == std::string::npos) return at;
    bool blankBefore = text[at - 1] == ' ';
    bool endAfter = at + 2 == text.size() || text[at + 2] == ' ';
    if (blankBefore && endAfter) return at;
    from = at + 1;
  }
}

bool CutOption(std::string& text, const char* option) {
  size_t at = FindOption(text, option);
  if (at == std::string::npos) return false;
  text.erase(at - 1);
  return true;
}

}  // namespace

WizardCommandLine ParseWizardCommandLine(const std::string& tail) {
  WizardCommandLine line;
  std::string text;
  for (char c : tail)
    if (c != '"') text += c;
  line.transferNow = CutOption(text, "/t");
  line.edit = CutOption(text, "/e");
  line.path = text;
  return line;
}

std::string JoinCommandTail(int argc, char** argv) {
  std::string tail;
  for (int i = 1; i < argc; ++i) {
    if (i > 1) tail += ' ';
    tail += argv[i];
  }
  return tail;
}

StartupAction DecideStartup(const WizardCommandLine& line, int readResult, uint32_t autoTransfer) {
  if (readResult != 0) return StartupAction::FailedLoad;
  if (line.edit) return StartupAction::WizardWithPath;
  if (autoTransfer == 1 || line.transferNow) return StartupAction::DirectTransfer;
  return StartupAction::WizardWithPath;
}
