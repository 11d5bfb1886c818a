// The transfer log. The file is opened and closed for every message, so it is complete up to the
// last message even when the process ends abruptly; each line goes out in one append so that two
// writers never interleave inside a line.
#include "trox/TransferLog.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <ctime>

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

  int fd = open(logFile.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
  if (fd < 0) return;
  size_t done = 0;
  while (done < line.size()) {
    ssize_t n = write(fd, line.data() + done, line.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += static_cast<size_t>(n);
  }
  close(fd);
}
