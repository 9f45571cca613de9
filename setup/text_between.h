#pragma once

#include <string>

namespace setup {

// The text strictly between the first left and the first right: from the
// start when left is missing or empty, to the end when right is.
std::string TextBetween(const std::string& text, const std::string& left, const std::string& right);

}  // namespace setup
