// Lookups in a version block of the Windows layout (VS_VERSIONINFO): nodes of
// a 16-bit length, a value length, a type, a zero-terminated UTF-16 key and a
// value, children following at 32-bit boundaries. The block may come from
// anywhere, so every length is checked against the bytes at hand.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace version {

struct BlockValue {
  uint16_t type;        // 1 text, 0 binary
  const uint8_t* data;  // inside the block
  size_t size;          // bytes
};

// The value at a sub-block path ("StringFileInfo\041904E3\FileVersion";
// leading or doubled backslashes do not count, "\" is the root's fixed part).
// Keys compare without regard to ASCII letter case. Nothing when the path
// names no node or the block is malformed on the way to it.
std::optional<BlockValue> QueryBlockValue(const uint8_t* block, size_t size, std::string_view subBlock);

// The text at a sub-block path, up to its terminating zero or the end of its
// node.
std::optional<std::u16string> QueryBlockText(const uint8_t* block, size_t size, std::string_view subBlock);

std::string Utf16ToUtf8(std::u16string_view text);
// Nothing when the text is no valid UTF-8.
std::optional<std::u16string> Utf8ToUtf16(std::string_view text);

}  // namespace version
