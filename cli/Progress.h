// trox's live status line on a terminal: the file that is moving, the bytes done, the rate, the
// share of the total and the time left, redrawn in place. It is for the eyes only: it goes to a
// terminal and never into the log, and it is erased before any regular line is written, so the
// regular output reads exactly as it does when redirected.
#pragma once

#include <cstdint>
#include <string>

class CTransferJob;

// One state of the line, cut to width columns. The file name comes first and is shortened from
// its start ("...folder/name.bin") to leave room for the figures; total 0 means unknown (no share,
// no time left), bytesPerSecond 0 means not measured yet (no rate, no time left).
std::string FormatProgressLine(const std::string& file, uint64_t done, uint64_t total,
                               double bytesPerSecond, size_t width);

// "512 B", "1.5 KB", "20.0 MB", "1.2 GB" (units of 1024).
std::string ProgressSizeText(uint64_t bytes);
// "0:07", "12:34", "1:02:03".
std::string ProgressTimeText(uint64_t seconds);

// While it lasts, and only when standard output is a terminal and quiet is false, the job's
// progress reports draw the line, at most ten times a second. Its end erases the line.
class CProgressLine {
 public:
  CProgressLine(CTransferJob& job, bool quiet);
  ~CProgressLine();
  CProgressLine(const CProgressLine&) = delete;
  CProgressLine& operator=(const CProgressLine&) = delete;

 private:
  CTransferJob& m_job;
  bool m_enabled = false;
};

// The console output calls this before it writes regular text: a drawn line is erased first.
// endOfLine says whether that text ends its line; until one does, no line is drawn (it would
// land in the middle of the text).
void ClearProgressLine(int endOfLine);
