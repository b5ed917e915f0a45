// Restoring the recorder's byte order, the one decoder every record, directory and recording
// passes through: the fast routines must agree with the plain one byte for byte.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "catalogue/byte_order.h"

namespace skelbrook {
namespace {

// Every routine the processor has, not only the one RestoreByteOrder picks: a machine with AVX2
// would otherwise never run the SSSE3 one its users' older processors take.
TEST(ByteOrder, EveryRoutineMatchesThePlainOneForEveryLengthAlignmentAndSize) {
  std::mt19937 random(9200);
  std::vector<uint8_t> in(1200);
  for (auto& b : in) b = static_cast<uint8_t>(random());
  const size_t largeCount = (5u << 20) + 4 * 37;
  std::vector<uint8_t> large(largeCount);
  for (auto& b : large) b = static_cast<uint8_t>(random());
  const std::vector<ByteOrderRoutine> routines = ByteOrderRoutines();
  ASSERT_TRUE(std::any_of(routines.begin(), routines.end(), [](const ByteOrderRoutine& r) {
    return std::string(r.name) == RestoreByteOrderImplementation();
  })) << "the routine in use is among those tested";
  for (const ByteOrderRoutine& routine : routines) {
    for (long shift = 0; shift < 4; ++shift) {
      for (size_t count = 0; count <= 1024; count += (count < 300 ? 4 : 52)) {
        SCOPED_TRACE(testing::Message()
                     << routine.name << " count " << count << " shift " << shift);
        std::vector<uint8_t> fast(1200, 0xEE), plain(1200, 0xEE);
        routine.restore(in.data() + shift, fast.data() + 3 - shift, count);
        RestoreByteOrderPortable(in.data() + shift, plain.data() + 3 - shift, count);
        ASSERT_EQ(fast, plain);
        std::vector<uint8_t> inPlace(in.begin() + shift, in.end());
        routine.restore(inPlace.data(), inPlace.data(), count);
        ASSERT_TRUE(std::equal(inPlace.begin(), inPlace.begin() + static_cast<long>(count),
                               plain.begin() + 3 - shift));
      }
    }
    // Large blocks take the path that writes around the caches, its ends in whole 4-byte groups.
    SCOPED_TRACE(routine.name);
    std::vector<uint8_t> fast(largeCount + 12, 0xEE), plain(largeCount + 12, 0xEE);
    routine.restore(large.data(), fast.data() + 12, largeCount);
    RestoreByteOrderPortable(large.data(), plain.data() + 12, largeCount);
    ASSERT_EQ(fast, plain);
  }
}

}  // namespace
}  // namespace skelbrook
