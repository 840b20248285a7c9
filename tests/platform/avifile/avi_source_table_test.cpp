// Each frame's source travels in a JUNK chunk at the file's end: it comes
// back as written, a damaged one is ignored, and readers still see every
// frame.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>

#include "platform/avifile.h"
#include "tests/platform/avifile/avi_test_support.h"
#include "tests/support/test_support.h"

namespace {

using avitest::Clip;
using Bytes = std::vector<std::uint8_t>;
using testsupport::TempDir;

Clip ClipWithSources(int frames, const std::string& stem) {
  Clip clip = avitest::RawClip(16, 8, 10, frames);
  for (int i = 0; i < frames; ++i)
    clip.sources.emplace_back(stem + std::to_string(i) + ".jpg", i % 3 ? "2024:05:01 10:00:0" + std::to_string(i % 10) + ".000000000" : "");
  return clip;
}

struct RoundTrip {
  const char* name;
  int frames;
  std::uint64_t partLimit;  // 0: one RIFF part
  std::string stem;
  int sourcesSet;  // frames given a source, from the first; -1 all
};

class SourceTableRoundTrip : public testing::TestWithParam<RoundTrip> {};

TEST_P(SourceTableRoundTrip, GivesBackEverySourceAndEveryFrame) {
  const RoundTrip& c = GetParam();
  TempDir dir;
  Clip clip = ClipWithSources(c.frames, c.stem);
  if (c.sourcesSet >= 0) clip.sources.resize(static_cast<std::size_t>(c.sourcesSet));
  const std::string path = dir.file("s.avi");
  ASSERT_EQ(avitest::WriteClip(path, clip, c.partLimit).fileRelease, 0);

  const avitest::ReadBack r = avitest::ReadClip(path);
  ASSERT_EQ(r.open, AVIERR_OK);
  ASSERT_EQ(r.frames.size(), clip.frames.size());
  for (std::size_t i = 0; i < r.frames.size(); ++i) EXPECT_EQ(r.frames[i], clip.frames[i]) << "frame " << i;
  EXPECT_EQ(r.hasSources, !clip.sources.empty());
  EXPECT_EQ(r.sources, clip.sources);

  if (testsupport::HaveFfmpeg()) {
    EXPECT_EQ(testsupport::Ffprobe(path, "-count_frames -select_streams v:0 -show_entries stream=nb_read_frames"),
              "nb_read_frames=" + std::to_string(c.frames) + "\n");
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SourceTableRoundTrip,
    testing::Values(RoundTrip{"OnePart", 12, 0, "/pictures/img", -1},
                    RoundTrip{"OpenDml", 30, 3000, "/pictures/img", -1},
                    RoundTrip{"NamesWithSpacesAndUtf8", 5, 0, "/tmp/Fotos für Oma/Bild ", -1},
                    RoundTrip{"OddTableLength", 1, 0, "a", -1},
                    RoundTrip{"FirstFramesOnly", 10, 0, "p", 4},
                    RoundTrip{"NoSources", 6, 0, "p", 0}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(SourceTable, IsTheLastChunkOfTheLastRiffPart) {
  TempDir dir;
  const std::string path = dir.file("s.avi");
  ASSERT_EQ(avitest::WriteClip(path, ClipWithSources(30, "x"), 3000).fileRelease, 0);
  const Bytes b = testsupport::ReadFileBytes(path);
  std::size_t lastRiff = 0;
  for (std::size_t at = 0; at + 8 <= b.size();) {
    lastRiff = at;
    at += 8 + (b[at + 4] | b[at + 5] << 8 | b[at + 6] << 16 | std::size_t{b[at + 7]} << 24);
    ASSERT_LE(at, b.size()) << "every RIFF part's size covers its chunks";
  }
  ASSERT_GT(lastRiff, 0u);
  std::size_t junk = std::string::npos;
  for (std::size_t at = b.size() - 8; at > lastRiff; --at)
    if (std::memcmp(&b[at], "JUNK", 4) == 0 && std::memcmp(&b[at + 8], "SWSOURCE", 8) == 0) {
      junk = at;
      break;
    }
  ASSERT_NE(junk, std::string::npos);
  const std::size_t size = b[junk + 4] | b[junk + 5] << 8 | b[junk + 6] << 16 | std::size_t{b[junk + 7]} << 24;
  EXPECT_EQ(junk + 8 + size + (size & 1), b.size());
}

struct TableDamage {
  const char* name;
  std::function<void(Bytes& b, std::size_t table)> apply;  // table: offset of "SWSOURCE"
};

class DamagedSourceTable : public testing::TestWithParam<TableDamage> {};

TEST_P(DamagedSourceTable, IsIgnoredAndEveryFrameStillReads) {
  TempDir dir;
  const Clip clip = ClipWithSources(12, "/p/img");
  ASSERT_EQ(avitest::WriteClip(dir.file("good.avi"), clip).fileRelease, 0);
  Bytes b = testsupport::ReadFileBytes(dir.file("good.avi"));
  std::size_t table = std::string::npos;
  for (std::size_t at = 0; at + 8 <= b.size(); ++at)
    if (std::memcmp(&b[at], "SWSOURCE", 8) == 0) table = at;
  ASSERT_NE(table, std::string::npos);
  GetParam().apply(b, table);
  testsupport::WriteFileBytes(dir.file("bad.avi"), b);

  const avitest::ReadBack r = avitest::ReadClip(dir.file("bad.avi"));
  ASSERT_EQ(r.open, AVIERR_OK);
  EXPECT_TRUE(r.reads.empty());
  ASSERT_EQ(r.frames.size(), clip.frames.size());
  for (std::size_t i = 0; i < r.frames.size(); ++i) EXPECT_EQ(r.frames[i], clip.frames[i]) << "frame " << i;
  EXPECT_FALSE(r.hasSources);
  EXPECT_TRUE(r.sources.empty());
}

void Put32(Bytes& b, std::size_t at, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DamagedSourceTable,
    testing::Values(
        TableDamage{"CutShort", [](Bytes& b, std::size_t t) { b.resize(t + 40); }},
        TableDamage{"UnknownVersion", [](Bytes& b, std::size_t t) { Put32(b, t + 8, 99); }},
        TableDamage{"CountBeyondTheData", [](Bytes& b, std::size_t t) { Put32(b, t + 16, 0xFFFFFFF0u); }},
        TableDamage{"PathPastTheEnd", [](Bytes& b, std::size_t t) { Put32(b, t + 20, 0x7FFFFFFFu); }},
        TableDamage{"ChunkSizeHuge", [](Bytes& b, std::size_t t) { Put32(b, t - 4, 0xFFFFFFF0u); }},
        TableDamage{"NoStreamOfThatNumber", [](Bytes& b, std::size_t t) { Put32(b, t + 12, 7); }},
        TableDamage{"NulInAName", [](Bytes& b, std::size_t t) { b[t + 24] = 0; }}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(SourceTable, SettingOneNeedsAFrameWrittenAndAWriter) {
  TempDir dir;
  const Clip clip = avitest::RawClip(16, 8, 10, 1);
  auto [opened, file, stream] = avitest::OpenForWriting(dir.file("s.avi"), clip);
  ASSERT_EQ(opened, AVIERR_OK);
  EXPECT_EQ(AVIStreamSetFrameSource(stream, 0, "a.jpg", ""), AVIERR_BADPARAM);
  ASSERT_EQ(avitest::WriteFrame(stream, clip, 0), AVIERR_OK);
  EXPECT_EQ(AVIStreamSetFrameSource(stream, 0, "a.jpg", ""), AVIERR_OK);
  EXPECT_EQ(AVIStreamSetFrameSource(stream, 1, "b.jpg", ""), AVIERR_BADPARAM);
  EXPECT_EQ(AVIStreamSetFrameSource(nullptr, 0, "a.jpg", ""), AVIERR_BADHANDLE);
  EXPECT_EQ(AVIStreamRelease(stream), 0);
  EXPECT_EQ(AVIFileRelease(file), 0);

  ASSERT_EQ(AVIFileOpenA(&file, dir.file("s.avi").c_str(), OF_READ, nullptr), AVIERR_OK);
  ASSERT_EQ(AVIFileGetStream(file, &stream, streamtypeVIDEO, 0), AVIERR_OK);
  EXPECT_EQ(AVIStreamSetFrameSource(stream, 0, "c.jpg", ""), AVIERR_READONLY);
  const char* source = nullptr;
  const char* time = nullptr;
  EXPECT_EQ(AVIStreamFrameSource(stream, 1, &source, &time), AVIERR_BADPARAM);
  ASSERT_EQ(AVIStreamFrameSource(stream, 0, &source, &time), AVIERR_OK);
  EXPECT_STREQ(source, "a.jpg");
  (void)AVIStreamRelease(stream);
  (void)AVIFileRelease(file);
}

}  // namespace
