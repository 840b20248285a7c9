// make --verify, and reading back files that were changed after writing.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "avi_view/verify_avi.h"
#include "tests/support/picture_fixtures.h"
#include "tests/support/test_support.h"

namespace {

using testsupport::ShellQuote;

enum class Change { kNone, kFrame1Byte, kTruncate, kOneFrameMore };

struct VerifyCase {
  const char* name;
  const char* codec;
  bool lossless;  // frames compared by MD5
  Change change;  // made to the file after make --verify passed
  bool ok;
  std::string said;  // in the verification's text
};

class MakeVerify : public testing::TestWithParam<VerifyCase> {
 protected:
  testsupport::TempDir dir;
};

TEST_P(MakeVerify, ReadsBackWhatWasWritten) {
  const VerifyCase& c = GetParam();
  const std::string a = dir.file("a.png"), b = dir.file("b.bmp"), out = dir.file("out.avi");
  ASSERT_TRUE(testsupport::WritePngRgb(a, 45, 31, testsupport::Gradient(45, 31)));
  ASSERT_TRUE(testsupport::WriteBmpRgb(b, 20, 20, testsupport::Checker(3, {255, 0, 0}, {0, 0, 255})));
  const auto made = testsupport::RunCommand(testsupport::CliCommand("make --verify --cols 41 --rows 30 ") +
                                            "--codec " + c.codec + " -o " + ShellQuote(out) + " " + ShellQuote(a) +
                                            " " + ShellQuote(b) + " " + ShellQuote(a));
  ASSERT_EQ(made.exitCode, 0);
  EXPECT_NE(made.out.find("\nVerified 3 frames.\n"), std::string::npos) << made.out;

  const std::vector<std::string> md5s = c.lossless ? testsupport::FfmpegFrameMd5s(out, "", "-pix_fmt bgr24") : std::vector<std::string>{};
  ASSERT_EQ(md5s.size(), c.lossless ? 3u : 0u);
  std::vector<std::uint8_t> bytes = testsupport::ReadFileBytes(out);
  if (c.change == Change::kFrame1Byte) {
    // The second frame's chunk: a pixel in its middle.
    const std::string tag = "00db";
    auto at = std::search(bytes.begin(), bytes.end(), tag.begin(), tag.end());
    at = std::search(at + 1, bytes.end(), tag.begin(), tag.end());
    ASSERT_NE(at, bytes.end());
    at[8 + 41 * 3 * 15] ^= 0x40;
  }
  if (c.change == Change::kTruncate) bytes.resize(bytes.size() * 3 / 5);
  testsupport::WriteFileBytes(out, bytes);

  const avi_view::Verification verification =
      avi_view::VerifyAvi(out, c.change == Change::kOneFrameMore ? 4 : 3, md5s);
  EXPECT_EQ(verification.ok, c.ok) << verification.text;
  EXPECT_NE(verification.text.find(c.said), std::string::npos) << verification.text;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, MakeVerify,
    testing::Values(
        VerifyCase{"Uncompressed", "none", true, Change::kNone, true, "Verified 3 frames.\n"},
        VerifyCase{"Lossless", "FFV1", true, Change::kNone, true, "Verified 3 frames.\n"},
        VerifyCase{"LossyCountsOnly", "MJPG", false, Change::kNone, true, "Verified 3 frames.\n"},
        VerifyCase{"ChangedPixel", "none", true, Change::kFrame1Byte, false, "Frame 1 differs from the frame composed"},
        VerifyCase{"Truncated", "HFYU", true, Change::kTruncate, false, "."},
        VerifyCase{"FrameMissing", "MJPG", false, Change::kOneFrameMore, false,
                   "The file has 3 frames, not the 4 written.\n"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
