// Permission rules: after a file was sent, one "SITE chmod" per rule whose extension matches.
#include <string>

#include "trox/TransferJob.h"
#include "trox/Walks.h"

int CTransferJob::ApplyPermissions(const std::string& remoteName) {
  // Every matching rule is applied, in list order; the mode goes out as it was read, whether or
  // not its digits make an octal permission.
  for (const tagTROX_CHMOD& rule : m_chmodList) {
    if (!ExtensionRuleMatches(remoteName, rule.extension)) continue;
    const std::string command = "SITE chmod " + std::to_string(rule.mode) + " " + remoteName;
    if (SendCommand(command, 0) == 0) return 0;
  }
  return 1;
}
