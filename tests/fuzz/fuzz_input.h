// Reading a fuzz input as fields: single bytes, and chunks of a length byte
// followed by that many bytes (fewer at the end). Past the end everything
// reads as zero or empty, so every input is a valid one.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>

class FuzzInput {
 public:
  FuzzInput(const uint8_t* data, size_t size) : data_(data), size_(size) {}

  bool Empty() const { return pos_ >= size_; }
  uint8_t Byte() { return pos_ < size_ ? data_[pos_++] : 0; }
  std::string Chunk() {
    const size_t length = Byte();  // first: the rest is counted after it
    const size_t n = std::min(length, size_ - pos_);
    std::string s(reinterpret_cast<const char*>(data_) + pos_, n);
    pos_ += n;
    return s;
  }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t pos_ = 0;
};
