// Frames prepared ahead on helper threads: what comes back for each entry,
// what is dropped, and that the job's behaviour does not change with it.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <map>

#include "avi_build/frame_prefetch.h"
#include "avi_build/make_avi.h"
#include "picture/load_picture.h"
#include "platform/picture_probe.h"
#include "tests/support/picture_fixtures.h"
#include "tests/support/test_support.h"

namespace {

using avi_build::FramePrefetcher;
using avi_build::PrepareResult;
using testsupport::Rgb;

const Rgb kRed{255, 0, 0}, kGreen{0, 255, 0}, kBlue{0, 0, 255};

class PrefetchTest : public testing::Test {
 protected:
  testsupport::TempDir dir;

  // A lossless picture of one colour.
  std::string Solid(const std::string& name, Rgb colour, int size = 8) {
    const std::string path = dir.file(name);
    EXPECT_TRUE(testsupport::WritePngRgb(path, size, size, testsupport::Solid(colour)));
    return path;
  }
  static Rgb FirstPixel(const avi_build::FrameBuffer& frame) {
    return {frame.pixels[2], frame.pixels[1], frame.pixels[0]};
  }
};

// What Take gives for each entry, in a table of ask/take scripts.
TEST_F(PrefetchTest, TakeGivesTheFramesAskedForUnderTheSamePath) {
  const std::string red = Solid("red.png", kRed), green = Solid("green.png", kGreen);
  const std::string broken = dir.file("broken.png");
  testsupport::WriteFileText(broken, "not a picture");

  FramePrefetcher prefetch(16, 16, 0, 2, 3);
  ASSERT_TRUE(prefetch.CanAsk());
  EXPECT_TRUE(prefetch.Ask(1, green));
  EXPECT_FALSE(prefetch.Ask(1, green));  // asked already under this path
  EXPECT_TRUE(prefetch.Ask(1, red));     // under another: the first work is dropped
  EXPECT_TRUE(prefetch.Ask(2, broken));
  EXPECT_TRUE(prefetch.Ask(3, green));
  EXPECT_FALSE(prefetch.CanAsk());  // three held
  EXPECT_FALSE(prefetch.Ask(4, red));
  EXPECT_FALSE(prefetch.Asked(4));

  EXPECT_FALSE(prefetch.Take(0, red));  // never asked
  auto first = prefetch.Take(1, red);
  ASSERT_TRUE(first);
  EXPECT_EQ(first->result, PrepareResult::Composed);
  EXPECT_EQ(FirstPixel(first->frame), kRed);
  prefetch.Recycle(std::move(first->frame));

  auto second = prefetch.Take(2, broken);
  ASSERT_TRUE(second);
  EXPECT_EQ(second->result, PrepareResult::Unloadable);

  // Entry 3's text changed since it was asked for: the work is dropped.
  EXPECT_FALSE(prefetch.Take(3, red));
  EXPECT_FALSE(prefetch.Asked(3));
  EXPECT_TRUE(prefetch.CanAsk());
}

TEST_F(PrefetchTest, EntriesPassedOverAreDroppedAndRecycledFramesServeLaterOnes) {
  FramePrefetcher prefetch(16, 16, 1, 1, 2);
  EXPECT_TRUE(prefetch.Ask(5, Solid("a.png", kRed)));
  EXPECT_TRUE(prefetch.Ask(6, Solid("b.png", kBlue)));
  auto taken = prefetch.Take(6, dir.file("b.png"));  // 5 is never taken
  ASSERT_TRUE(taken);
  EXPECT_FALSE(prefetch.Asked(5));
  EXPECT_EQ(taken->result, PrepareResult::Composed);
  // Clipped: the 8 x 8 picture sits in the middle of the black frame.
  EXPECT_EQ(FirstPixel(taken->frame), (Rgb{0, 0, 0}));
  prefetch.Recycle(std::move(taken->frame));

  // A recycled frame that held a picture is cleared around the next one.
  EXPECT_TRUE(prefetch.Ask(7, Solid("c.png", kGreen, 4)));
  auto next = prefetch.Take(7, dir.file("c.png"));
  ASSERT_TRUE(next);
  const std::uint8_t* wasBlue = next->frame.pixels.get() + 4 * next->frame.stride + 3 * 4;
  EXPECT_EQ((Rgb{wasBlue[2], wasBlue[1], wasBlue[0]}), (Rgb{0, 0, 0}));
  const std::uint8_t* middle = next->frame.pixels.get() + 8 * next->frame.stride + 3 * 8;
  EXPECT_EQ((Rgb{middle[2], middle[1], middle[0]}), kGreen);
}

TEST_F(PrefetchTest, WithoutHelpersNothingIsAskedAndEverythingIsLeftToTheCaller) {
  FramePrefetcher prefetch(16, 16, 0, 0, 3);
  EXPECT_FALSE(prefetch.CanAsk());
  EXPECT_FALSE(prefetch.Ask(1, Solid("a.png", kRed)));
  EXPECT_FALSE(prefetch.Take(1, dir.file("a.png")));
}

// Pictures still loading when the prefetcher goes are finished and freed
// (AddressSanitizer checks the freeing).
TEST_F(PrefetchTest, GoingAwayWithWorkInFlightWaitsForTheHelpers) {
  const std::string big = dir.file("big.jpg");
  ASSERT_TRUE(testsupport::WriteJpeg(big, 1200, 900, testsupport::Gradient(1200, 900)));
  for (int round = 0; round < 3; ++round) {
    FramePrefetcher prefetch(640, 480, 0, 2, 3);
    for (int n = 0; n < 3; ++n) EXPECT_TRUE(prefetch.Ask(n, big));
    if (round == 1) {
      EXPECT_FALSE(prefetch.Take(0, dir.file("other.jpg")));
    }
  }
}

// Pictures share the budget: together within it, or one at a time when a
// picture alone passes it.
TEST(PictureBudget, HoldsPicturesTogetherWithinItAndLargerOnesAlone) {
  avi_build::PictureBudget budget(100);
  EXPECT_TRUE(budget.TryTake(60));
  EXPECT_FALSE(budget.TryTake(50));
  EXPECT_TRUE(budget.TryTake(40));
  EXPECT_TRUE(budget.TryTake(0));  // a file of unknown size waits for nothing
  budget.Give(60);
  budget.Give(40);
  EXPECT_TRUE(budget.TryTake(150));
  EXPECT_FALSE(budget.TryTake(1));
  budget.Give(150);
  EXPECT_EQ(budget.Peak(), 150u);
  budget.Close();
  const std::atomic<bool> never{false};
  EXPECT_FALSE(budget.Take(1, never));
}

// Each picture passes a small budget, so the helpers and the job load them
// one at a time, however the work is timed.
TEST_F(PrefetchTest, PicturesLargerThanTheBudgetLoadOneAtATime) {
  std::vector<std::string> paths;
  for (int i = 0; i < 6; ++i) paths.push_back(Solid("p" + std::to_string(i) + ".png", kGreen, 64));
  PictureProbe probe;
  ASSERT_TRUE(ProbePictureFile(paths[0].c_str(), &probe, 16, 16));
  FramePrefetcher prefetch(16, 16, 0, 2, 4, probe.bytes / 2);
  avi_build::StretchTarget target;
  target.Make(16, 16);
  avi_build::FrameBuffer frame;
  ASSERT_TRUE(frame.Make(16, 16));
  for (int n = 0; n < 6; ++n) {
    for (int k = n; k < 6 && prefetch.CanAsk(); ++k)
      if (!prefetch.Asked(k)) (void)prefetch.Ask(k, paths[std::size_t(k)]);
    auto taken = prefetch.Take(n, paths[std::size_t(n)]);
    // Entries the helpers did not take are left to the job's own thread.
    const PrepareResult result = taken ? taken->result : prefetch.PrepareHere(paths[std::size_t(n)], target, frame);
    EXPECT_EQ(result, PrepareResult::Composed) << n;
    if (taken) prefetch.Recycle(std::move(taken->frame));
  }
  EXPECT_EQ(prefetch.PeakPictureBytes(), probe.bytes);
}

// The job against a host that logs every call in one sequence.
class SequenceHost : public avi_build::MakeAviHost {
 public:
  std::vector<std::string> entries;
  std::string saveAs;
  std::vector<std::string> events;
  // Texts handed out for an entry after its first read (the job may read an
  // entry ahead of reaching it).
  std::map<int, std::string> laterText;
  std::map<int, std::string> lastRead;
  int reads = 0;

  int EntryCount() override { return int(entries.size()); }
  std::string EntryText(int n) override {
    ++reads;
    std::string text = entries[std::size_t(n)];
    if (lastRead.count(n) && laterText.count(n)) text = laterText[n];
    lastRead[n] = text;
    return text;
  }
  void SelectEntry(int n) override { events.push_back("select " + std::to_string(n)); }
  void MessageBox(const std::string&, const std::string& caption, avi_build::MessageKind) override {
    events.push_back("box " + caption);
  }
  BOOL ChooseCompressor(const BITMAPINFOHEADER&, COMPVARS* compvars, const char*) override {
    compvars->hic = nullptr;
    return TRUE;
  }
  std::optional<std::string> SaveName() override { return saveAs; }
  void SetAviName(const std::string&) override {}
};

SequenceHost* g_host = nullptr;
std::vector<Rgb> g_written;  // the first pixel of each frame written

HRESULT LoggingWrite(PAVISTREAM s, LONG start, LONG samples, const void* buffer, LONG size, DWORD flags,
                     LONG* written, LONG* bytes) {
  const auto* p = static_cast<const std::uint8_t*>(buffer);
  g_written.push_back({p[2], p[1], p[0]});
  g_host->events.push_back("write " + std::to_string(start));
  return AVIStreamWrite(s, start, samples, buffer, size, flags, written, bytes);
}

class PrefetchingJobTest : public PrefetchTest {
 protected:
  SequenceHost host;
  avi_build::AviWriteFunctions avi;
  void SetUp() override {
    g_host = &host;
    g_written.clear();
    avi.write = &LoggingWrite;
    host.saveAs = dir.file("out.avi");
  }
  void TearDown() override { g_host = nullptr; }
  avi_build::MakeAviOutcome Run() { return avi_build::MakeAviJob(host, {32, 16, 10, 0, 1, 0, {}}, avi).outcome; }
};

TEST_F(PrefetchingJobTest, SelectionsBoxesAndWritesKeepTheirOrder) {
  const std::string bad = dir.file("bad.png");
  testsupport::WriteFileText(bad, "not a picture");
  host.entries = {Solid("1.png", kRed), bad, Solid("3.png", kGreen), bad, Solid("5.png", kBlue)};
  EXPECT_EQ(Run(), avi_build::MakeAviOutcome::Completed);
  EXPECT_EQ(host.events, (std::vector<std::string>{"select 0", "write 0", "select 1", "box File Failed to Open",
                                                   "select 2", "write 1", "select 3", "box File Failed to Open",
                                                   "select 4", "write 2", "box AVI File Written"}));
  EXPECT_EQ(g_written, (std::vector<Rgb>{kRed, kGreen, kBlue}));
}

// An entry whose text changed after it was read ahead is loaded afresh:
// the frame shows the picture of the text the job read on reaching it.
TEST_F(PrefetchingJobTest, AnEntryChangedAfterItWasReadAheadIsLoadedAgain) {
  host.entries = {Solid("1.png", kRed), Solid("2.png", kGreen), Solid("3.png", kRed)};
  host.laterText[1] = Solid("blue.png", kBlue);
  host.laterText[2] = dir.file("gone.png");
  EXPECT_EQ(Run(), avi_build::MakeAviOutcome::Completed);
  ASSERT_EQ(host.lastRead[1], host.laterText[1]) << "entry 1 was not read ahead";
  EXPECT_EQ(g_written, (std::vector<Rgb>{kRed, kBlue}));
  // Entry 2 is missing by the time the job reaches it.
  EXPECT_EQ(host.events, (std::vector<std::string>{"select 0", "write 0", "select 1", "write 1", "select 2",
                                                   "box File Failed to Open", "box AVI File Written"}));
}

HRESULT CountingWrite(PAVISTREAM, LONG start, LONG, const void*, LONG size, DWORD, LONG* written, LONG* bytes) {
  g_host->events.push_back("write " + std::to_string(start));
  *written = 1;
  *bytes = size;
  return AVIERR_OK;
}

// Frames this large would cost hundreds of megabytes held ahead; the job
// makes them one at a time and reads no entry ahead.
TEST_F(PrefetchingJobTest, HugeFramesAreNotPreparedAhead) {
  host.entries = {Solid("1.png", kRed), Solid("2.png", kGreen), Solid("3.png", kBlue)};
  avi.write = &CountingWrite;
  EXPECT_EQ(avi_build::MakeAviJob(host, {4000, 3000, 10, 1, 1, 0, {}}, avi).outcome,
            avi_build::MakeAviOutcome::Completed);
  EXPECT_EQ(host.events, (std::vector<std::string>{"select 0", "write 0", "select 1", "write 1", "select 2", "write 2",
                                                   "box AVI File Written"}));
  // Each entry once before the file is opened (checked against the output),
  // and once on reaching it.
  EXPECT_EQ(host.reads, 6);
}

// A stretched frame of a picture decoded to fit is as close to the scene
// averaged over each frame pixel as one drawn from the whole decoded
// picture, for every format: photographs (JPEG), lossless pictures and
// transparent ones (drawn over the black canvas). The scenes look like
// photographs: shading, texture at every scale, edges.
TEST(PrepareFrame, PicturesDecodedToFitStretchAboutAsWellAsWholeOnes) {
  // Detail falls off with its fineness as in photographs, whose lenses and
  // sensors blur the finest; edges are a pixel or two wide.
  const auto scene = [](int x, int y) {
    double v[4];
    const auto ramp = [](double d) { return std::clamp(0.5 + d / 2.0, 0.0, 1.0); };
    const double edge = ramp(std::min(std::fmod(x + 0.3 * y, 61.0), 30.5 - std::fmod(x + 0.3 * y, 61.0)) - 15) *
                        ramp(std::min(std::fmod(y + 0.2 * x, 47.0), 23.5 - std::fmod(y + 0.2 * x, 47.0)) - 10);
    for (int c = 0; c < 3; ++c) {
      double s = 0.45 + 0.2 * std::sin(0.011 * x + 0.007 * y + c) + 0.18 * edge;
      for (int k = 0; k < 6; ++k) {
        const double f = 0.015 * (1 << k) * (1.0 + 0.2 * c);
        s += 0.1 / ((k + 1) * (k + 1)) * std::sin(f * x + 1.3 * k) * std::sin(0.9 * f * y + 0.7 * c);
      }
      v[c] = std::lround(std::clamp(s, 0.0, 1.0) * 255.0);
    }
    v[3] = std::lround(190 + 65 * std::sin(0.013 * x) * std::cos(0.017 * y));
    return std::array<double, 4>{v[0], v[1], v[2], v[3]};
  };
  enum class Kind { kJpeg420, kJpeg444, kPng, kPngAlpha, kBmp, kTiff };
  struct Case {
    Kind kind;
    int width, height, cols, rows;
    int quality;
    double within;  // dB
  };
  for (const Case& c : {Case{Kind::kJpeg420, 400, 300, 160, 128, 90, 0.5}, Case{Kind::kJpeg444, 680, 560, 160, 128, 95, 0.5},
                        Case{Kind::kJpeg420, 1280, 1024, 160, 128, 100, 0.5}, Case{Kind::kPng, 680, 560, 160, 128, 0, 0.05},
                        Case{Kind::kBmp, 400, 300, 160, 128, 0, 0.05}, Case{Kind::kTiff, 1000, 700, 300, 200, 0, 0.05},
                        Case{Kind::kPngAlpha, 680, 560, 160, 128, 0, 0.6}}) {
    SCOPED_TRACE(testing::Message() << int(c.kind) << ": " << c.width << "x" << c.height << " onto " << c.cols << "x"
                                    << c.rows);
    std::vector<std::array<double, 4>> pixels(std::size_t(c.width) * c.height);
    for (int y = 0; y < c.height; ++y)
      for (int x = 0; x < c.width; ++x) pixels[std::size_t(y) * c.width + x] = scene(x, y);
    const auto at = [&](int x, int y) { return pixels[std::size_t(y) * c.width + x]; };
    const auto rgb = [&](int x, int y) {
      const auto p = at(x, y);
      return Rgb{std::uint8_t(p[0]), std::uint8_t(p[1]), std::uint8_t(p[2])};
    };
    testsupport::TempDir dir;
    std::string path;
    switch (c.kind) {
      case Kind::kJpeg420:
      case Kind::kJpeg444:
        path = dir.file("scene.jpg");
        ASSERT_TRUE(testsupport::WriteJpeg(path, c.width, c.height, rgb, c.quality,
                                           c.kind == Kind::kJpeg420 ? testsupport::JpegSampling::k420
                                                                    : testsupport::JpegSampling::k444));
        break;
      case Kind::kPng:
        ASSERT_TRUE(testsupport::WritePngRgb(path = dir.file("scene.png"), c.width, c.height, rgb));
        break;
      case Kind::kBmp:
        ASSERT_TRUE(testsupport::WriteBmpRgb(path = dir.file("scene.bmp"), c.width, c.height, rgb));
        break;
      case Kind::kTiff:
        ASSERT_TRUE(testsupport::WriteTiffRgb(path = dir.file("scene.tif"), c.width, c.height, rgb));
        break;
      case Kind::kPngAlpha: {
        testsupport::PngImage png;
        png.width = c.width, png.height = c.height, png.colorType = 6;
        for (int y = 0; y < c.height; ++y)
          for (int x = 0; x < c.width; ++x)
            for (int k = 0; k < 4; ++k) png.rows.push_back(std::uint8_t(at(x, y)[std::size_t(k)]));
        ASSERT_TRUE(testsupport::WritePng(path = dir.file("alpha.png"), png));
        break;
      }
    }
    const bool alpha = c.kind == Kind::kPngAlpha;

    // Each frame pixel: the scene (over black) averaged over the area it
    // covers.
    const double sx = double(c.width) / c.cols, sy = double(c.height) / c.rows;
    std::vector<std::array<double, 3>> reference;
    for (int fy = 0; fy < c.rows; ++fy)
      for (int fx = 0; fx < c.cols; ++fx) {
        std::array<double, 3> sum{};
        double weights = 0;
        for (int y = int(fy * sy); y < std::min(c.height, int(std::ceil((fy + 1) * sy))); ++y)
          for (int x = int(fx * sx); x < std::min(c.width, int(std::ceil((fx + 1) * sx))); ++x) {
            const double w = (std::min((fx + 1) * sx, x + 1.0) - std::max(fx * sx, double(x))) *
                             (std::min((fy + 1) * sy, y + 1.0) - std::max(fy * sy, double(y)));
            const double cover = alpha ? at(x, y)[3] / 255.0 : 1.0;
            for (int k = 0; k < 3; ++k) sum[std::size_t(k)] += w * cover * at(x, y)[std::size_t(k)];
            weights += w;
          }
        reference.push_back({sum[0] / weights, sum[1] / weights, sum[2] / weights});
      }
    const auto psnr = [&](const avi_build::FrameBuffer& frame) {
      double error = 0;
      for (int fy = 0; fy < c.rows; ++fy) {
        const std::uint8_t* row = frame.pixels.get() + std::ptrdiff_t(c.rows - 1 - fy) * frame.stride;
        for (int fx = 0; fx < c.cols; ++fx)
          for (int k = 0; k < 3; ++k) {
            const double d = row[3 * fx + 2 - k] - reference[std::size_t(fy) * c.cols + fx][std::size_t(k)];
            error += d * d;
          }
      }
      return 10 * std::log10(255.0 * 255.0 / (error / (3.0 * c.cols * c.rows)));
    };

    avi_build::StretchTarget target;
    target.Make(c.cols, c.rows);
    avi_build::FrameBuffer whole, reduced;
    ASSERT_TRUE(whole.Make(c.cols, c.rows));
    ASSERT_TRUE(reduced.Make(c.cols, c.rows));
    ASSERT_EQ(avi_build::ComposeFrame(LoadPicture(path.c_str()), 0, target, whole), avi_build::ComposeResult::Composed);
    ASSERT_EQ(avi_build::PrepareFrame(path, 0, target, reduced), PrepareResult::Composed);
    const double before = psnr(whole), after = psnr(reduced);
    EXPECT_GE(after, before - c.within) << "whole " << before << " dB, decoded to fit " << after << " dB";
    std::printf("%s whole %.2f dB, decoded to fit %.2f dB\n", path.c_str() + path.rfind('/') + 1, before, after);
  }
}

}  // namespace
