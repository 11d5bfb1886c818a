#include "AdvancedRules.h"

#include <algorithm>

namespace {

// The weights of the first eight boxes; whatever is left after them is world execute.
constexpr int32_t kWeights[8] = {400, 200, 100, 40, 20, 10, 4, 2};
constexpr char kLetters[9] = {'r', 'w', 'x', 'r', 'w', 'x', 'r', 'w', 'x'};

bool IsBlank(char c) {
  return c == ' ' || c == '\t';
}

bool OnlyBlanks(const std::string& text) {
  return std::all_of(text.begin(), text.end(), IsBlank);
}

}  // namespace

PermissionBoxes BoxesFromMode(int32_t mode) {
  PermissionBoxes boxes{};
  int32_t rest = mode;
  for (size_t i = 0; i < 8; ++i) {
    boxes[i] = rest >= kWeights[i];
    if (boxes[i]) rest -= kWeights[i];
  }
  boxes[8] = rest != 0;
  return boxes;
}

int32_t ModeFromBoxes(const PermissionBoxes& boxes) {
  int32_t mode = 0;
  for (size_t i = 0; i < 8; ++i)
    if (boxes[i]) mode += kWeights[i];
  return boxes[8] ? mode + 1 : mode;
}

std::string PermissionLetters(int32_t mode) {
  const PermissionBoxes boxes = BoxesFromMode(mode);
  std::string letters(9, '-');
  for (size_t i = 0; i < 9; ++i)
    if (boxes[i]) letters[i] = kLetters[i];
  return letters;
}

std::optional<std::string> ExtensionFault(const std::string& extension) {
  if (OnlyBlanks(extension)) return "Please enter an extension, for example *.html.";
  if (extension.find_first_of(";\t") != std::string::npos)
    return "An extension cannot contain a semicolon or a tab.";
  if (IsBlank(extension.front()) || IsBlank(extension.back()))
    return "An extension cannot begin or end with a blank.";
  if (extension.find_first_of("\r\n") != std::string::npos)
    return "An extension cannot contain a line break.";
  return std::nullopt;
}

std::optional<std::string> ModeTextFault(const std::string& text) {
  const bool octal = text.size() == 3 && std::all_of(text.begin(), text.end(),
                                                     [](char c) { return c >= '0' && c <= '7'; });
  if (octal) return std::nullopt;
  return "Please enter the permissions as three digits from 0 to 7, for example 644.";
}

std::optional<std::string> ScriptCommandFault(const std::string& command) {
  if (OnlyBlanks(command)) return "Please enter a command.";
  if (command.find_first_of(",\r\n") != std::string::npos)
    return "A command cannot contain a comma or a line break.";
  return std::nullopt;
}

std::optional<std::string> ScriptTypeFault(const std::string& type) {
  if (type == "Conn" || type == "Tran" || type == "Disc") return std::nullopt;
  return "Please choose when the command runs.";
}

std::vector<tagTROX_SCRIPT>* ScriptList(CTransferJob& job, const std::string& type) {
  if (type == "Conn") return &job.m_connScripts;
  if (type == "Tran") return &job.m_tranScripts;
  if (type == "Disc") return &job.m_discScripts;
  return nullptr;
}

void RenumberScripts(std::vector<tagTROX_SCRIPT>& list) {
  int32_t number = 1;
  for (tagTROX_SCRIPT& script : list) script.sequence = number++;
}

bool MoveScript(std::vector<tagTROX_SCRIPT>& list, int32_t number, bool up) {
  const int32_t target = up ? number - 1 : number + 1;
  auto numbered = [&](int32_t n) {
    return std::find_if(list.begin(), list.end(),
                        [n](const tagTROX_SCRIPT& s) { return s.sequence == n; });
  };
  if (target < 1 || numbered(number) == list.end() || numbered(target) == list.end()) return false;
  auto moved = numbered(number);
  tagTROX_SCRIPT script = std::move(*moved);
  list.erase(moved);
  auto other = numbered(target);
  list.insert(up ? other : other + 1, std::move(script));
  RenumberScripts(list);
  return true;
}
