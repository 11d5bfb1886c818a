// The numbered texts that both programs share and the formatter that fills them.
#include "trox/Messages.h"

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
