// The stored (encrypted, hexadecimal) form of passwords.
#pragma once

#include <string>

// Both change the text in place and return 1, or return 0 and leave it unchanged.
int EncryptPassword(std::string& text);
int DecryptPassword(std::string& text);
// 1 when stored passwords can be protected on this machine.
int PasswordCryptoAvailable();
