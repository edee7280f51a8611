// Where a writer's bytes go: an open file or a vector in memory. The first
// failed write is remembered; later writes are dropped.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <vector>

namespace imaging {

class ByteSink {
 public:
  explicit ByteSink(std::FILE* file) : file_(file) {}
  explicit ByteSink(std::vector<uint8_t>* memory) : memory_(memory) {}

  void Write(const void* bytes, size_t size);
  void Byte(uint8_t b) { Write(&b, 1); }
  // A 16-bit value, low byte first.
  void Word(uint16_t w) {
    const uint8_t bytes[2] = {uint8_t(w & 0xff), uint8_t(w >> 8)};
    Write(bytes, 2);
  }
  bool failed() const { return failed_; }

 private:
  std::FILE* file_ = nullptr;
  std::vector<uint8_t>* memory_ = nullptr;
  bool failed_ = false;
};

}  // namespace imaging
