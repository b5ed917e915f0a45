// The recorder stores every aligned 4-byte group of its records, directories and recordings
// reversed. One routine restores that order everywhere, at memory speed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace skelbrook {

// Writes the first `count` bytes of `in` to `out` with each 4-byte group (counted from the start)
// reversed: 01 02 03 04 05 06 07 08 becomes 04 03 02 01 08 07 06 05. `count` is a multiple of 4.
// `in` and `out` may be the same buffer but must not otherwise overlap.
void RestoreByteOrder(const uint8_t* in, uint8_t* out, size_t count);

// The plain byte-by-byte restoration; the fast one gives identical results.
void RestoreByteOrderPortable(const uint8_t* in, uint8_t* out, size_t count);

// The name of the implementation RestoreByteOrder uses on this processor.
const char* RestoreByteOrderImplementation();

// One way of restoring the order, and its name.
struct ByteOrderRoutine {
  const char* name;
  void (*restore)(const uint8_t* in, uint8_t* out, size_t count);
};
// Every routine this processor can run, so that each can be held to the plain one; RestoreByteOrder
// picks the fastest of them.
std::vector<ByteOrderRoutine> ByteOrderRoutines();

// SwapBuffer = the first Sz bytes of BlockBuffer, restored. Sz is a multiple of 4 within the
// buffer.
void SwapThem(const std::vector<uint8_t>& BlockBuffer, size_t Sz, std::vector<uint8_t>& SwapBuffer);
// The same, one number per byte.
void SwapThem4(const std::vector<uint8_t>& BlockBuffer, size_t Sz,
               std::vector<int64_t>& SwapBuffer4);

}  // namespace skelbrook
