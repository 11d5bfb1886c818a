// The transfer log: one time-stamped line appended per message.
#pragma once

#include <string>

// Appends "YYYY-MM-DD hh:mm:ss: text" to logFile; a log that cannot be opened is skipped.
void WriteLogLine(const char* text, int endOfLine, const std::string& logFile);
