#include "TranProgText.h"

#include <climits>
#include <cmath>
#include <cstdio>
#include <vector>

#include "TranProgState.h"
#include "trox/Internet.h"

namespace {

template <typename... Args>
std::string Format(const char* format, Args... args) {
  char buffer[256];
  int n = std::snprintf(buffer, sizeof buffer, format, args...);
  if (n < 0) return {};
  if (static_cast<size_t>(n) < sizeof buffer) return std::string(buffer, static_cast<size_t>(n));
  std::vector<char> big(static_cast<size_t>(n) + 1);
  std::snprintf(big.data(), big.size(), format, args...);
  return std::string(big.data(), static_cast<size_t>(n));
}

}  // namespace

void FormatSize(uint64_t bytes, std::string& text) {
  double value = static_cast<double>(bytes);
  const char* unit = "Bytes";
  const char* larger[] = {"KB", "MB", "GB"};
  for (const char* next : larger) {
    if (value <= 1024.0) break;
    value *= 1.0 / 1024.0;
    unit = next;
  }
  if (value == 0.0)
    text = Format("0 %s", unit);
  else
    text = Format("%.2f %s", value, unit);
}

std::string FormatSize(uint64_t bytes) {
  std::string text;
  FormatSize(bytes, text);
  return text;
}

int PercentDone(uint64_t total, uint64_t done) {
  if (total == 0) return 0;
  double percent = 100.0 / static_cast<double>(total) * static_cast<double>(done);
  if (percent >= 100.0) return 100;
  return static_cast<int>(percent);
}

std::string TimeLeftText(int64_t secondsLeft) {
  if (secondsLeft < 0) secondsLeft = 0;
  return Format(
      "Estimated time left: %02lld:%02lld:%02lld", static_cast<long long>(secondsLeft / 3600),
      static_cast<long long>(secondsLeft / 60 % 60), static_cast<long long>(secondsLeft % 60));
}

SpeedEstimate EstimateSpeed(uint64_t total, uint64_t done, uint64_t startTickMs,
                            uint64_t nowTickMs) {
  SpeedEstimate estimate;
  if (nowTickMs <= startTickMs) return estimate;
  estimate.computed = true;
  float elapsedSeconds = static_cast<float>(nowTickMs - startTickMs) / 1000.0f;
  float rate = static_cast<float>(static_cast<double>(done) / 1024.0 / elapsedSeconds);
  estimate.speedText = Format(" (%.2f KB/Sec)", static_cast<double>(rate));
  if (rate > 0.0f && std::isfinite(rate)) {
    // More done than announced (a file that grew meanwhile) means nothing is left, not 49 days.
    uint64_t remaining = total > done ? total - done : 0;
    double seconds = static_cast<double>(remaining) / 1024.0 / static_cast<double>(rate);
    if (seconds > static_cast<double>(INT_MAX)) seconds = static_cast<double>(INT_MAX);
    estimate.timeLeftText = TimeLeftText(static_cast<int64_t>(seconds));
  }
  return estimate;
}

std::string BytesText(bool get, uint64_t total, uint64_t done, const std::string& speedText) {
  std::string doneText = FormatSize(done);
  std::string totalText = FormatSize(total);
  return (get ? "Recieved " : "Sent ") + doneText + " of " + totalText + " " + speedText;
}

bool WantsErrorBox(bool ignore, uint32_t errorCode, int runResult) {
  // IGNORE is about the files and commands of a run; a run that never got going (no connection,
  // no log-in) is no transfer error to pass over.
  if (runResult == kRunEndedByException) return true;
  if (ignore) return false;
  return errorCode != 0 || runResult != 0;
}

std::string ErrorBoxDescription(uint32_t errorCode, const std::string& fetched,
                                const std::string& response, const std::string& lastLine) {
  if (errorCode == ERROR_INTERNET_EXTENDED_ERROR && fetched.empty()) return response;
  if (errorCode == 0) return lastLine;
  return fetched;
}

std::string ErrorBoxText(uint32_t errorCode, const std::string& description,
                         const std::string& detail) {
  return "An error has occurred during transfer : Error " +
         std::to_string(static_cast<int>(errorCode)) + "\n\n" + description + "\n\n" + detail;
}

int StatusAfterRun(int current, bool cancelled, int runResult) {
  if (current == kTransferIncomplete) return kTransferIncomplete;
  if (cancelled) return kTransferCancelled;
  return runResult == 0 ? kTransferCompleted : kTransferFailed;
}
