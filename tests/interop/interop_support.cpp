#include "tests/interop/interop_support.h"


#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "avi_view/avi_reader.h"
#include "platform/vfw.h"
#include "tests/support/picture_fixtures.h"
#include "tests/support/test_support.h"

namespace interop {

const Program kFfmpeg{"ffmpeg", "ffmpeg -version", "ffmpeg"};
const Program kOpenCv{"OpenCV for Python", "/usr/bin/python3 -c 'import cv2'", "python3-opencv"};
const Program kImageJ{"ImageJ with a Java compiler",
                      "test -r /usr/share/java/ij.jar && javac -version && java -version",
                      "imagej default-jdk-headless"};
const Program kGStreamer{"GStreamer with avidemux, avimux, pngenc, jpegenc and the libav decoders",
                         "gst-launch-1.0 --version && gst-inspect-1.0 --exists avidemux && gst-inspect-1.0 --exists "
                         "avimux && gst-inspect-1.0 --exists pngenc && gst-inspect-1.0 --exists jpegenc && "
                         "gst-inspect-1.0 --exists avdec_ffv1",
                         "gstreamer1.0-tools gstreamer1.0-plugins-base gstreamer1.0-plugins-good gstreamer1.0-libav"};
const Program kMencoder{"MEncoder", "mencoder -ovc help", "mencoder"};
const Program kMpv{"mpv", "mpv --version", "mpv"};
const Program kImageMagick{"ImageMagick", "convert -version", "imagemagick"};
const Program kVlc{"VLC", "command -v cvlc && command -v setpriv", "vlc-bin vlc-plugin-base"};
const Program kGStreamerH264{"GStreamer's h264parse", "gst-inspect-1.0 h264parse", "gstreamer1.0-plugins-bad"};

std::string Missing(const Program& program) {
  if (Shell(std::string("(") + program.check + ") >/dev/null 2>&1").exitCode == 0) return "";
  return std::string(program.name) + " is missing (`" + program.check + "` failed): install " + program.package +
         " (scripts/install-deps does)";
}

std::string Cli() {
  const char* path = std::getenv("STILLWEAVER_CLI");
  return path && *path ? path : STILLWEAVER_CLI_PATH;
}

std::string HelperPath(const std::string& name) { return std::string(STILLWEAVER_INTEROP_DIR) + "/" + name; }

std::string Python() { return "/usr/bin/python3"; }

std::string ImageJCommand() {
  // Compiled once per process; the folder goes when the process ends.
  static const testsupport::TempDir classes;
  static const std::string command = [] {
    const Run javac =
        Shell("javac -cp /usr/share/java/ij.jar -d " + Q(classes.path().string()) + " " + Q(HelperPath("IjAvi.java")));
    if (javac.exitCode != 0) {
      std::fprintf(stderr, "javac failed:\n%s\n", javac.out.c_str());
      return std::string();
    }
    return "java -Djava.awt.headless=true -cp " + Q("/usr/share/java/ij.jar:" + classes.path().string()) + " IjAvi";
  }();
  return command;
}

Run Shell(const std::string& commandLine) { return testsupport::RunCommand("(" + commandLine + ") 2>&1"); }

std::string Q(const std::string& arg) { return testsupport::ShellQuote(arg); }

Video Failure(std::string why) {
  Video video;
  video.error = std::move(why);
  return video;
}

Video SplitFrames(const Bytes& data, int width, int height, int stride) {
  Video video;
  video.width = width;
  video.height = height;
  const std::size_t rowBytes = std::size_t(width) * 3;
  const std::size_t rowStride = stride > 0 ? std::size_t(stride) : rowBytes;
  const std::size_t frameBytes = rowStride * std::size_t(height);
  if (frameBytes == 0 || data.size() % frameBytes != 0) {
    video.error = std::to_string(data.size()) + " bytes are no whole number of " + std::to_string(width) + "x" +
                  std::to_string(height) + " frames";
    return video;
  }
  for (std::size_t at = 0; at < data.size(); at += frameBytes) {
    Bytes frame;
    frame.reserve(rowBytes * std::size_t(height));
    for (int y = 0; y < height; ++y) {
      const auto row = data.begin() + std::ptrdiff_t(at + std::size_t(y) * rowStride);
      frame.insert(frame.end(), row, row + std::ptrdiff_t(rowBytes));
    }
    video.frames.push_back(std::move(frame));
  }
  return video;
}

Bytes SourceFrame(int width, int height, int k) {
  constexpr double kTurn = 6.283185307179586;
  const double phase = k / 4.0;
  const auto wave = [](double turns) { return std::uint8_t(std::lround(128 + 100 * std::cos(kTurn * turns))); };
  Bytes frame;
  frame.reserve(std::size_t(width) * std::size_t(height) * 3);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      frame.push_back(wave(double(x + y) / (width + height) - phase));  // blue
      frame.push_back(wave(double(y) / height + phase + 0.75));         // green
      frame.push_back(wave(double(x) / width + phase));                 // red
    }
  return frame;
}

std::vector<Bytes> WriteSources(const std::string& dir, int width, int height, int count) {
  std::vector<Bytes> frames;
  Bytes all;
  for (int k = 0; k < count; ++k) {
    Bytes frame = SourceFrame(width, height, k);
    const auto pixel = [&frame, width](int x, int y) {
      const std::size_t at = (std::size_t(y) * std::size_t(width) + std::size_t(x)) * 3;
      return testsupport::Rgb{frame[at + 2], frame[at + 1], frame[at]};
    };
    testsupport::WritePngRgb(dir + "/p" + std::to_string(k + 1) + ".png", width, height, pixel);
    all.insert(all.end(), frame.begin(), frame.end());
    frames.push_back(std::move(frame));
  }
  testsupport::WriteFileBytes(dir + "/frames.bgr", all);
  return frames;
}

std::string CompareFrames(const std::vector<Bytes>& expected, int width, int height, const Video& got, double minPsnr) {
  if (!got.error.empty()) return got.error;
  if (got.width != width || got.height != height)
    return "size " + std::to_string(got.width) + "x" + std::to_string(got.height) + ", expected " +
           std::to_string(width) + "x" + std::to_string(height);
  if (got.frames.size() != expected.size())
    return std::to_string(got.frames.size()) + " frames, expected " + std::to_string(expected.size());
  std::string differences;
  for (std::size_t k = 0; k < expected.size(); ++k) {
    const Bytes& a = expected[k];
    const Bytes& b = got.frames[k];
    if (a.size() != b.size()) return "frame " + std::to_string(k) + " has " + std::to_string(b.size()) + " bytes";
    double squares = 0;
    int largest = 0;
    std::size_t differing = 0;
    for (std::size_t i = 0; i < a.size(); ++i) {
      const int d = std::abs(int(a[i]) - int(b[i]));
      squares += double(d) * d;
      largest = std::max(largest, d);
      differing += d != 0;
    }
    const double psnr = squares == 0 ? kExact : 10 * std::log10(255.0 * 255.0 * double(a.size()) / squares);
    if (psnr >= minPsnr) continue;
    char line[160];
    std::snprintf(line, sizeof line, "frame %zu: %.1f dB, %zu of %zu bytes differ, by %d at most\n", k, psnr, differing,
                  a.size(), largest);
    differences += line;
  }
  return differences;
}

Video ReadWithOurReader(const std::string& path, std::uint32_t* rate, std::uint32_t* scale) {
  Video video;
  avi_view::AviReader reader(
      path, [&video](const std::string& text, const std::string& caption) { video.error = caption + ": " + text; });
  if (rate) *rate = reader.m_streamInfo.dwRate;
  if (scale) *scale = reader.m_streamInfo.dwScale;
  if (!reader.ready()) return video;
  const LONG length = AVIStreamLength(reader.m_videoStream);
  for (LONG i = 0; i < length; ++i) {
    const auto* dib = static_cast<const std::uint8_t*>(AVIStreamGetFrame(reader.m_decoder, i));
    if (!dib) {
      video.error = "frame " + std::to_string(i) + " did not decode";
      return video;
    }
    BITMAPINFOHEADER header;
    std::memcpy(&header, dib, sizeof header);
    if (header.biBitCount != 24 || header.biHeight <= 0) {
      video.error = "frame " + std::to_string(i) + " is no bottom-up 24-bit DIB";
      return video;
    }
    video.width = header.biWidth;
    video.height = header.biHeight;
    const std::size_t rowBytes = std::size_t(header.biWidth) * 3;
    const std::size_t stride = (rowBytes + 3) & ~std::size_t{3};
    Bytes frame;
    frame.reserve(rowBytes * std::size_t(header.biHeight));
    for (LONG y = header.biHeight - 1; y >= 0; --y) {
      const std::uint8_t* row = dib + header.biSize + std::size_t(y) * stride;
      frame.insert(frame.end(), row, row + rowBytes);
    }
    video.frames.push_back(std::move(frame));
  }
  return video;
}

Video FfmpegDecode(const std::string& path, int width, int height) {
  const std::string out = path + ".ffmpeg.bgr";
  const Run run = Shell("ffmpeg -nostdin -v error -i " + Q(path) +
                        " -fps_mode passthrough -f rawvideo -pix_fmt bgr24 -y " + Q(out));
  if (run.exitCode != 0) return Failure("ffmpeg failed: " + run.out);
  return SplitFrames(testsupport::ReadFileBytes(out), width, height);
}

}  // namespace interop
