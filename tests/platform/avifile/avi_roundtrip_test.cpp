// Frames written through the AVI functions read back unchanged, with the
// stream header and format as given, in plain and OpenDML files.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

#include "platform/avifile.h"
#include "tests/platform/avifile/avi_test_support.h"
#include "tests/support/test_support.h"

namespace {

using avitest::Clip;
using testsupport::TempDir;
using testsupport::Le32;

// The top-level RIFF parts of a file, as (form type, size) in order.
std::vector<std::pair<std::string, std::uint32_t>> RiffParts(const std::vector<std::uint8_t>& file) {
  std::vector<std::pair<std::string, std::uint32_t>> parts;
  std::size_t pos = 0;
  while (pos + 12 <= file.size() && std::memcmp(&file[pos], "RIFF", 4) == 0) {
    const std::uint32_t size = Le32(file, pos + 4);
    parts.emplace_back(std::string(reinterpret_cast<const char*>(&file[pos + 8]), 4), size);
    pos += 8 + size + (size & 1);
  }
  EXPECT_EQ(pos, file.size()) << "the parts cover the file exactly";
  return parts;
}

void ExpectWritten(const avitest::WriteOutcome& w, std::size_t frames) {
  EXPECT_EQ(w.open, AVIERR_OK);
  EXPECT_EQ(w.create, AVIERR_OK);
  EXPECT_EQ(w.format, AVIERR_OK);
  ASSERT_EQ(w.writes.size(), frames);
  for (HRESULT hr : w.writes) EXPECT_EQ(hr, AVIERR_OK);
  EXPECT_EQ(w.streamRelease, 0);
  EXPECT_EQ(w.fileRelease, 0);
}

void ExpectSameFrames(const avitest::ReadBack& r, const Clip& clip) {
  ASSERT_EQ(r.open, AVIERR_OK);
  ASSERT_EQ(r.stream, AVIERR_OK);
  EXPECT_TRUE(r.reads.empty());
  ASSERT_EQ(r.frames.size(), clip.frames.size());
  for (std::size_t i = 0; i < clip.frames.size(); ++i) EXPECT_EQ(r.frames[i], clip.frames[i]) << "frame " << i;
}

struct Size {
  int width, height;
};

class RawRoundTrip : public testing::TestWithParam<Size> {};

TEST_P(RawRoundTrip, FramesHeaderAndFormatComeBackAsWritten) {
  const auto [width, height] = GetParam();
  TempDir dir;
  const Clip clip = avitest::RawClip(width, height, 12, 5);
  ExpectWritten(avitest::WriteClip(dir.file("raw.avi"), clip), 5);

  const avitest::ReadBack r = avitest::ReadClip(dir.file("raw.avi"));
  ExpectSameFrames(r, clip);
  EXPECT_EQ(r.format, clip.format);
  const AVISTREAMINFOA& i = r.info;
  EXPECT_EQ(i.fccType, streamtypeVIDEO);
  EXPECT_EQ(i.fccHandler, mmioFOURCC('D', 'I', 'B', ' '));
  EXPECT_EQ(i.wPriority, 1);
  EXPECT_EQ(i.dwScale, 1u);
  EXPECT_EQ(i.dwRate, 12u);
  EXPECT_EQ(i.dwLength, 5u);
  EXPECT_EQ(i.dwQuality, static_cast<DWORD>(-1));
  EXPECT_EQ(i.dwSampleSize, clip.header.dwSampleSize);
  EXPECT_EQ(i.dwSuggestedBufferSize, clip.header.dwSuggestedBufferSize);
  EXPECT_EQ(i.rcFrame.right, width);
  EXPECT_EQ(i.rcFrame.bottom, height);
  EXPECT_STREQ(i.szName, "Stillweaver");
  for (bool key : r.keys) EXPECT_TRUE(key);

  // One part, sized exactly, and the main header counts the frames.
  const auto bytes = testsupport::ReadFileBytes(dir.file("raw.avi"));
  const auto parts = RiffParts(bytes);
  ASSERT_EQ(parts.size(), 1u);
  EXPECT_EQ(parts[0].first, "AVI ");
  EXPECT_EQ(Le32(bytes, 32 + 16), 5u) << "avih dwTotalFrames";
  EXPECT_EQ(Le32(bytes, 32 + 12) & 0x10, 0x10u) << "AVIF_HASINDEX";
}

INSTANTIATE_TEST_SUITE_P(Sizes, RawRoundTrip,
                         testing::Values(Size{1, 1}, Size{3, 2}, Size{64, 48}, Size{1281, 3}, Size{600, 100}),
                         [](const auto& info) {
                           return std::to_string(info.param.width) + "x" + std::to_string(info.param.height);
                         });

// A made-up compressor's frames: any sizes (odd, empty, larger than the
// write buffer's direct threshold), key flags as given.
Clip CompressedClip() {
  Clip clip;
  clip.header = avitest::StreamHeader(32, 16, 25, 0);
  clip.format = avitest::FakeCompressedFormat(32, 16, 13);
  const std::size_t sizes[] = {1000, 7, 0, 70001, 64, 1, 0, 300000, 12, 5};
  const DWORD flags[] = {AVIIF_KEYFRAME, 0, 0, 0, AVIIF_KEYFRAME, 0, AVIIF_KEYFRAME, 0, AVIIF_KEYFRAME, 0};
  for (std::size_t i = 0; i < std::size(sizes); ++i) {
    std::vector<std::uint8_t> frame(sizes[i]);
    for (std::size_t b = 0; b < frame.size(); ++b) frame[b] = static_cast<std::uint8_t>(b * 31 + i);
    clip.frames.push_back(std::move(frame));
    clip.flags.push_back(flags[i]);
  }
  return clip;
}

TEST(CompressedRoundTrip, SizesFlagsAndLongFormatSurvive) {
  TempDir dir;
  const Clip clip = CompressedClip();
  ExpectWritten(avitest::WriteClip(dir.file("c.avi"), clip), clip.frames.size());
  const avitest::ReadBack r = avitest::ReadClip(dir.file("c.avi"));
  ExpectSameFrames(r, clip);
  EXPECT_EQ(r.format, clip.format) << "all 53 bytes of the format";
  EXPECT_EQ(r.info.dwSampleSize, 0u);
  // Frame 6 was flagged key but is empty: it carries no picture.
  const std::vector<bool> keys = {true, false, false, false, true, false, false, false, true, false};
  EXPECT_EQ(r.keys, keys);
}

TEST(CompressedRoundTrip, KeySearchFindsTheNearestKeyFrame) {
  TempDir dir;
  const Clip clip = CompressedClip();
  avitest::WriteClip(dir.file("c.avi"), clip);
  PAVIFILE file = nullptr;
  ASSERT_EQ(AVIFileOpenA(&file, dir.file("c.avi").c_str(), OF_READ, nullptr), AVIERR_OK);
  PAVISTREAM s = nullptr;
  ASSERT_EQ(AVIFileGetStream(file, &s, streamtypeVIDEO, 0), AVIERR_OK);
  struct Case {
    LONG pos, flags, expected;
  } cases[] = {
      {0, FIND_KEY | FIND_PREV, 0},  {3, FIND_KEY | FIND_PREV, 0},  {4, FIND_KEY | FIND_PREV, 4},
      {7, FIND_KEY | FIND_PREV, 4},  {9, FIND_KEY | FIND_PREV, 8},  {1, FIND_KEY | FIND_NEXT, 4},
      {5, FIND_KEY | FIND_NEXT, 8},  {9, FIND_KEY | FIND_NEXT, -1}, {10, FIND_KEY | FIND_PREV, -1},
      {-1, FIND_KEY | FIND_PREV, -1},
  };
  for (const Case& c : cases)
    EXPECT_EQ(AVIStreamFindSample(s, c.pos, c.flags), c.expected) << "pos " << c.pos << " flags " << c.flags;
  EXPECT_EQ(AVIStreamRelease(s), 0);
  EXPECT_EQ(AVIFileRelease(file), 0);
}

TEST(OpenDmlRoundTrip, PartsCarryEveryFrameAndKeyFlag) {
  TempDir dir;
  Clip clip = avitest::RawClip(64, 48, 10, 45);  // 9,224-byte chunks
  ExpectWritten(avitest::WriteClip(dir.file("odml.avi"), clip, 100000), 45);
  ExpectSameFrames(avitest::ReadClip(dir.file("odml.avi")), clip);

  const auto bytes = testsupport::ReadFileBytes(dir.file("odml.avi"));
  const auto parts = RiffParts(bytes);
  ASSERT_GE(parts.size(), 4u);
  EXPECT_EQ(parts[0].first, "AVI ");
  for (std::size_t i = 1; i < parts.size(); ++i) EXPECT_EQ(parts[i].first, "AVIX");
  for (const auto& part : parts) EXPECT_LE(part.second + 8, 100000u);
  const std::uint32_t firstPartFrames = Le32(bytes, 32 + 16);
  EXPECT_GT(firstPartFrames, 0u);
  EXPECT_LT(firstPartFrames, 45u) << "avih counts the first part only";

  // Key flags travel through the standard indexes too.
  Clip compressed = CompressedClip();
  ExpectWritten(avitest::WriteClip(dir.file("codml.avi"), compressed, 80000), compressed.frames.size());
  EXPECT_GE(RiffParts(testsupport::ReadFileBytes(dir.file("codml.avi"))).size(), 3u);
  const avitest::ReadBack r = avitest::ReadClip(dir.file("codml.avi"));
  ExpectSameFrames(r, compressed);
  EXPECT_EQ(r.keys, (std::vector<bool>{true, false, false, false, true, false, false, false, true, false}));
}

TEST(OpenDmlRoundTrip, TheSuperIndexLimitsThePartsAndTheFileStaysWhole) {
  TempDir dir;
  // Every frame needs a part of its own; the super index holds 256.
  Clip clip = avitest::RawClip(4, 4, 10, 260);
  const avitest::WriteOutcome w = avitest::WriteClip(dir.file("full.avi"), clip, 1);
  ASSERT_EQ(w.writes.size(), 257u);
  EXPECT_EQ(w.writes[255], AVIERR_OK);
  EXPECT_EQ(w.writes[256], AVIERR_BADSIZE);
  EXPECT_EQ(w.streamRelease, 0);
  EXPECT_EQ(w.fileRelease, 0);
  clip.frames.resize(256);
  ExpectSameFrames(avitest::ReadClip(dir.file("full.avi")), clip);
}

TEST(WriteLifecycle, EmptyStreamGivesAPlayableFileWithoutFrames) {
  TempDir dir;
  Clip clip = avitest::RawClip(8, 8, 10, 0);
  ExpectWritten(avitest::WriteClip(dir.file("empty.avi"), clip), 0);
  const avitest::ReadBack r = avitest::ReadClip(dir.file("empty.avi"));
  ASSERT_EQ(r.stream, AVIERR_OK);
  EXPECT_EQ(r.frames.size(), 0u);
  EXPECT_EQ(r.format, clip.format);
  EXPECT_STREQ(r.info.szName, "Stillweaver");
}

TEST(WriteLifecycle, TheLastReferenceFinishesTheFileWhicheverItIs) {
  TempDir dir;
  const Clip clip = avitest::RawClip(8, 4, 10, 3);
  const auto [opened, file, stream] = avitest::OpenForWriting(dir.file("order.avi"), clip);
  ASSERT_EQ(opened, AVIERR_OK);
  for (int i = 0; i < 3; ++i) {
    LONG samples = 0, bytes = 0;
    ASSERT_EQ(avitest::WriteFrame(stream, clip, i, &samples, &bytes), AVIERR_OK);
    EXPECT_EQ(samples, 1);
    EXPECT_EQ(bytes, static_cast<LONG>(clip.frames[i].size()));
  }
  PAVISTREAM again = nullptr;
  ASSERT_EQ(AVIFileGetStream(file, &again, streamtypeVIDEO, 0), AVIERR_OK);
  EXPECT_EQ(again, stream);
  EXPECT_EQ(AVIStreamRelease(again), 1) << "one stream reference left";
  EXPECT_EQ(AVIFileRelease(file), 1) << "the stream still holds the file";

  // Everything written so far is on disk before the file is finished: a
  // reader of the unfinished file (sizes still open) finds every frame.
  EXPECT_EQ(AVIStreamRelease(stream), 0);
  ExpectSameFrames(avitest::ReadClip(dir.file("order.avi")), clip);
}

TEST(WriteLifecycle, AnUnfinishedFileReadsBack) {
  TempDir dir;
  const Clip clip = avitest::RawClip(8, 4, 10, 4);
  const auto [opened, file, stream] = avitest::OpenForWriting(dir.file("w.avi"), clip);
  ASSERT_EQ(opened, AVIERR_OK);
  for (int i = 0; i < 4; ++i) ASSERT_EQ(avitest::WriteFrame(stream, clip, i), AVIERR_OK);
  ASSERT_EQ(AVIStreamRelease(stream), 0);  // flushes; the file is still open
  std::filesystem::copy_file(dir.file("w.avi"), dir.file("unfinished.avi"));
  ASSERT_EQ(AVIFileRelease(file), 0);
  ExpectSameFrames(avitest::ReadClip(dir.file("unfinished.avi")), clip);
}

}  // namespace
