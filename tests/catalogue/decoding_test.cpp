// Restoring the recorder's byte order, the one decoder every record, directory and recording
// passes through: the fast routines must agree with the plain one byte for byte.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "catalogue/byte_order.h"

namespace skelbrook {
namespace {

TEST(ByteOrder, EachFourByteGroupIsReversed) {
  const std::vector<uint8_t> stored = {1, 2, 3, 4, 5, 6, 7, 8};
  std::vector<uint8_t> restored;
  SwapThem(stored, 8, restored);
  EXPECT_EQ(restored, (std::vector<uint8_t>{4, 3, 2, 1, 8, 7, 6, 5}));
  SwapThem(stored, 4, restored);  // only the bytes asked for
  EXPECT_EQ(restored, (std::vector<uint8_t>{4, 3, 2, 1}));
  std::vector<int64_t> numbers;
  SwapThem4({0x0A, 0x0B, 0x0C, 0xFF}, 4, numbers);
  EXPECT_EQ(numbers, (std::vector<int64_t>{255, 0x0C, 0x0B, 0x0A}));
}

TEST(ByteOrder, FastRestorationMatchesThePlainOneForEveryLengthAndAlignment) {
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
}

TEST(ByteOrder, LargeBlocksBeyondTheCachesAgreeWithThePlainOne) {
  // Large blocks take the path that writes around the caches; its start and end are done in
  // whole 4-byte groups on either side of the aligned part.
  const size_t count = (5u << 20) + 4 * 37;
  std::vector<uint8_t> in(count + 8);
  std::mt19937 random(188);
  for (auto& b : in) b = static_cast<uint8_t>(random());
  for (size_t shift : {0u, 4u, 12u}) {
    std::vector<uint8_t> fast(count + 16, 0xEE), plain(count + 16, 0xEE);
    RestoreByteOrder(in.data(), fast.data() + shift, count);
    RestoreByteOrderPortable(in.data(), plain.data() + shift, count);
    ASSERT_EQ(fast, plain) << "shift " << shift;
  }
}

}  // namespace
}  // namespace skelbrook
