// The ports whose far end is zorvik-com-peer, as scripts/test-windows.sh
// sets them up in its Wine prefix: COM5 and COM12 on pseudo-terminals.
// Nothing else of the prefix is a serial device, so these tests never open a
// real port of the machine; without that prefix they are skipped.
#pragma once

#include <cstdlib>
#include <sstream>
#include <string>

namespace wine_tests {

inline bool PeerServes(const std::string& port) {
  const char* list = std::getenv("ZORVIK_COM_PEER");
  std::istringstream names(list ? list : "");
  for (std::string name; names >> name;)
    if (name == port) return true;
  return false;
}

}  // namespace wine_tests

#define ZORVIK_NEED_PEER()                                          \
  if (!wine_tests::PeerServes("COM5") || !wine_tests::PeerServes("COM12")) \
  GTEST_SKIP() << "no peer on COM5 and COM12: run scripts/test-windows.sh"
