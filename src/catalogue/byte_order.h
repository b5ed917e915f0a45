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

// `out` becomes the first `bytes` bytes of `source`, restored (zeros past its end). `bytes` is a
// multiple of 4.
void RestoreInto(const std::vector<uint8_t>& source, size_t bytes, std::vector<uint8_t>& out);

}  // namespace skelbrook
