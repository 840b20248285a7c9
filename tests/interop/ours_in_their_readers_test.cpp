// Our files in the readers our users have: FFmpeg, ImageJ, OpenCV (its
// FFmpeg backend and its own Motion JPEG reader), GStreamer, mpv and VLC
// open what `stillweaver-cli make` writes, uncompressed and with every
// compressor, at even, odd and 4K sizes, with the right frame count, size and
// pictures. Each reader starts once for all the files it is meant to read.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <set>
#include <sstream>

#include <unistd.h>

#include "platform/vfw.h"
#include "tests/interop/interop_support.h"
#include "tests/platform/avifile/avi_test_support.h"
#include "tests/support/test_support.h"

namespace {

using interop::Bytes;
using interop::Q;
using interop::Video;

constexpr double kRightColours = 33;

struct Codec {
  const char* fourcc;  // as `stillweaver-cli codecs` lists it
  int width, height;
  double minPsnr;
  std::string name() const { return std::string(fourcc) + "_" + std::to_string(width) + "x" + std::to_string(height); }
};

// 62 x 46: uncompressed rows carry padding, and the size is no multiple of
// the codecs' blocks; 61 x 45 is odd. H.264 takes even sides only,
// Microsoft Video 1 multiples of 4. 4K for the two most used.
const Codec kCodecs[] = {
    {"none", 62, 46, interop::kExact}, {"MJPG", 62, 46, interop::kLossy},     {"H264", 62, 46, interop::kLossy},
    {"FMP4", 62, 46, interop::kLossy}, {"FFV1", 62, 46, interop::kExact},     {"HFYU", 62, 46, interop::kExact},
    {"cvid", 62, 46, interop::kLossy}, {"MSVC", 64, 48, interop::kLossy},     {"none", 61, 45, interop::kExact},
    {"MJPG", 61, 45, interop::kLossy}, {"FMP4", 61, 45, interop::kLossy},     {"FFV1", 61, 45, interop::kExact},
    {"HFYU", 61, 45, interop::kExact}, {"cvid", 61, 45, interop::kLossy},     {"H264", 3840, 2160, interop::kLossy},
    {"MJPG", 3840, 2160, interop::kLossy},
    // HD YUV read with the colour the stream states; a reader guessing BT.709
    // from the size falls to 25-29 dB.
    {"H264", 1280, 720, kRightColours},        {"FMP4", 1280, 720, kRightColours},
};
constexpr int kFrames = 4;

struct OurFile {
  std::string path;
  std::string error;  // why `make` failed
  std::vector<Bytes> frames;
};

// Made once per process, from pictures of the codec's size, clipped (so each
// frame is its picture unscaled) at 10 frames per second.
const std::map<std::string, OurFile>& OurFiles() {
  static const testsupport::TempDir dir;
  static const std::map<std::string, OurFile> files = [] {
    std::map<std::string, OurFile> made;
    std::map<std::pair<int, int>, std::vector<Bytes>> sources;
    for (const Codec& codec : kCodecs) {
      const std::string size = std::to_string(codec.width) + "x" + std::to_string(codec.height);
      const std::string pictures = dir.file(size);
      auto found = sources.find({codec.width, codec.height});
      if (found == sources.end()) {
        std::filesystem::create_directory(pictures);
        found = sources
                    .emplace(std::pair{codec.width, codec.height},
                             interop::WriteSources(pictures, codec.width, codec.height, kFrames))
                    .first;
      }
      OurFile& file = made[codec.name()];
      file.frames = found->second;
      file.path = dir.file(codec.name() + ".avi");
      std::string command = Q(interop::Cli()) + " make --clip --fps 10 --cols " + std::to_string(codec.width) +
                            " --rows " + std::to_string(codec.height) + " --codec " + codec.fourcc + " -o " +
                            Q(file.path);
      for (int k = 1; k <= kFrames; ++k) command += " " + Q(pictures + "/p" + std::to_string(k) + ".png");
      const interop::Run run = interop::Shell(command);
      if (run.exitCode != 0) file.error = "stillweaver-cli make failed: " + run.out;
    }
    return made;
  }();
  return files;
}

using Videos = std::map<std::string, Video>;  // by file name

// The helpers' listing: "NAME OK FRAMES WIDTH HEIGHT" with the frames in
// dir/NAME.bgr, or "NAME ERROR TEXT".
Videos ReadListing(const interop::Run& run, const std::string& dir) {
  Videos videos;
  std::istringstream lines(run.out);
  for (std::string line; std::getline(lines, line);) {
    std::istringstream fields(line);
    std::string name, status;
    int frames = 0, width = 0, height = 0;
    if (!(fields >> name >> status)) continue;
    if (status == "ERROR") {
      videos[name].error = line;
    } else if (status == "OK" && fields >> frames >> width >> height) {
      videos[name] = interop::SplitFrames(testsupport::ReadFileBytes(dir + "/" + name + ".bgr"), width, height);
      if (videos[name].frames.size() != std::size_t(frames)) videos[name].error = "the listing says " + line;
    }
  }
  if (videos.empty()) videos["(none)"].error = "exit code " + std::to_string(run.exitCode) + ": " + run.out;
  return videos;
}

Videos ReadImageJ(const std::vector<std::string>& paths, const std::string& dir) {
  const std::string java = interop::ImageJCommand();
  if (java.empty()) return {{"(none)", interop::Failure("javac could not compile IjAvi.java (see the log)")}};
  std::string command = java + " read " + Q(dir);
  for (const auto& path : paths) command += " " + Q(path);
  return ReadListing(interop::Shell(command), dir);
}

template <const char* kBackend>
Videos ReadOpenCv(const std::vector<std::string>& paths, const std::string& dir) {
  std::string command =
      interop::Python() + " " + Q(interop::HelperPath("opencv_avi.py")) + " read " + kBackend + " " + Q(dir);
  for (const auto& path : paths) command += " " + Q(path);
  return ReadListing(interop::Shell(command), dir);
}
constexpr char kFfmpegBackend[] = "ffmpeg";
constexpr char kMjpegBackend[] = "mjpeg";

// The value after `key` in a caps or status line, or 0.
int IntAfter(const std::string& text, const std::string& key) {
  const std::size_t at = text.find(key);
  return at == std::string::npos ? 0 : std::atoi(text.c_str() + at + key.size());
}

// GStreamer's own error lines out of its verbose log, or the whole log.
std::string ErrorLines(const std::string& log) {
  std::string errors;
  std::istringstream lines(log);
  for (std::string line; std::getline(lines, line);)
    if (line.rfind("ERROR", 0) == 0 || line.find("Missing") != std::string::npos) errors += line + "\n";
  return errors.empty() ? log : errors;
}

// One pipeline per file: avidemux and whatever decoder decodebin finds.
Videos ReadGStreamer(const std::vector<std::string>& paths, const std::string& dir) {
  Videos videos;
  for (const auto& path : paths) {
    const std::string name = std::filesystem::path(path).filename();
    const std::string out = dir + "/" + name + ".bgr";
    const interop::Run run = interop::Shell("gst-launch-1.0 -v filesrc location=" + Q(path) +
                                            " ! avidemux ! decodebin ! videoconvert ! video/x-raw,format=BGR "
                                            "! filesink name=out location=" +
                                            Q(out));
    // The caps that reached the file: "...GstFileSink:out.GstPad:sink: caps = video/x-raw, width=(int)62, ..."
    const std::size_t caps = run.out.find("GstFileSink:out.GstPad:sink: caps = ");
    const std::string line = caps == std::string::npos ? "" : run.out.substr(caps, run.out.find('\n', caps) - caps);
    const int width = IntAfter(line, "width=(int)"), height = IntAfter(line, "height=(int)");
    if (run.exitCode != 0 || width == 0) {
      videos[name].error = "gst-launch-1.0: " + ErrorLines(run.out);
      continue;
    }
    // GStreamer's packed rows start on 4-byte boundaries.
    videos[name] = interop::SplitFrames(testsupport::ReadFileBytes(out), width, height, testsupport::DibStride(width));
  }
  return videos;
}

// One encoding run per file: mpv's demuxer, decoder and converter to bgr24.
Videos ReadMpv(const std::vector<std::string>& paths, const std::string& dir) {
  Videos videos;
  for (const auto& path : paths) {
    const std::string name = std::filesystem::path(path).filename();
    const std::string out = dir + "/" + name + ".bgr";
    const interop::Run run =
        interop::Shell("mpv --no-config --msg-level=all=error,cplayer=info --no-audio --o=" + Q(out) +
                       " --of=rawvideo --ovc=rawvideo --vf=format=bgr24 " + Q(path));
    // "VO: [lavc] 62x46 bgr24"
    const std::size_t vo = run.out.find("VO: [lavc] ");
    int width = 0, height = 0;
    if (vo != std::string::npos) std::sscanf(run.out.c_str() + vo, "VO: [lavc] %dx%d", &width, &height);
    if (run.exitCode != 0 || width == 0) {
      videos[name].error = "mpv: " + run.out;
      continue;
    }
    videos[name] = interop::SplitFrames(testsupport::ReadFileBytes(out), width, height);
  }
  return videos;
}

// One VLC run per file, transcoding to packed 24-bit frames. VLC refuses to
// run as root, so it runs as nobody, writing into a folder open to all.
Videos ReadVlc(const std::vector<std::string>& paths, const std::string& dir) {
  Videos videos;
  const std::string shared = dir + "/vlc";
  std::filesystem::create_directory(shared);
  std::filesystem::permissions(shared, std::filesystem::perms::all);
  const std::string user = getuid() == 0 ? "setpriv --reuid=nobody --regid=nogroup --clear-groups " : "";
  for (const auto& path : paths) {
    const std::string name = std::filesystem::path(path).filename();
    const std::string in = shared + "/" + name, out = shared + "/" + name + ".bgr";
    std::filesystem::copy_file(path, in);
    std::filesystem::permissions(in, std::filesystem::perms::all);
    const interop::Run run = interop::Shell(
        user + "env HOME=" + Q(shared) + " cvlc -q -I dummy --no-audio --play-and-exit " + Q(in) +
        " --sout " + Q("#transcode{vcodec=RV24}:std{access=file,mux=raw,dst=" + out + "}"));
    const int width = IntAfter(name, "_"), height = IntAfter(name.substr(name.find('x')), "x");
    if (run.exitCode != 0 || !std::filesystem::exists(out)) {
      videos[name].error = "vlc: " + run.out;
      continue;
    }
    // VLC's transcoder rounds odd sides up; its frames are cut back here.
    const int paddedWidth = (width + 1) & ~1, paddedHeight = (height + 1) & ~1;
    Video padded = interop::SplitFrames(testsupport::ReadFileBytes(out), paddedWidth, paddedHeight);
    Video& video = videos[name];
    video.error = padded.error;
    video.width = width;
    video.height = height;
    for (const Bytes& frame : padded.frames) {
      Bytes cut;
      for (int y = 0; y < height; ++y)
        cut.insert(cut.end(), frame.begin() + std::ptrdiff_t(y) * paddedWidth * 3,
                   frame.begin() + std::ptrdiff_t(y) * paddedWidth * 3 + width * 3);
      video.frames.push_back(std::move(cut));
    }
  }
  return videos;
}

// FFmpeg's own decode of every frame.
Videos ReadFfmpeg(const std::vector<std::string>& paths, const std::string&) {
  Videos videos;
  for (const auto& path : paths) {
    const std::string name = std::filesystem::path(path).filename();
    videos[name] = interop::FfmpegDecode(path, IntAfter(name, "_"), IntAfter(name.substr(name.find('x')), "x"));
  }
  return videos;
}

struct Reader {
  const char* name;
  const interop::Program* program;
  // What the reader is meant to decode; empty: every codec.
  std::set<std::string> codecs;
  Videos (*read)(const std::vector<std::string>& paths, const std::string& dir);
  // Codecs whose last frame the reader does not show.
  std::set<std::string> dropsLast = {};
  const interop::Program* alsoNeeds = nullptr;
  bool countsOnly = false;  // frame count and size checked, not the pictures
};

// ImageJ reads uncompressed, JPEG and PNG frames only; OpenCV's own reader
// Motion JPEG only. GStreamer's avidemux gives H.264 as the "itu" variant,
// which only h264parse (plugins-bad) turns into what avdec_h264 takes; it
// fares the same with FFmpeg's H.264 AVIs. VLC ends intra-only and
// Video 1 files one frame early, FFmpeg's files alike.
const Reader kReaders[] = {
    {"Ffmpeg", &interop::kFfmpeg, {}, ReadFfmpeg},
    {"ImageJ", &interop::kImageJ, {"none", "MJPG"}, ReadImageJ},
    {"OpenCvFfmpeg", &interop::kOpenCv, {}, ReadOpenCv<kFfmpegBackend>},
    {"OpenCvMjpeg", &interop::kOpenCv, {"MJPG"}, ReadOpenCv<kMjpegBackend>},
    {"GStreamer", &interop::kGStreamer, {}, ReadGStreamer, {}, &interop::kGStreamerH264},
    {"Mpv", &interop::kMpv, {}, ReadMpv},
    {"Vlc", &interop::kVlc, {}, ReadVlc, {"MJPG", "FFV1", "HFYU", "cvid", "MSVC"}, nullptr, true},
};

void PrintTo(const Reader& reader, std::ostream* os) { *os << reader.name; }

class OurFilesInTheirReaders : public testing::TestWithParam<Reader> {};

TEST_P(OurFilesInTheirReaders, FrameCountSizeAndPictures) {
  const Reader& reader = GetParam();
  REQUIRE_PROGRAM(*reader.program);
  if (reader.alsoNeeds) REQUIRE_PROGRAM(*reader.alsoNeeds);
  std::vector<const Codec*> codecs;
  std::vector<std::string> paths;
  for (const Codec& codec : kCodecs) {
    if (!reader.codecs.empty() && !reader.codecs.count(codec.fourcc)) continue;
    const OurFile& file = OurFiles().at(codec.name());
    ASSERT_EQ(file.error, "") << codec.name();
    codecs.push_back(&codec);
    paths.push_back(file.path);
  }
  const testsupport::TempDir out;
  const Videos videos = reader.read(paths, out.path().string());
  for (const Codec* codec : codecs) {
    const std::string name = codec->name() + ".avi";
    const auto found = videos.find(name);
    ASSERT_NE(found, videos.end()) << name << " was not read; the reader said:\n"
                                   << (videos.empty() ? "" : videos.begin()->second.error);
    std::vector<Bytes> expected = OurFiles().at(codec->name()).frames;
    if (reader.dropsLast.count(codec->fourcc)) expected.pop_back();
    EXPECT_EQ(interop::CompareFrames(expected, codec->width, codec->height, found->second,
                                     reader.countsOnly ? 0 : codec->minPsnr),
              "")
        << name;
  }
}

INSTANTIATE_TEST_SUITE_P(Readers, OurFilesInTheirReaders, testing::ValuesIn(kReaders),
                         [](const auto& info) { return std::string(info.param.name); });

// An OpenDML file (several RIFF parts) whose frames record their sources:
// the table after the last part's movi list is skipped by every reader.
// Files under 1 GiB get the same table after idx1; the table above reads them.
struct OpenDmlFile {
  std::string path;
  std::vector<Bytes> frames;
  HRESULT written = AVIERR_ERROR;
};

// The same frames with or without the sources, in folders of their own so
// that the readers see the same name.
const OpenDmlFile& OurOpenDmlFile(bool withSources) {
  static const testsupport::TempDir dir;
  static const auto make = [](bool sources) {
    constexpr int kWidth = 62, kHeight = 46, kCount = 24;
    constexpr LONG kStride = (kWidth * 3 + 3) & ~3;
    OpenDmlFile made;
    const std::string folder = dir.file(sources ? "with" : "without");
    std::filesystem::create_directory(folder);
    made.path = folder + "/odml_62x46.avi";
    AVISTREAMINFOA header = avitest::StreamHeader(kWidth, kHeight, 10, 0);
    const Bytes format = avitest::RawFormat(kWidth, kHeight);
    PAVIFILE avi = nullptr;
    PAVISTREAM stream = nullptr;
    if ((made.written = AVIFileOpenA(&avi, made.path.c_str(), OF_WRITE | OF_CREATE, nullptr)) != AVIERR_OK)
      return made;
    HRESULT hr = AVIFileSetPartLimit(avi, 40000);  // about four frames a part
    if (hr == AVIERR_OK) hr = AVIFileCreateStreamA(avi, &stream, &header);
    if (hr == AVIERR_OK) hr = AVIStreamSetFormat(stream, 0, format.data(), LONG(format.size()));
    for (int k = 0; k < kCount && hr == AVIERR_OK; ++k) {
      made.frames.push_back(interop::SourceFrame(kWidth, kHeight, k));
      Bytes dib(std::size_t(kStride) * kHeight, 0);  // bottom-up, padded rows
      for (int y = 0; y < kHeight; ++y)
        std::copy_n(made.frames.back().begin() + std::ptrdiff_t(y) * kWidth * 3, kWidth * 3,
                    dib.begin() + std::ptrdiff_t(kHeight - 1 - y) * kStride);
      hr = AVIStreamWrite(stream, k, 1, dib.data(), LONG(dib.size()), AVIIF_KEYFRAME, nullptr, nullptr);
      if (hr == AVIERR_OK && sources)
        hr = AVIStreamSetFrameSource(stream, k, ("/pictures/p" + std::to_string(k + 1) + ".png").c_str(),
                                     "2024:05:01 10:00:00.000000000");
    }
    const LONG streamResult = stream ? AVIStreamRelease(stream) : 0;
    const LONG fileResult = AVIFileRelease(avi);
    made.written = hr != AVIERR_OK ? hr : streamResult != 0 ? streamResult : fileResult;
    return made;
  };
  static const OpenDmlFile with = make(true), without = make(false);
  return withSources ? with : without;
}

// ImageJ reads an OpenDML file this small by scanning its first movi list
// only, with or without the table.
const std::set<std::string> kFirstPartOnly = {"ImageJ"};

class OpenDmlWithSourcesInTheirReaders : public testing::TestWithParam<Reader> {};

TEST_P(OpenDmlWithSourcesInTheirReaders, EveryFrameExactly) {
  const Reader& reader = GetParam();
  if (!reader.codecs.empty() && !reader.codecs.count("none")) GTEST_SKIP() << "reads no uncompressed files";
  REQUIRE_PROGRAM(*reader.program);
  const OpenDmlFile& file = OurOpenDmlFile(true);
  const OpenDmlFile& plain = OurOpenDmlFile(false);
  ASSERT_EQ(file.written, AVIERR_OK);
  ASSERT_EQ(plain.written, AVIERR_OK);
  const testsupport::TempDir out, plainOut;
  const Videos videos = reader.read({file.path}, out.path().string());
  const Videos plainVideos = reader.read({plain.path}, plainOut.path().string());
  const auto found = videos.find("odml_62x46.avi");
  const auto plainFound = plainVideos.find("odml_62x46.avi");
  ASSERT_NE(found, videos.end()) << (videos.empty() ? "" : videos.begin()->second.error);
  ASSERT_NE(plainFound, plainVideos.end());
  EXPECT_EQ(found->second.error, "");
  EXPECT_TRUE(found->second.frames == plainFound->second.frames) << "the table changed what the reader gives";
  if (!kFirstPartOnly.count(reader.name)) {
    EXPECT_EQ(interop::CompareFrames(file.frames, 62, 46, found->second, reader.countsOnly ? 0 : interop::kExact),
              "");
  }
}

INSTANTIATE_TEST_SUITE_P(Readers, OpenDmlWithSourcesInTheirReaders, testing::ValuesIn(kReaders),
                         [](const auto& info) { return std::string(info.param.name); });

// A compressor added later needs its row above.
TEST(OurFilesInTheirReaders, TableHoldsEveryCompressor) {
  const interop::Run run = interop::Shell(Q(interop::Cli()) + " codecs");
  ASSERT_EQ(run.exitCode, 0) << run.out;
  std::set<std::string> listed, table;
  std::istringstream lines(run.out);
  for (std::string line; std::getline(lines, line);) listed.insert(line.substr(0, line.find('\t')));
  for (const Codec& codec : kCodecs) table.insert(codec.fourcc);
  EXPECT_EQ(listed, table);
}

}  // namespace
