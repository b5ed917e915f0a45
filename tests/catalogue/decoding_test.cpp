// Restoring the recorder's byte order, the one decoder every record, directory and recording
// passes through: the fast routines must agree with the plain one byte for byte.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "catalogue/byte_order.h"

namespace skelbrook {
namespace {

TEST(ByteOrder, FastRestorationMatchesThePlainOneForEveryLengthAlignmentAndSize) {
  std::mt19937 random(9200);
  std::vector<uint8_t> in(1200);
  for (auto& b : in) b = static_cast<uint8_t>(random());
  for (long shift = 0; shift < 4; ++shift) {
    for (size_t count = 0; count <= 1024; count += (count < 300 ? 4 : 52)) {
      SCOPED_TRACE(testing::Message()
                   << RestoreByteOrderImplementation() << " count " << count << " shift " << shift);
      std::vector<uint8_t> fast(1200, 0xEE), plain(1200, 0xEE);
      RestoreByteOrder(in.data() + shift, fast.data() + 3 - shift, count);
      RestoreByteOrderPortable(in.data() + shift, plain.data() + 3 - shift, count);
      ASSERT_EQ(fast, plain);
      std::vector<uint8_t> inPlace(in.begin() + shift, in.end());
      RestoreByteOrder(inPlace.data(), inPlace.data(), count);
      ASSERT_TRUE(std::equal(inPlace.begin(), inPlace.begin() + static_cast<long>(count),
                             plain.begin() + 3 - shift));
    }
  }
  // Large blocks take the path that writes around the caches, its ends in whole 4-byte groups.
  const size_t count = (5u << 20) + 4 * 37;
  std::vector<uint8_t> large(count), fast(count + 12, 0xEE), plain(count + 12, 0xEE);
  for (auto& b : large) b = static_cast<uint8_t>(random());
  RestoreByteOrder(large.data(), fast.data() + 12, count);
  RestoreByteOrderPortable(large.data(), plain.data() + 12, count);
  ASSERT_EQ(fast, plain);
}

}  // namespace
}  // namespace skelbrook
