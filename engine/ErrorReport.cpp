// Turns a failed system or FTP operation into text for the host. System errors (below 12000) are
// errno values and get the C library's description, after the local path or what failed when the
// failing call named it; internet errors get their table text, the server's reply when the reply
// is the reason, and the layer's own account of what happened where the reply does not tell it
// ("the data ended after 100 of 300 bytes", "no reply to PWD within 60 s").
#include <string>

#include "trox/Internet.h"
#include "trox/TransferJob.h"

namespace {

constexpr uint32_t kFirstInternetError = 12000;

}  // namespace

void CTransferJob::ReportError(uint32_t errorNumber) {
  m_progress.lastError = errorNumber;
  // The detail belongs to the thread's last error; a caller reporting another number gets none.
  const std::string detail = GetLastError() == errorNumber ? GetLastErrorDetail() : std::string();

  if (errorNumber < kFirstInternetError) {
    // A number the system has no text for is not reported at all.
    const std::string text = ErrorNumberText(errorNumber, detail);
    if (!text.empty()) Output(text, 1);
    return;
  }

  Output("ERROR " + std::to_string(errorNumber) + " : " + ErrorNumberText(errorNumber), 1);

  uint32_t responseNumber = 0;
  std::string response;
  const bool haveResponse = ReadLastResponse(&responseNumber, &response);
  if (haveResponse) {
    m_progress.lastResponse = response;
    Output("EXTENDED ERROR " + std::to_string(responseNumber) + " : " + response, 1);
  }
  if (!detail.empty() && !(haveResponse && detail == response)) Output("DETAIL : " + detail, 1);
}
