// Build step: the program's version block from its description, as a C++
// source that puts the block into its own ELF section.
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "version/block_writer.h"
#include "version/version_platform.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::cerr << "usage: " << argv[0] << " DESCRIPTION OUTPUT.cpp\n";
    return 2;
  }
  std::ifstream in(argv[1], std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  if (!in) {
    std::cerr << argv[1] << ": cannot be read\n";
    return 1;
  }
  std::string error;
  const std::optional<version::VersionDescription> description = version::ParseVersionDescription(text.str(), error);
  if (!description) {
    std::cerr << argv[1] << ": " << error << "\n";
    return 1;
  }
  std::vector<uint8_t> block;
  try {
    block = version::BuildVersionBlock(*description);
  } catch (const std::exception& e) {
    std::cerr << argv[1] << ": " << e.what() << "\n";
    return 1;
  }

  std::ostringstream out;
  out << "// Made from " << argv[1] << " by make_version_block; do not edit.\n"
      << "namespace {\n"
      << "[[gnu::used, gnu::section(\"" << version::kVersionSection << "\"), gnu::aligned(4)]]\n"
      << "const unsigned char kVersionBlock[" << block.size() << "] = {";
  for (size_t i = 0; i < block.size(); ++i) {
    if (i % 16 == 0) out << "\n   ";
    char hex[8];
    std::snprintf(hex, sizeof hex, " 0x%02X,", block[i]);
    out << hex;
  }
  out << "\n};\n}  // namespace\n";
  std::ofstream file(argv[2], std::ios::binary);
  file << out.str();
  file.close();
  if (!file) {
    std::cerr << argv[2] << ": cannot be written\n";
    return 1;
  }
  return 0;
}
