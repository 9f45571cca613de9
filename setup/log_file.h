// The log file, replaced as a whole: the bytes are written to a file of their
// own beside it, which then takes its name, so a failed save leaves the
// earlier file whole. One file per system.
#pragma once

#include <string>

namespace setup {

// path: UTF-8. On failure false, with the system's reason (UTF-8) in reason.
bool ReplaceLogFile(const std::string& path, const std::string& bytes, std::string& reason);

}  // namespace setup
