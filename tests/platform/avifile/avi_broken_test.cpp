// Damaged and unusual files: an error code or every complete frame, never a
// crash; hand-made files with the layouts other writers use.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstring>
#include <filesystem>
#include <functional>
#include <random>

#include "platform/avifile.h"
#include "tests/platform/avifile/avi_test_support.h"
#include "tests/support/test_support.h"

namespace {

using avitest::Clip;
using Bytes = std::vector<std::uint8_t>;
using testsupport::TempDir;
using testsupport::Le32;
using testsupport::PutLe32;

std::size_t Find(const Bytes& b, const char* fourcc, std::size_t from = 0) {
  for (std::size_t i = from; i + 4 <= b.size(); ++i)
    if (std::memcmp(&b[i], fourcc, 4) == 0) return i;
  return std::string::npos;
}
std::size_t FindLast(const Bytes& b, const char* fourcc) {
  std::size_t last = std::string::npos;
  for (std::size_t at = Find(b, fourcc); at != std::string::npos; at = Find(b, fourcc, at + 1)) last = at;
  return last;
}
// Complete "00db" chunks of the given size that end before cut: what a
// reader can still return from a file cut there.
std::size_t CompleteChunks(const Bytes& b, std::uint32_t size, std::size_t cut) {
  std::size_t n = 0;
  for (std::size_t at = Find(b, "00db"); at != std::string::npos; at = Find(b, "00db", at + 1))
    if (at + 8 <= b.size() && Le32(b, at + 4) == size && at + 8 + size <= cut) ++n;
  return n;
}

// ---------------------------------------------------------------------------
// Damaged copies of files we wrote.

constexpr int kW = 16, kH = 8;
constexpr std::uint32_t kFrameBytes = 48 * 8;  // stride 48

struct Damage {
  const char* name;
  bool openDml;
  // Changes the file's bytes; returns the frames a reader must still find.
  std::function<std::size_t(Bytes&)> apply;
};

class DamagedFile : public testing::TestWithParam<Damage> {};

TEST_P(DamagedFile, GivesEveryCompleteFrame) {
  const Damage& d = GetParam();
  TempDir dir;
  const Clip clip = avitest::RawClip(kW, kH, 10, d.openDml ? 30 : 12);
  ASSERT_EQ(avitest::WriteClip(dir.file("good.avi"), clip, d.openDml ? 3000 : 0).fileRelease, 0);
  Bytes bytes = testsupport::ReadFileBytes(dir.file("good.avi"));
  const std::size_t expected = d.apply(bytes);
  testsupport::WriteFileBytes(dir.file("bad.avi"), bytes);

  const avitest::ReadBack r = avitest::ReadClip(dir.file("bad.avi"));
  ASSERT_EQ(r.open, AVIERR_OK);
  ASSERT_EQ(r.stream, AVIERR_OK);
  EXPECT_TRUE(r.reads.empty());
  ASSERT_EQ(r.frames.size(), expected);
  EXPECT_EQ(r.info.dwLength, expected);
  for (std::size_t i = 0; i < expected; ++i) EXPECT_EQ(r.frames[i], clip.frames[i]) << "frame " << i;
}

const std::size_t kAll12 = 12, kAll30 = 30;

INSTANTIATE_TEST_SUITE_P(
    Cases, DamagedFile,
    testing::Values(
        Damage{"TruncatedMidMovi", false,
               [](Bytes& b) {
                 b.resize(Find(b, "movi") + 4 + 5 * (8 + kFrameBytes) + 100);
                 return std::size_t{5};
               }},
        Damage{"TruncatedMidIdx1", false,
               [](Bytes& b) {
                 b.resize(Find(b, "idx1") + 8 + 16 * 3 + 5);
                 return kAll12;
               }},
        Damage{"ZeroedIdx1", false,
               [](Bytes& b) {
                 const std::size_t at = Find(b, "idx1");
                 std::fill(b.begin() + at + 8, b.end(), 0);
                 return kAll12;
               }},
        Damage{"Idx1EntryPastTheEnd", false,
               [](Bytes& b) {
                 PutLe32(b, Find(b, "idx1") + 8 + 16 * 4 + 8, 0xFFFFFF00u);
                 return kAll12;
               }},
        Damage{"Idx1PointingNowhere", false,
               [](Bytes& b) {
                 const std::size_t at = Find(b, "idx1");
                 for (std::size_t e = 0; e < 12; ++e) PutLe32(b, at + 8 + 16 * e + 8, 3 + 16 * static_cast<std::uint32_t>(e));
                 return kAll12;
               }},
        Damage{"ChunkSizePastTheEndWithIndex", false,
               [](Bytes& b) {
                 PutLe32(b, Find(b, "movi") + 4 + 7 * (8 + kFrameBytes) + 4, 0x7FFFFF00u);
                 return kAll12;
               }},
        Damage{"ChunkSizePastTheEndWithoutIndex", false,
               [](Bytes& b) {
                 PutLe32(b, Find(b, "movi") + 4 + 7 * (8 + kFrameBytes) + 4, 0x7FFFFF00u);
                 std::memcpy(&b[Find(b, "idx1")], "JUNK", 4);
                 return std::size_t{7};
               }},
        Damage{"RiffSizeZero", false,
               [](Bytes& b) {
                 PutLe32(b, 4, 0);
                 return kAll12;
               }},
        Damage{"RiffSizeTooLarge", false,
               [](Bytes& b) {
                 PutLe32(b, 4, 0xFFFFFFF0u);
                 return kAll12;
               }},
        Damage{"RiffSizeTooSmall", false,
               [](Bytes& b) {
                 PutLe32(b, 4, 100);
                 return kAll12;
               }},
        Damage{"MoviSizeZero", false,
               [](Bytes& b) {
                 PutLe32(b, Find(b, "movi") - 4, 0);
                 return kAll12;
               }},
        Damage{"CutAfterTheHeaders", false,
               [](Bytes& b) {
                 b.resize(Find(b, "movi") + 4);
                 return std::size_t{0};
               }},
        Damage{"OpenDmlTruncatedInTheLastPart", true,
               [](Bytes& b) {
                 const std::size_t cut = Find(b, "movi", FindLast(b, "AVIX")) + 4 + (8 + kFrameBytes) + 100;
                 b.resize(cut);
                 return CompleteChunks(b, kFrameBytes, cut);
               }},
        Damage{"OpenDmlTruncatedInAnEarlierPart", true,
               [](Bytes& b) {
                 const std::size_t cut = Find(b, "AVIX") + 40;
                 b.resize(cut);
                 return CompleteChunks(b, kFrameBytes, cut);
               }},
        Damage{"OpenDmlZeroedSuperIndex", true,
               [](Bytes& b) {
                 const std::size_t at = Find(b, "indx");
                 std::fill(b.begin() + at + 8, b.begin() + at + 8 + 4120, 0);
                 return kAll30;
               }},
        Damage{"OpenDmlBaseOffsetPastTheEnd", true,
               [](Bytes& b) {
                 const std::size_t ix = Find(b, "ix00", Find(b, "AVIX"));
                 PutLe32(b, ix + 8 + 12 + 4, 0x40);  // qwBaseOffset high word
                 return kAll30;
               }},
        Damage{"OpenDmlSuperIndexLoop", true,
               [](Bytes& b) {
                 const std::size_t at = Find(b, "indx");
                 PutLe32(b, at + 8 + 24, static_cast<std::uint32_t>(at));  // entry 0 points at itself
                 PutLe32(b, at + 8 + 28, 0);
                 return kAll30;
               }},
        Damage{"OpenDmlNoIndexAtAll", true,
               [](Bytes& b) {
                 std::memcpy(&b[Find(b, "indx")], "JUNK", 4);
                 std::memcpy(&b[Find(b, "idx1")], "JUNK", 4);
                 return kAll30;
               }}),
    [](const auto& info) { return std::string(info.param.name); });

struct Unreadable {
  const char* name;
  std::function<std::string(const TempDir&)> make;  // returns the path
  std::vector<HRESULT> allowed;
};

class UnreadableFile : public testing::TestWithParam<Unreadable> {};

TEST_P(UnreadableFile, GivesAnErrorCode) {
  const Unreadable& u = GetParam();
  TempDir dir;
  const std::string path = u.make(dir);
  PAVIFILE file = reinterpret_cast<PAVIFILE>(1);
  const HRESULT hr = AVIFileOpenA(&file, path.c_str(), OF_READ, nullptr);
  EXPECT_NE(std::find(u.allowed.begin(), u.allowed.end(), hr), u.allowed.end()) << std::hex << hr;
  EXPECT_EQ(file, nullptr);
}

std::string WriteBytes(const TempDir& dir, const Bytes& bytes) {
  testsupport::WriteFileBytes(dir.file("f.avi"), bytes);
  return dir.file("f.avi");
}

INSTANTIATE_TEST_SUITE_P(
    Cases, UnreadableFile,
    testing::Values(
        Unreadable{"ZeroLength", [](const TempDir& d) { return WriteBytes(d, {}); }, {AVIERR_NODATA}},
        Unreadable{"FiveBytes", [](const TempDir& d) { return WriteBytes(d, {'R', 'I', 'F', 'F', 0}); },
                   {AVIERR_BADFORMAT}},
        Unreadable{"RandomBytes",
                   [](const TempDir& d) {
                     std::mt19937 rng(7);
                     Bytes b(5000);
                     for (auto& x : b) x = static_cast<std::uint8_t>(rng());
                     return WriteBytes(d, b);
                   },
                   {AVIERR_BADFORMAT}},
        Unreadable{"RiffWave",
                   [](const TempDir& d) {
                     return WriteBytes(d, {'R', 'I', 'F', 'F', 4, 0, 0, 0, 'W', 'A', 'V', 'E'});
                   },
                   {AVIERR_BADFORMAT}},
        Unreadable{"RiffAviWithoutHeaders",
                   [](const TempDir& d) {
                     return WriteBytes(d, {'R', 'I', 'F', 'F', 4, 0, 0, 0, 'A', 'V', 'I', ' '});
                   },
                   {AVIERR_BADFORMAT}},
        Unreadable{"Directory", [](const TempDir& d) { return d.path().string(); }, {AVIERR_FILEOPEN}},
        Unreadable{"Missing", [](const TempDir& d) { return d.file("missing.avi"); }, {AVIERR_FILEOPEN}},
        // Neither may hold the caller: a FIFO nobody writes to, a device without end.
        Unreadable{"Fifo",
                   [](const TempDir& d) {
                     const std::string path = d.file("fifo.avi");
                     EXPECT_EQ(mkfifo(path.c_str(), 0600), 0);
                     return path;
                   },
                   {AVIERR_FILEOPEN}},
        Unreadable{"Device", [](const TempDir&) { return std::string("/dev/zero"); }, {AVIERR_FILEOPEN}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(DamagedFile, EveryCutOfAFileOpensOrFailsCleanly) {
  TempDir dir;
  const Clip clip = avitest::RawClip(4, 2, 10, 6);
  ASSERT_EQ(avitest::WriteClip(dir.file("good.avi"), clip, 400).fileRelease, 0);  // OpenDML too
  const Bytes good = testsupport::ReadFileBytes(dir.file("good.avi"));
  for (std::size_t cut = 1; cut < good.size(); cut += 7) {
    testsupport::WriteFileBytes(dir.file("cut.avi"), Bytes(good.begin(), good.begin() + cut));
    const avitest::ReadBack r = avitest::ReadClip(dir.file("cut.avi"));
    if (r.open != AVIERR_OK || r.stream != AVIERR_OK) continue;
    EXPECT_TRUE(r.reads.empty()) << "cut " << cut;
    ASSERT_LE(r.frames.size(), clip.frames.size()) << "cut " << cut;
    for (std::size_t i = 0; i < r.frames.size(); ++i) EXPECT_EQ(r.frames[i], clip.frames[i]) << "cut " << cut;
  }
}

// ---------------------------------------------------------------------------
// Hand-made files in the layouts of other writers.

class Riff {
 public:
  Riff& Fcc(const char* f) {
    m_b.insert(m_b.end(), f, f + 4);
    return *this;
  }
  Riff& U16(std::uint16_t v) {
    m_b.push_back(static_cast<std::uint8_t>(v));
    m_b.push_back(static_cast<std::uint8_t>(v >> 8));
    return *this;
  }
  Riff& U32(std::uint32_t v) {
    for (int i = 0; i < 4; ++i) m_b.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
    return *this;
  }
  Riff& Raw(const Bytes& data) {
    m_b.insert(m_b.end(), data.begin(), data.end());
    return *this;
  }
  Riff& Begin(const char* id, const char* type) {
    Fcc(id).U32(0);
    m_open.push_back(m_b.size());
    return Fcc(type);
  }
  Riff& End() {
    const std::size_t start = m_open.back();
    m_open.pop_back();
    PutLe32(m_b, start - 4, static_cast<std::uint32_t>(m_b.size() - start));
    if (m_b.size() & 1) m_b.push_back(0);
    return *this;
  }
  Riff& Chunk(const char* id, const Bytes& data) {
    Fcc(id).U32(static_cast<std::uint32_t>(data.size())).Raw(data);
    if (data.size() & 1) m_b.push_back(0);
    return *this;
  }
  std::size_t Pos() const { return m_b.size(); }
  const Bytes& bytes() const { return m_b; }

 private:
  Bytes m_b;
  std::vector<std::size_t> m_open;
};

struct StreamSpec {
  const char* type = "vids";  // or "auds"
  const char* handler = "MJPG";
  std::uint32_t rate = 10, scale = 1, sampleSize = 0;
  bool shortHeader = false;  // 48-byte strh without rcFrame
  RECT frame{0, 0, 16, 8};
  Bytes format;
};

Bytes StreamHeaderList(const StreamSpec& s) {
  Riff r;
  r.Begin("LIST", "strl");
  Riff strh;
  strh.Fcc(s.type).Fcc(s.handler).U32(0).U16(0).U16(0).U32(0).U32(s.scale).U32(s.rate).U32(0).U32(99);
  strh.U32(0).U32(0xFFFFFFFFu).U32(s.sampleSize);
  if (!s.shortHeader)
    strh.U16(static_cast<std::uint16_t>(s.frame.left)).U16(static_cast<std::uint16_t>(s.frame.top))
        .U16(static_cast<std::uint16_t>(s.frame.right)).U16(static_cast<std::uint16_t>(s.frame.bottom));
  r.Chunk("strh", strh.bytes()).Chunk("strf", s.format);
  r.End();
  return r.bytes();
}

Bytes Bmih(int width, int height, const char* compression) {
  Bytes f = avitest::RawFormat(width, height);
  if (compression) std::memcpy(&f[16], compression, 4);
  return f;
}

struct Sample {
  const char* id;
  Bytes data;
  bool key;
};

enum class Idx1 { kNone, kRelative, kAbsolute };

// RIFF AVI with the streams, movi holding the samples (in 'rec ' lists of
// recSize samples when recSize > 0), and an idx1.
Bytes MakeAvi(const std::vector<StreamSpec>& streams, const std::vector<Sample>& samples, Idx1 idx1,
              std::size_t recSize = 0, std::uint32_t usPerFrame = 100000) {
  Riff r;
  r.Begin("RIFF", "AVI ").Begin("LIST", "hdrl");
  Riff avih;
  avih.U32(usPerFrame).U32(0).U32(0).U32(0x10).U32(0).U32(0).U32(static_cast<std::uint32_t>(streams.size()));
  avih.U32(0).U32(16).U32(8).U32(0).U32(0).U32(0).U32(0);
  r.Chunk("avih", avih.bytes());
  for (const StreamSpec& s : streams) r.Raw(StreamHeaderList(s));
  r.End();
  r.Begin("LIST", "movi");
  const std::size_t moviFourcc = r.Pos() - 4;
  std::vector<std::pair<std::size_t, std::size_t>> where;  // sample, chunk offset
  for (std::size_t i = 0; i < samples.size(); ++i) {
    if (recSize && i % recSize == 0) r.Begin("LIST", "rec ");
    where.emplace_back(i, r.Pos());
    r.Chunk(samples[i].id, samples[i].data);
    if (recSize && (i % recSize == recSize - 1 || i + 1 == samples.size())) r.End();
  }
  r.End();
  if (idx1 != Idx1::kNone) {
    Riff index;
    const std::size_t base = idx1 == Idx1::kRelative ? moviFourcc : 0;
    for (const auto& [i, offset] : where) {
      index.Fcc(samples[i].id).U32(samples[i].key ? AVIIF_KEYFRAME : 0);
      index.U32(static_cast<std::uint32_t>(offset - base)).U32(static_cast<std::uint32_t>(samples[i].data.size()));
    }
    r.Chunk("idx1", index.bytes());
  }
  r.End();
  return r.bytes();
}

Bytes Filled(std::size_t n, std::uint8_t v) { return Bytes(n, v); }

avitest::ReadBack ReadBytes(const Bytes& bytes) {
  TempDir dir;
  testsupport::WriteFileBytes(dir.file("h.avi"), bytes);
  return avitest::ReadClip(dir.file("h.avi"));
}

StreamSpec Video(const char* handler = "MJPG", Bytes format = Bmih(16, 8, "MJPG")) {
  StreamSpec s;
  s.type = "vids";
  s.handler = handler;
  s.format = std::move(format);
  return s;
}
StreamSpec Audio() {
  StreamSpec s;
  s.type = "auds";
  s.handler = "\1\0\0\0";
  s.format = Filled(16, 1);
  s.sampleSize = 4;
  return s;
}

const std::vector<Sample> kInterleaved = {
    {"00dc", Filled(10, 1), true}, {"01wb", Filled(8, 9), false}, {"00dc", Filled(11, 2), false},
    {"00pc", Filled(4, 7), false}, {"00dc", Filled(0, 0), false},  {"01wb", Filled(8, 9), false},
    {"00dc", Filled(13, 4), true}, {"00dc", Filled(14, 5), false},
};

void ExpectVideoOfInterleaved(const avitest::ReadBack& r, const std::string& what) {
  ASSERT_EQ(r.stream, AVIERR_OK) << what;
  ASSERT_EQ(r.frames.size(), 5u) << what << ": palette changes and audio are not frames";
  EXPECT_EQ(r.frames[0], Filled(10, 1)) << what;
  EXPECT_EQ(r.frames[2], Bytes{}) << what << ": an empty chunk is an empty frame";
  EXPECT_EQ(r.frames[4], Filled(14, 5)) << what;
}

TEST(HandMadeFile, IndexesOfEveryKindFindTheSameFrames) {
  const std::vector<StreamSpec> streams = {Video(), Audio()};
  struct Case {
    const char* name;
    Idx1 idx1;
    std::size_t recSize;
  } cases[] = {
      {"relative idx1", Idx1::kRelative, 0}, {"absolute idx1", Idx1::kAbsolute, 0},
      {"scan", Idx1::kNone, 0},              {"rec lists and idx1", Idx1::kRelative, 3},
      {"rec lists, scan", Idx1::kNone, 2},
  };
  for (const Case& c : cases) {
    const avitest::ReadBack r = ReadBytes(MakeAvi(streams, kInterleaved, c.idx1, c.recSize));
    ExpectVideoOfInterleaved(r, c.name);
    if (c.idx1 != Idx1::kNone) {
      EXPECT_EQ(r.keys, (std::vector<bool>{true, false, false, true, false})) << c.name;
    } else {
      // Without an index nothing is marked key, so every picture counts as one.
      EXPECT_EQ(r.keys, (std::vector<bool>{true, true, false, true, true})) << c.name;
    }
  }
}

// An idx1 entry naming the same bytes as the entry before it is an empty
// sample, no key frame, so the picture before shows again without another
// decode; the same bytes named further on are a sample again.
TEST(HandMadeFile, RepeatedIndexEntryIsAnEmptySample) {
  const std::vector<Sample> samples = {{"00dc", Filled(10, 1), true}, {"00dc", Filled(10, 2), true},
                                       {"00dc", Filled(12, 3), false}, {"00dc", Filled(12, 4), true},
                                       {"00dc", Filled(10, 5), true}, {"00dc", Filled(9, 6), false}};
  Bytes b = MakeAvi({Video()}, samples, Idx1::kRelative);
  const std::size_t entries = Find(b, "idx1") + 8;
  const auto copyEntry = [&](int from, int to) {
    for (int field : {8, 12}) PutLe32(b, entries + 16 * to + field, Le32(b, entries + 16 * from + field));
  };
  copyEntry(0, 1);
  copyEntry(2, 3);
  copyEntry(0, 4);
  const avitest::ReadBack r = ReadBytes(b);
  ASSERT_EQ(r.stream, AVIERR_OK);
  EXPECT_EQ(r.frames, (std::vector<Bytes>{Filled(10, 1), {}, Filled(12, 3), {}, Filled(10, 1), Filled(9, 6)}));
  EXPECT_EQ(r.keys, (std::vector<bool>{true, false, false, false, true, false}));
}

TEST(HandMadeFile, VideoAfterAnAudioStreamAndAudioOnlyFiles) {
  std::vector<Sample> samples;
  for (const Sample& s : kInterleaved) {
    std::string id = s.id;
    id[1] = id[1] == '0' ? '1' : '0';  // video becomes stream 1
    samples.push_back({id == "01dc" ? "01dc" : id == "00wb" ? "00wb" : "01pc", s.data, s.key});
  }
  ExpectVideoOfInterleaved(ReadBytes(MakeAvi({Audio(), Video()}, samples, Idx1::kRelative)), "second stream");

  TempDir dir;
  testsupport::WriteFileBytes(dir.file("a.avi"), MakeAvi({Audio()}, {{"00wb", Filled(8, 1), false}}, Idx1::kRelative));
  PAVIFILE file = nullptr;
  ASSERT_EQ(AVIFileOpenA(&file, dir.file("a.avi").c_str(), OF_READ, nullptr), AVIERR_OK);
  PAVISTREAM stream = nullptr;
  EXPECT_EQ(AVIFileGetStream(file, &stream, streamtypeVIDEO, 0), AVIERR_NODATA);
  EXPECT_EQ(stream, nullptr);
  ASSERT_EQ(AVIFileGetStream(file, &stream, 0, 0), AVIERR_OK) << "any stream";
  EXPECT_EQ(AVIStreamLength(stream), 1);
  EXPECT_EQ(AVIStreamRelease(stream), 0);
  EXPECT_EQ(AVIFileRelease(file), 0);
}

TEST(HandMadeFile, HeaderFieldsFromTheFileWithSensibleFallbacks) {
  StreamSpec shortHeader = Video("DIB ", Bmih(16, -8, nullptr));  // top-down
  shortHeader.shortHeader = true;
  shortHeader.sampleSize = 7;  // a video sample size means nothing: one chunk, one frame
  shortHeader.rate = 0;
  const std::vector<Sample> samples = {{"00db", Filled(384, 1), false}, {"00db", Filled(384, 2), false},
                                       {"00db", Filled(384, 3), false}};
  const avitest::ReadBack r = ReadBytes(MakeAvi({shortHeader}, samples, Idx1::kRelative, 0, 40000));
  ASSERT_EQ(r.stream, AVIERR_OK);
  EXPECT_EQ(r.frames.size(), 3u);
  EXPECT_EQ(r.info.dwLength, 3u) << "the frames found, not strh's 99";
  EXPECT_EQ(r.info.fccHandler, mmioFOURCC('D', 'I', 'B', ' '));
  EXPECT_EQ(r.info.rcFrame.right, 16) << "from the format";
  EXPECT_EQ(r.info.rcFrame.bottom, 8) << "from the format, top-down";
  EXPECT_EQ(r.info.dwRate, 25u) << "from avih's 40,000 us per frame";
  EXPECT_EQ(r.info.dwScale, 1u);
  EXPECT_EQ(r.info.dwSampleSize, 7u);
  EXPECT_EQ(r.info.dwSuggestedBufferSize, 384u) << "the largest sample, not the header's 0";
  EXPECT_EQ(r.keys, (std::vector<bool>{true, true, true})) << "raw pictures are key frames";
}

}  // namespace
