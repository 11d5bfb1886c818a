// What the progress dialog shows and decides, without widgets: size and speed texts, the time
// left, the error box's text and the transfer status after a run. The dialog only copies these
// into its controls.
#pragma once

#include <cstdint>
#include <string>

#include "trox/Internet.h"

// Transfer status kept in the main window and read by the final page.
enum TransferStatus : int {
  kTransferIncomplete = 0,  // an error was reported to the user
  kTransferCompleted = 1,
  kTransferFailed = 2,  // the run did not succeed and nothing was reported
  kTransferCancelled = 3,
};

// A byte count as "0 Bytes", "1024.00 Bytes", "1.50 KB", "3.00 GB": a unit is taken only when the
// value is strictly above 1024 of the one below, and GB is the largest.
void FormatSize(uint64_t bytes, std::string& text);
std::string FormatSize(uint64_t bytes);

// Whole percent of the total that is done, 0 to 100; 0 while the total is unknown.
int PercentDone(uint64_t total, uint64_t done);

// Speed and time left of one display refresh. Nothing is computed while the clock has not moved
// past the start (no time has elapsed, or it went backwards).
struct SpeedEstimate {
  bool computed = false;
  std::string speedText;  // " (%.2f KB/Sec)", with its own leading blank
  // "Estimated time left: hh:mm:ss"; empty while no byte has moved yet (the rate is 0, so there
  // is nothing to estimate from): the field then keeps what it showed.
  std::string timeLeftText;
};
SpeedEstimate EstimateSpeed(uint64_t total, uint64_t done, uint64_t startTickMs,
                            uint64_t nowTickMs);

// "Estimated time left: %02i:%02i:%02i"; the hours are not reduced modulo 24.
std::string TimeLeftText(int64_t secondsLeft);

// "Sent %s of %s %s" or, when getting, "Recieved %s of %s %s".
std::string BytesText(bool get, uint64_t total, uint64_t done, const std::string& speedText);

// Whether the end of a run is reported in an error box: always when an exception ended it (a
// connection or log-in that failed); otherwise only with IGNORE off, and when the run recorded an
// error code or did not succeed (a run that lost files must not end silently).
bool WantsErrorBox(bool ignore, uint32_t errorCode, int runResult);

// The error box's description: `fetched` is GetErrorDescription's text on the dialog's thread.
// For 12003 with nothing fetched, the reply the engine captured; with no code at all, the engine's
// last output line, which names what failed.
std::string ErrorBoxDescription(uint32_t errorCode, const std::string& fetched,
                                const std::string& response, const std::string& lastLine);

// "An error has occurred during transfer : Error %i\n\n%s\n\n%s".
std::string ErrorBoxText(uint32_t errorCode, const std::string& description,
                         const std::string& detail);

// The status once the run is over. `current` is kTransferIncomplete when an error was reported,
// which then stands; otherwise a cancel gives kTransferCancelled, a run result of 0
// kTransferCompleted and anything else kTransferFailed.
int StatusAfterRun(int current, bool cancelled, int runResult);
