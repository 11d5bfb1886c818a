// The numbered texts that both programs share, the formatter that fills them, and the texts of the
// internet error numbers.
#include "trox/Messages.h"

#include <cstring>
#include <map>

namespace {

const std::map<int, const char*>& MessageTable() {
  static const std::map<int, const char*> table = {
      {1, "%s version %s %s\n"},
      {3, "Connecting to %s ..."},
      {4, "%lu bytes to transfer."},
      {5, "Sending %s in %s mode ..."},
      {6, "Receiving %s in %s mode ..."},
      {7, "Ooops ... getting %s again in %s mode ..."},
      {8, "Failed to send %s!"},
      {9, "Failed to receive %s!"},
      {10, "Creating folder %s ..."},
      {11, "Failed to create folder (Error %s)!"},
      {12, "INIT: Failed to set %s as the current folder"},
      {13, "INIT: Failed to create folder %s"},
      // Closing messages of trox: string 1000 names the one for result 0, result N is 1001 + N.
      {1000, "1001"},
      {1001, "OK"},
      {1002, "Error 001 : Failed to initalise MFC."},
      {1003, "Error 002 : Bad command line arguments."},
      {1004, "Error 003 : Out of memory."},
      {1005, "Error 004 : WinInet error "},
      {1006, "Error 005 : Transfer errors occurred."},
      // Extensions of files that are text whatever their content: string 2000 names the first.
      {2000, "2001"},
      {2001, ".htm"},
      {2002, ".html"},
      {2003, ".txt"},
      {2004, ".vrml"},
      {2005, ".css"},
      {2006, ".wrl"},
      {2007, ".ram"},
      {2008, ".js"},
  };
  return table;
}

std::string ArgText(const MessageArg& arg) {
  return arg.isNumber ? std::to_string(arg.number) : arg.text;
}

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

std::string MessageTemplate(int number) {
  const auto& table = MessageTable();
  auto it = table.find(number);
  return it == table.end() ? std::string() : std::string(it->second);
}

std::string LoadMessage(int number, const std::vector<MessageArg>& args) {
  return FormatMessageTemplate(MessageTemplate(number), args);
}

// A missing argument fills in nothing, so a template can never read past what it was given.
std::string FormatMessageTemplate(const std::string& format, const std::vector<MessageArg>& args) {
  std::string result;
  size_t nextArg = 0;
  auto takeArg = [&]() {
    if (nextArg < args.size()) result += ArgText(args[nextArg++]);
  };
  for (size_t i = 0; i < format.size(); ++i) {
    char c = format[i];
    if (c != '%' || i + 1 == format.size()) {
      result += c;
      continue;
    }
    char next = format[++i];
    if (next == 's') {
      takeArg();
    } else if (next == 'l' && i + 1 < format.size()) {
      char after = format[++i];
      if (after == 'u') {
        takeArg();
      } else {
        result += after;
      }
    } else {
      result += next;
    }
  }
  return result;
}

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
