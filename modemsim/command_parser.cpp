#include "modemsim/command_parser.h"

#include <algorithm>
#include <cctype>
#include <cstring>

namespace modemsim {

std::string Upper(std::string s) {
  for (char& c : s) c = char(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

std::string Normalise(const std::string& raw) {
  std::string out;
  bool quoted = false;
  for (char c : raw) {
    if (c == '"') quoted = !quoted;
    if (!quoted && c == ' ') continue;
    out.push_back(quoted ? c : char(std::toupper(static_cast<unsigned char>(c))));
  }
  return out;
}

std::vector<std::string> SplitArgs(const std::string& text) {
  std::vector<std::string> args;
  if (text.empty()) return args;
  std::string cur;
  bool quoted = false;
  for (char c : text) {
    if (c == '"') {
      quoted = !quoted;
      continue;
    }
    if (c == ',' && !quoted) {
      args.push_back(cur);
      cur.clear();
      continue;
    }
    cur.push_back(c);
  }
  args.push_back(cur);
  return args;
}

bool ToInt(const std::string& s, int& v) {
  if (s.empty() || s.size() > 9) return false;
  v = 0;
  for (char c : s) {
    if (c < '0' || c > '9') return false;
    v = v * 10 + (c - '0');
  }
  return true;
}

bool IsCode(const std::string& s) {
  if (s.size() < 4 || s.size() > 8) return false;
  return std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

bool ParseCommand(const std::string& s, size_t& p, Command& c) {
  const char lead = s[p];
  auto digits = [&] {
    std::string d;
    while (p < s.size() && std::isdigit(static_cast<unsigned char>(s[p]))) d.push_back(s[p++]);
    return d;
  };
  if (lead == '+' || lead == '^') {
    c.name.push_back(s[p++]);
    while (p < s.size() && (std::isalnum(static_cast<unsigned char>(s[p])) || std::strchr("!%-./:_", s[p])))
      c.name.push_back(s[p++]);
    if (s.compare(p, 2, "=?") == 0) {
      c.op = 't';
      p += 2;
    } else if (p < s.size() && s[p] == '?') {
      c.op = '?';
      ++p;
    } else if (p < s.size() && s[p] == '=') {
      c.op = '=';
      ++p;
      bool quoted = false;
      while (p < s.size() && (quoted || s[p] != ';')) {
        if (s[p] == '"') quoted = !quoted;
        c.arg.push_back(s[p++]);
      }
      c.args = SplitArgs(c.arg);
    }
    if (p < s.size() && s[p] == ';') ++p;
    else if (p < s.size()) return false;
  } else if (lead == '&' || lead == '\\') {
    if (p + 1 >= s.size() || !std::isalpha(static_cast<unsigned char>(s[p + 1]))) return false;
    c.name = s.substr(p, 2);
    p += 2;
    const std::string d = digits();
    c.hasNum = !d.empty();
    if (c.hasNum && !ToInt(d, c.num)) return false;
  } else if (lead == 'S') {
    c.name = "S";
    ++p;
    const std::string reg = digits();
    if (!ToInt(reg, c.num)) return false;
    if (p < s.size() && s[p] == '?') {
      c.op = '?';
      ++p;
    } else if (p < s.size() && s[p] == '=') {
      c.op = '=';
      ++p;
      c.arg = digits();
    } else {
      return false;
    }
  } else if (lead == 'D') {
    c.name = "D";
    c.arg = s.substr(p + 1);
    p = s.size();
  } else if (std::isalpha(static_cast<unsigned char>(lead))) {
    c.name = std::string(1, lead);
    ++p;
    const std::string d = digits();
    c.hasNum = !d.empty();
    if (c.hasNum && !ToInt(d, c.num)) return false;
  } else {
    return false;
  }
  return true;
}

}  // namespace modemsim
