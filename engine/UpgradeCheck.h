// Where and as which version the upgrade check asks.
#pragma once

#include <string>

// The running version sent in the query: "3.00" unless a host sets its own (the wizard: "3.02").
void SetUpgradeCheckVersion(const std::string& version);
std::string UpgradeCheckVersion();
// The maker's web server: TROX_UPGRADE_SERVER from the environment, else the built-in default;
// without a trailing slash.
std::string UpgradeServer();
// The full query address for the running version.
std::string UpgradeCheckAddress();
