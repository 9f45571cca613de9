// The AT command line as the modem reads it: normalised, then taken apart
// one command at a time (basic commands, S registers, dialling, extended
// commands with their operation and arguments).
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace modemsim {

struct Command {
  std::string name;  // "E", "&D", "S", "D", "+CPIN"
  char op = 0;       // 0 action, '=' set, '?' read, 't' test (=?)
  std::string arg;   // what follows '=' (the number of ATD)
  std::vector<std::string> args;  // arg split at its commas, quotes removed
  bool hasNum = false;            // a basic command's number, or the S register
  int num = 0;
};

// Spaces out, letters up, except inside quotes (a PIN or a name stays as typed).
std::string Normalise(const std::string& raw);
// The command of a normalised line that starts at pos, pos moved past it;
// false when no command stands there.
bool ParseCommand(const std::string& line, size_t& pos, Command& c);

std::string Upper(std::string s);
std::vector<std::string> SplitArgs(const std::string& text);
// Digits only, at most nine of them.
bool ToInt(const std::string& s, int& v);
// A PIN or PUK: four to eight digits.
bool IsCode(const std::string& s);

}  // namespace modemsim
