// What the advanced sheet's pages decide, kept free of widgets: the permission letters and boxes
// of a mode number, the entries that a transfer file could not hold, and the numbering of the
// script lists.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "trox/TransferJob.h"

// "rwxr-xr-x" for 755. The mode is the chmod digits read as a decimal number; a number whose
// digits are not octal shows its step-by-step decomposition (999 gives all nine letters).
std::string PermissionLetters(int32_t mode);
// The nine boxes of the permissions dialog: user r, w, x, group r, w, x, world r, w, x.
using PermissionBoxes = std::array<bool, 9>;
PermissionBoxes BoxesFromMode(int32_t mode);
int32_t ModeFromBoxes(const PermissionBoxes& boxes);

// Each returns the message to show when the entry must be refused, nothing when it is accepted.
// A transfer file ends a list at the first empty value and trims blanks around every value, cuts
// extensions at a semicolon or tab and commands at a comma, and has no way to hold a line break.
std::optional<std::string> ExtensionFault(const std::string& extension);
// Three octal digits: a server told "SITE chmod 999" or "SITE chmod 64" sets something else than
// the user meant, or refuses and ends the upload.
std::optional<std::string> ModeTextFault(const std::string& text);
std::optional<std::string> ScriptCommandFault(const std::string& command);
std::optional<std::string> ScriptTypeFault(const std::string& type);

// The job's list of a script kind ("Conn", "Tran", "Disc"), or nullptr for any other text.
std::vector<tagTROX_SCRIPT>* ScriptList(CTransferJob& job, const std::string& type);
// Numbers the commands 1, 2, 3, ... in list order.
void RenumberScripts(std::vector<tagTROX_SCRIPT>& list);
// Exchanges the command numbered `number` with its neighbour above (up) or below, then renumbers;
// false when either is missing.
bool MoveScript(std::vector<tagTROX_SCRIPT>& list, int32_t number, bool up);
