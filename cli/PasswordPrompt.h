// Asking for the password on the console without showing it.
#pragma once

#include <cstdio>
#include <string>

// Writes "Password: " and reads the password from standard input. On a terminal it reads single
// keystrokes without echo and shows one "*" per character; otherwise (a pipe or a file) it reads
// one line and shows nothing, so that scripts can hand the password over. Ends with two newlines.
// Everything it shows goes to out.
std::string PromptPassword(FILE* out = stdout);
