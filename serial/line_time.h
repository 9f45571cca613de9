// How long one character takes on an asynchronous serial line: start bit,
// data bits, parity bit and stop bits at the line rate.
#pragma once

#include <algorithm>
#include <cstdint>

namespace serial {

// stopHalfBits: 2 for one stop bit, 3 for one and a half, 4 for two.
// A rate of 0 counts as 9600; the result is at least 1 µs.
constexpr uint64_t CharacterTimeUs(uint32_t rate, uint32_t dataBits, bool parity, uint32_t stopHalfBits) {
  const uint64_t halfBits = 2 * (1 + uint64_t(dataBits) + (parity ? 1 : 0)) + stopHalfBits;
  return std::max<uint64_t>(1, halfBits * 1'000'000 / (2ull * (rate ? rate : 9600)));
}

}  // namespace serial
