// Numbers in the recorder's bytes: little-endian 32-bit values as the disk stores its tables and
// descriptors, and most-significant-first values as restored records and directories hold them.
#pragma once

#include <cstdint>

namespace skelbrook {

inline uint32_t LittleEndian32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
         static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

// `width` bytes (at most 8), most significant first.
inline uint64_t BigEndian(const uint8_t* p, int width) {
  uint64_t value = 0;
  for (int i = 0; i < width; ++i) value = value << 8 | p[i];
  return value;
}

inline int64_t BigEndian32(const uint8_t* p) {
  return static_cast<int64_t>(BigEndian(p, 4));
}

}  // namespace skelbrook
