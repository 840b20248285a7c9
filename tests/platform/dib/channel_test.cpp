// Channels widened to 8 bits, against values worked out by hand.
#include <gtest/gtest.h>

#include "platform/dib/channel.h"

namespace {

TEST(ExpandChannel, RepeatsTheBitsOfNarrowChannelsAndKeepsTheTopOfWideOnes) {
  struct Case {
    int bits;
    std::uint32_t value;
    int expected;
  };
  const Case cases[] = {
      {1, 1, 0xFF},       // 1 -> 11111111
      {2, 1, 0x55},       // 01 -> 01010101
      {3, 5, 0xB6},       // 101 -> 101 101 10
      {4, 0xA, 0xAA},     // 1010 -> 1010 1010
      {5, 1, 0x08},       // 00001 -> 00001 000
      {5, 16, 132},       // 10000 -> 10000 100
      {5, 31, 0xFF},
      {6, 32, 130},       // 100000 -> 100000 10
      {6, 63, 0xFF},
      {8, 77, 77},
      {10, 0x201, 0x80},  // the top 8 of 10 bits
      {0, 0, 0},          // no channel at all
  };
  for (const Case& c : cases)
    EXPECT_EQ(dib::ExpandChannel(c.value, c.bits), c.expected) << c.bits << " bits, value " << c.value;
}

}  // namespace
