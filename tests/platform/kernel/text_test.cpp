// 8-bit paths survive widening and narrowing byte for byte.
#include <gtest/gtest.h>

#include "platform/text.h"

namespace {

struct RoundTrip {
  const char* name;
  std::string bytes;
  std::u16string wide;  // empty: only the round trip is checked
};

class TextRoundTrip : public testing::TestWithParam<RoundTrip> {};

TEST_P(TextRoundTrip, NarrowingGivesBackTheBytes) {
  const RoundTrip& c = GetParam();
  const std::u16string wide = WidenUtf8(c.bytes);
  if (!c.wide.empty()) {
    EXPECT_EQ(wide, c.wide);
  }
  EXPECT_EQ(NarrowToUtf8(wide), c.bytes);
  EXPECT_EQ(NarrowToUtf8(wide.c_str()), c.bytes);
}

INSTANTIATE_TEST_SUITE_P(
    Paths, TextRoundTrip,
    testing::Values(RoundTrip{"Ascii", "/tmp/a b/pic.jpg", u"/tmp/a b/pic.jpg"},
                    RoundTrip{"Latin", "caf\xC3\xA9.tif", u"caf\u00E9.tif"},
                    RoundTrip{"Cjk", "\xE6\x97\xA5\xE6\x9C\xAC", u"\u65E5\u672C"},
                    RoundTrip{"Astral", "\xF0\x9F\x98\x80", u"\U0001F600"},
                    RoundTrip{"Latin1Byte", "caf\xE9.tif", u"caf\xDCE9.tif"},
                    RoundTrip{"LoneContinuation", "\x80x\xBF", u"\xDC80x\xDCBF"},
                    RoundTrip{"Overlong", "\xC0\xAF", u"\xDCC0\xDCAF"},
                    RoundTrip{"EncodedSurrogate", "\xED\xB2\x80", u"\xDCED\xDCB2\xDC80"},
                    RoundTrip{"BeyondUnicode", "\xF4\x90\x80\x80", {}},
                    RoundTrip{"CutSequence", "\xE6\x97", {}},
                    RoundTrip{"EscapeAfterAstral", "\xF0\x9F\x98\x80\xFF", {}},
                    RoundTrip{"EveryHighByte",
                              [] {
                                std::string s;
                                for (int b = 0x80; b < 0x100; ++b) s += static_cast<char>(b);
                                return s;
                              }(),
                              {}}),
    [](const testing::TestParamInfo<RoundTrip>& info) { return std::string(info.param.name); });

TEST(Text, NullNarrowsToEmpty) { EXPECT_EQ(NarrowToUtf8(static_cast<const WCHAR*>(nullptr)), ""); }

}  // namespace
