// The engine's numbered message table and the small formatter that fills it. The texts of error
// numbers are trox/InternetError.h's.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "trox/InternetError.h"

// One argument of LoadMessage: a string for "%s" or a number for "%lu".
struct MessageArg {
  MessageArg(const std::string& s) : text(s), isNumber(false) {}
  MessageArg(const char* s) : text(s ? s : ""), isNumber(false) {}
  MessageArg(uint64_t n) : number(n), isNumber(true) {}
  MessageArg(int64_t n) : number(static_cast<uint64_t>(n)), isNumber(true) {}
  MessageArg(uint32_t n) : number(n), isNumber(true) {}
  MessageArg(int32_t n) : number(static_cast<uint64_t>(static_cast<int64_t>(n))), isNumber(true) {}
  std::string text;
  uint64_t number = 0;
  bool isNumber;
};

// The template numbered `number`, or "" when there is none (also with no arguments).
std::string MessageTemplate(int number);
// The template filled with args; a number without a text gives "".
std::string LoadMessage(int number, const std::vector<MessageArg>& args = {});
// Fills any template by the rules of LoadMessage: "%s" and "%lu" take the next argument (nothing
// when none is left), "%" before any other character stands for that character ("%%" is "%",
// "%lx" is "x"), and a "%" at the very end stays.
std::string FormatMessageTemplate(const std::string& format, const std::vector<MessageArg>& args);
