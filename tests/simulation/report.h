// What a seed's run reports: readable forms of bytes and log lines, and the
// first violation, which ends the program with the seed to replay.
#pragma once

#include <csignal>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace simulation {

std::string W(const char* utf8);  // Windows-1251 of UTF-8
bool StartsWith(const std::string& s, const std::string& p);
bool EndsWith(const std::string& s, const std::string& t);
std::string WithoutCrLf(const std::string& s);
// Printable form of bytes for a failure report.
std::string Shown(const std::string& bytes, size_t max = 160);
// A log line (Windows-1251) readable: UTF-8, control characters escaped.
std::string ShownLine(const std::string& cp1251);

extern uint64_t gSeed;
extern std::filesystem::path gDir;  // the run's files, removed on every way out
void ReportSeedOnDeath();
void OnFatalSignal(int sig);
[[noreturn]] void Violation(const std::string& what, const std::vector<std::string>& context = {});

}  // namespace simulation
