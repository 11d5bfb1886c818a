// The transfer log. The file is opened and closed for every message, so it is complete up to the
// last message even when the process ends abruptly; each line goes out in one append so that two
// writers never interleave inside a line.
#include "trox/TransferLog.h"

#include <fcntl.h>

#include <cstdio>
#include <ctime>

#include "trox/LocalFile.h"

namespace {

// Line ends on disk are "\r\n", the form other tools expect of this log; a line break inside a
// message (a multi-line server reply) gets the same form.
std::string WithDiskLineEnds(const std::string& text) {
  std::string out;
  out.reserve(text.size() + 8);
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r')) out += '\r';
    out += text[i];
  }
  return out;
}

}  // namespace

void WriteLogLine(const char* text, int endOfLine, const std::string& logFile) {
  if (logFile.empty()) return;
  std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char stamp[64];
  std::snprintf(stamp, sizeof stamp, "%i-%02i-%02i %02i:%02i:%02i: ", local.tm_year + 1900,
                local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec);
  std::string line = stamp;
  // The text is data, never a format: a percent sign stays a percent sign.
  if (text) line += text;
  if (endOfLine) line += '\n';
  line = WithDiskLineEnds(line);

  CLocalFile log = CLocalFile::Open(logFile, O_WRONLY | O_APPEND | O_CREAT);
  if (log.IsOpen()) log.WriteAll(line.data(), line.size());
}
