// The texts that error numbers are shown with: the table of the internet error numbers, and the
// system's descriptions of errno values below them.
#include <cstring>
#include <string>

#include "trox/Internet.h"

namespace {

constexpr uint32_t kFirstInternetError = 12000;

struct ErrorText {
  uint32_t number;
  const char* text;
};

constexpr ErrorText kInternetErrors[] = {
    {12001, "Out of handles"},
    {12002, "Timeout"},
    {12003, "Extended error"},
    {12004, "Internal error"},
    {12005, "Invalid URL"},
    {12006, "Unrecognized scheme"},
    {12007, "Name not resolved"},
    {12008, "Protocol not found"},
    {12009, "Invalid option"},
    {12010, "Bad option length"},
    {12011, "Option not settable"},
    {12012, "Shutdown"},
    {12013, "Incorrect user name"},
    {12014, "Incorrect password"},
    {12015, "Login failure"},
    {12016, "Invalid operation"},
    {12017, "Operation cancelled"},
    {12018, "Incorrect handle type"},
    {12019, "Incorrect handle state"},
    {12020, "Not proxy request"},
    {12021, "Registry value not found"},
    {12022, "Bad Registry parameter"},
    {12023, "No direct access"},
    {12024, "No context"},
    {12025, "No callback"},
    {12026, "Request pending"},
    {12027, "Incorrect format"},
    {12028, "Item not found"},
    {12029, "Cannot connect"},
    {12030, "Connection aborted"},
    {12031, "Connection reset"},
    {12032, "Force retry"},
    {12033, "Invalid proxy request"},
    {12034, "Need UI"},
    {12036, "Handle exists"},
    {12037, "Sec cert date invalid"},
    {12038, "Sec cert CN invalid"},
    {12039, "HTTP to HTTPS on redir"},
    {12040, "HTTPS to HTTP on redir"},
    {12041, "Mixed security"},
    {12042, "Chg post is non secure"},
    {12043, "Post is non secure"},
    {12044, "Client auth cert needed"},
    {12045, "Invalid CA"},
    {12046, "Client auth not setup"},
    {12047, "Async thread failed"},
    {12048, "Redirect scheme change"},
    {12049, "Dialog pending"},
    {12050, "Retry Dialog"},
    {12052, "HTTPS HTTP submit redir"},
    {12053, "Insert CDROM"},
    {12110, "FTP transfer in progress"},
    {12111, "FTP dropped"},
    {12112, "FTP no passive mode"},
    {12157, "Security Channel Error"},
    {12158, "Unable to cache file"},
    {12159, "TCPIP not installed"},
    {12163, "Disconnected"},
    {12164, "Server unreachable"},
    {12165, "Proxy server unreachable"},
    {12166, "Bad auto-proxy script"},
    {12167, "Unable to download script"},
    {12169, "Invalid certificate"},
    {12170, "Certificate Revoked"},
    {12171, "Failed due to security check"},
};

// Every caller's buffer must hold the longest text; asking for this much keeps the rule simple.
constexpr uint32_t kErrorTextCapacity = 60;

const char* LookUpInternetError(uint32_t errorNumber) {
  for (const ErrorText& entry : kInternetErrors) {
    if (entry.number == errorNumber) return entry.text;
  }
  return "Unknown Error";
}

}  // namespace

uint32_t InternetErrorText(uint32_t errorNumber, char* buffer, uint32_t* length) {
  if (length == nullptr) return 0;
  if (*length < kErrorTextCapacity || buffer == nullptr) {
    *length = kErrorTextCapacity;
    return 0;
  }
  const char* text = LookUpInternetError(errorNumber);
  uint32_t size = static_cast<uint32_t>(strlen(text));
  memcpy(buffer, text, size + 1);
  *length = size;
  return size;
}

std::string InternetErrorText(uint32_t errorNumber) {
  return LookUpInternetError(errorNumber);
}

std::string ErrorNumberText(uint32_t errorNumber) {
  if (errorNumber >= kFirstInternetError) return LookUpInternetError(errorNumber);
  // strerrordesc_np gives no text for numbers the system does not know, where strerror would make
  // one up ("Unknown error N").
  const char* text = strerrordesc_np(static_cast<int>(errorNumber));
  return text ? text : std::string();
}

std::string ErrorNumberText(uint32_t errorNumber, const std::string& detail) {
  std::string text = ErrorNumberText(errorNumber);
  if (text.empty() || detail.empty()) return text;
  return detail + ": " + text;
}

void GetErrorDescription(uint32_t code, std::string& text) {
  if (code == ERROR_INTERNET_EXTENDED_ERROR) {
    uint32_t replyNumber = 0;
    text.clear();
    ReadLastResponse(&replyNumber, &text);
    if (replyNumber != 0) text += "\n(" + std::to_string(static_cast<int>(replyNumber)) + ")";
    return;
  }
  // Numbers the system does not know keep the caller's text rather than an invented one.
  std::string described = ErrorNumberText(code);
  if (!described.empty()) text = std::move(described);
}
