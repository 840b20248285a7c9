// Colour stated in MPEG-4 visual object headers.
#include <gtest/gtest.h>

#include <vector>

#include "platform/codec/visual_object_header.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

const Bytes kVos{0, 0, 1, 0xB0, 0xF5};
const Bytes kVop{0, 0, 1, 0xB6, 0x10, 0x20};

Bytes Join(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& part : parts) out.insert(out.end(), part.begin(), part.end());
  return out;
}

struct Case {
  const char* name;
  Bytes packet;
  bool amended;
  Bytes expected;
};

// Headers as libavcodec writes them: identifier, verid 1, priority 1, video, no signal type, stuffing.
const Bytes kPlainVo{0, 0, 1, 0xB5, 0x89, 0x13};
// The same stating primaries 1, transfer 1, matrix 6, limited range:
// 1 0001 001 0001 | 1 101 0 1 | 00000001 00000001 00000110 | 0 11111
const Bytes kColourVo{0, 0, 1, 0xB5, 0x89, 0x1D, 0x40, 0x40, 0x41, 0x9F};
// Without the identifier: 0 0001 0 | 0 1, and stating the colour.
const Bytes kShortVo{0, 0, 1, 0xB5, 0x09};
const Bytes kShortColourVo{0, 0, 1, 0xB5, 0x0E, 0xA0, 0x20, 0x20, 0xCF};
const Case kCases[] = {
    {"KeyFrameHeaders", Join({kVos, kPlainVo, kVop}), true, Join({kVos, kColourVo, kVop})},
    {"NoIdentifier", Join({kShortVo, kVop}), true, Join({kShortColourVo, kVop})},
    {"AlreadyStated", Join({kVos, kColourVo, kVop}), false, {}},
    {"InterFrame", kVop, false, {}},
    {"HeaderAfterThePicture", Join({kVop, kPlainVo}), false, {}},
    {"StillTexture", Join({kVos, Bytes{0, 0, 1, 0xB5, 0x89, 0x23}, kVop}), false, {}},
    {"Truncated", Bytes{0, 0, 1, 0xB5}, false, {}},
};

class SignalColourTest : public ::testing::TestWithParam<Case> {};

TEST_P(SignalColourTest, AmendsOnlyAVideoHeaderWithoutSignalType) {
  const Case& c = GetParam();
  Bytes out{0xEE};
  EXPECT_EQ(codec::SignalColour(c.packet.data(), c.packet.size(), codec::kBt601Limited, &out), c.amended);
  EXPECT_EQ(out, c.amended ? c.expected : Bytes{0xEE});
}

INSTANTIATE_TEST_SUITE_P(Packets, SignalColourTest, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
