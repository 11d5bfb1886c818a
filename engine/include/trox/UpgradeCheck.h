// Where and as which version the upgrade check asks.
#pragma once

#include <string>

class CTransferJob;

// The running version sent in the query: trox's own unless a host sets its own (the wizard does
// at start).
void SetUpgradeCheckVersion(const std::string& version);
std::string UpgradeCheckVersion();
// The web server that answers the query, without a trailing slash: TROX_UPGRADE_SERVER from the
// environment when it is set (set but empty: none), else the one the build was configured with.
// Empty when neither names one; no query is made then.
std::string UpgradeServer();
// The full query address for the running version.
std::string UpgradeCheckAddress();

// Run's upgrade step. With an FTP server to go to, the check never costs the transfer: a failed
// query is one line "Upgrade check failed: " and the error's text, and the run goes on. A check
// alone is the whole run, so a check that cannot be made is the run's failure: the internet
// exception leaves, ERROR_INTERNET_INVALID_URL when no server is configured.
void RunUpgradeCheck(CTransferJob& job);
