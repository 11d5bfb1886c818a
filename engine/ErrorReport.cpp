// Turns a failed system or FTP operation into text for the host. System errors (below 12000) are
// errno values and get the C library's description; internet errors get their table text and,
// when the server said something, its last reply.
#include <cstring>

#include "Messages.h"
#include "TransferJob.h"
#include "ftp/Internet.h"

namespace {

constexpr uint32_t kFirstInternetError = 12000;
constexpr uint32_t kErrorTextBuffer = 128;
constexpr uint32_t kResponseBuffer = 1024;

}  // namespace

void CTransferJob::ReportError(uint32_t errorNumber) {
  m_progress.lastError = errorNumber;

  if (errorNumber < kFirstInternetError) {
    // strerrordesc_np gives no text for numbers the system does not know, where strerror would
    // make one up ("Unknown error N"): such an error is not reported at all.
    const char* text = strerrordesc_np(static_cast<int>(errorNumber));
    if (text != nullptr) Output(text, 1);
    return;
  }

  char text[kErrorTextBuffer];
  uint32_t length = kErrorTextBuffer;
  if (InternetErrorText(errorNumber, text, &length) == 0) text[0] = '\0';
  Output("ERROR " + std::to_string(errorNumber) + " : " + text, 1);

  char response[kResponseBuffer];
  uint32_t responseLength = kResponseBuffer;
  uint32_t responseNumber = 0;
  if (InternetGetLastResponseInfo(&responseNumber, response, &responseLength)) {
    m_progress.lastResponse.assign(response, strnlen(response, responseLength));
    Output("EXTENDED ERROR " + std::to_string(responseNumber) + " : " + m_progress.lastResponse, 1);
  }
}
