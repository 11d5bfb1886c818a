#include "Progress.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <vector>

#include "trox/DisplayText.h"
#include "trox/TransferJob.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr auto kRedrawInterval = std::chrono::milliseconds(100);
// The rate follows the last few seconds, so that the time left settles without lagging behind
// a connection that got faster or slower.
constexpr double kRateSeconds = 3.0;
constexpr size_t kDefaultWidth = 80;
constexpr size_t kShortestName = 8;  // below this the name says nothing: the figures only
constexpr const char* kSeparator = "  ";
constexpr const char* kErase = "\r\x1b[K";

// The UTF-8 character at text[i]: its length in bytes, and its columns. Characters from U+1100
// on count two: some of them take one, but a line that comes out short is better than one that
// wraps onto the next.
size_t CharAt(std::string_view text, size_t i, size_t* columns) {
  const auto lead = static_cast<unsigned char>(text[i]);
  size_t length = lead < 0x80 ? 1 : lead >= 0xf0 ? 4 : lead >= 0xe0 ? 3 : 2;
  if (i + length > text.size()) length = text.size() - i;
  uint32_t code = lead;
  if (length > 1) {
    code = lead & (0x3fu >> (length - 1));
    for (size_t k = 1; k < length; ++k)
      code = (code << 6) | (static_cast<unsigned char>(text[i + k]) & 0x3fu);
  }
  *columns = code >= 0x1100 ? 2 : 1;
  return length;
}

// The tail of text that fits in width columns, "..." in front when something was left out.
std::string CutFromStart(const std::string& text, size_t width) {
  std::vector<size_t> starts, columns;
  size_t total = 0;
  for (size_t i = 0; i < text.size();) {
    size_t c = 0;
    starts.push_back(i);
    i += CharAt(text, i, &c);
    columns.push_back(c);
    total += c;
  }
  if (total <= width) return text;
  if (width <= 3) return std::string(width, '.');
  size_t kept = 0, k = starts.size();
  while (k > 0 && kept + columns[k - 1] <= width - 3) kept += columns[--k];
  return "..." + text.substr(k < starts.size() ? starts[k] : text.size());
}

// DisplayText keeps line breaks and tabs for the log; on one redrawn line they would break it.
std::string OneLine(const std::string& name) {
  std::string shown;
  for (char c : DisplayText(name)) {
    if (c == '\n')
      shown += "\\x0a";
    else if (c == '\r')
      shown += "\\x0d";
    else if (c == '\t')
      shown += "\\x09";
    else
      shown += c;
  }
  return shown;
}

size_t TerminalWidth() {
  winsize size{};
  if (ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) != 0 || size.ws_col == 0) return kDefaultWidth;
  return size.ws_col;
}

}  // namespace

std::string ProgressSizeText(uint64_t bytes) {
  if (bytes < 1024) return std::to_string(bytes) + " B";
  static const char* const kUnits[] = {"KB", "MB", "GB", "TB"};
  double value = static_cast<double>(bytes) / 1024.0;
  size_t unit = 0;
  // 1023.96 KB would print as "1024.0 KB": it moves to the next unit once it rounds up to it.
  while (value >= 1023.95 && unit + 1 < std::size(kUnits)) {
    value /= 1024.0;
    ++unit;
  }
  char text[32];
  snprintf(text, sizeof text, "%.1f %s", value, kUnits[unit]);
  return text;
}

std::string ProgressTimeText(uint64_t seconds) {
  char text[32];
  if (seconds >= 3600)
    snprintf(text, sizeof text, "%llu:%02u:%02u", static_cast<unsigned long long>(seconds / 3600),
             static_cast<unsigned>(seconds / 60 % 60), static_cast<unsigned>(seconds % 60));
  else
    snprintf(text, sizeof text, "%u:%02u", static_cast<unsigned>(seconds / 60),
             static_cast<unsigned>(seconds % 60));
  return text;
}

std::string FormatProgressLine(const std::string& file, uint64_t done, uint64_t total,
                               double bytesPerSecond, size_t width) {
  std::string figures = ProgressSizeText(done);
  if (bytesPerSecond > 0)
    figures += kSeparator + ProgressSizeText(static_cast<uint64_t>(bytesPerSecond)) + "/s";
  if (total > 0) {
    // Text files grow on the way (line ends); the share never shows more than the whole.
    const uint64_t percent = done >= total ? 100 : done * 100 / total;
    figures += kSeparator + std::to_string(percent) + "%";
    if (bytesPerSecond > 0 && done < total) {
      const double left = std::ceil(static_cast<double>(total - done) / bytesPerSecond);
      // A rate that all but stopped would promise years: that says nothing.
      if (left < 100.0 * 3600)
        figures += kSeparator + ProgressTimeText(static_cast<uint64_t>(left)) + " left";
    }
  }
  const std::string name = OneLine(file);
  const size_t separator = strlen(kSeparator);
  if (!name.empty() && figures.size() + separator + kShortestName <= width)
    return CutFromStart(name, width - figures.size() - separator) + kSeparator + figures;
  if (figures.size() > width) figures.resize(width);
  return figures;
}

namespace {

struct LineState {
  bool shown = false;       // the line is on the screen now
  bool atLineStart = true;  // the regular output ended its last line
  bool drawnOnce = false;
  Clock::time_point lastDraw;
  std::string lastText;
  uint64_t lastDone = 0;
  double rate = 0;  // bytes per second, smoothed; 0 until two reports measured it
};

LineState* g_line = nullptr;  // trox has one thread and at most one line

void Erase() {
  if (g_line == nullptr || !g_line->shown) return;
  fputs(kErase, stdout);
  g_line->shown = false;
}

void Draw(LineState& line, const std::string& text) {
  fputs(("\r" + text + "\x1b[K").c_str(), stdout);
  fflush(stdout);
  line.shown = true;
}

int OnProgress(TransferProgress* progress, uintptr_t) {
  LineState& line = *g_line;
  if (!line.atLineStart) return 0;
  const Clock::time_point now = Clock::now();
  if (line.drawnOnce && now - line.lastDraw < kRedrawInterval) {
    // A regular line took its place: it comes back below that line as it was, so that many
    // small files do not make it flicker.
    if (!line.shown) Draw(line, line.lastText);
    return 0;
  }
  const uint64_t done = progress->bytesDone > 0 ? static_cast<uint64_t>(progress->bytesDone) : 0;
  if (line.drawnOnce) {
    const double seconds = std::chrono::duration<double>(now - line.lastDraw).count();
    // A failed file sets the count back; that is no negative speed.
    const double moved = done >= line.lastDone ? static_cast<double>(done - line.lastDone) : 0.0;
    const double sample = moved / seconds;
    // Weighted as an exponential average over about kRateSeconds, in the form that needs no
    // maths library (linked for this alone, it cost every run's memory).
    line.rate = line.rate == 0
                    ? sample
                    : line.rate + (sample - line.rate) * (seconds / (seconds + kRateSeconds));
  }
  line.drawnOnce = true;
  line.lastDraw = now;
  line.lastDone = done;
  line.lastText =
      FormatProgressLine(progress->currentFile, done, progress->bytesToTransfer, line.rate,
                         TerminalWidth() - 1);  // the last column would make some terminals wrap
  Draw(line, line.lastText);
  return 0;
}

}  // namespace

CProgressLine::CProgressLine(CTransferJob& job, bool quiet) : m_job(job) {
  const char* term = getenv("TERM");
  // A terminal that knows no control sequences would show "[K" on every redraw.
  const bool dumb = term != nullptr && strcmp(term, "dumb") == 0;
  if (quiet || dumb || g_line != nullptr || !isatty(STDOUT_FILENO)) return;
  g_line = new LineState;
  m_enabled = true;
  m_job.SetProgressCallback(OnProgress, 0);
}

CProgressLine::~CProgressLine() {
  if (!m_enabled) return;
  m_job.SetProgressCallback(nullptr, 0);
  Erase();
  fflush(stdout);
  delete g_line;
  g_line = nullptr;
}

void ClearProgressLine(int endOfLine) {
  if (g_line == nullptr) return;
  Erase();
  g_line->atLineStart = endOfLine != 0;
}
