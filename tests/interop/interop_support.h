// What the interop tests share: the programs they drive, the pictures every
// file is made from, and frames as our reader, FFmpeg and the others decode
// them, compared within a tolerance that fits the codec.
#pragma once

#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "tests/support/test_support.h"

namespace interop {

using Bytes = std::vector<std::uint8_t>;

// A program the tests start, with the Debian package that brings it.
// scripts/install-deps installs every one, so a missing program fails the
// test that needs it instead of skipping it.
struct Program {
  const char* name;
  const char* check;  // a shell command that succeeds when the program works
  const char* package;
};
extern const Program kFfmpeg, kOpenCv, kImageJ, kGStreamer, kMencoder, kMpv, kVlc, kGStreamerH264, kImageMagick;

// Empty when the program is there; otherwise a message naming its package.
std::string Missing(const Program& program);
#define REQUIRE_PROGRAM(program) \
  if (const std::string missing = interop::Missing(program); !missing.empty()) FAIL() << missing

// Folders and programs of the build: the CLI, this folder's helper scripts,
// Debian's python3 (the one with cv2, whatever comes first on PATH).
std::string Cli();
std::string HelperPath(const std::string& name);
std::string Python();
// `java` with ImageJ and the compiled helper on its class path; compiles the
// helper on first use. Empty when javac failed (the failure is logged).
std::string ImageJCommand();

// Runs a shell command; stdout and stderr together in `out`.
using Run = testsupport::CommandResult;
Run Shell(const std::string& commandLine);
std::string Q(const std::string& arg);  // shell-quoted

// The frames of one decoded video: rows from the top, blue, green, red, no
// padding. `error` says why there are none.
struct Video {
  std::string error;
  int width = 0, height = 0;
  std::vector<Bytes> frames;
};
Video Failure(std::string why);
// Cuts a file of frames one after another into frames of `stride` bytes per
// row (0: no padding); an error when the size does not divide.
Video SplitFrames(const Bytes& data, int width, int height, int stride = 0);

// Frame k of the pictures every file is made from: smooth waves whose phase
// moves by a quarter turn from frame to frame, so a lossy codec keeps each
// picture well above kLossy while two different frames stay far below it.
Bytes SourceFrame(int width, int height, int k);
// Writes frames 0..count-1 as pictures dir/p1.png... and all of them one
// after another as dir/frames.bgr; returns the frames.
std::vector<Bytes> WriteSources(const std::string& dir, int width, int height, int count);

constexpr double kExact = std::numeric_limits<double>::infinity();
constexpr double kLossy = 25;  // dB: every codec we write keeps 28 or more; a wrong frame gives 10 or less
// Empty when the video has exactly the expected frames, each at least
// minPsnr dB (kExact: identical); otherwise what differs.
std::string CompareFrames(const std::vector<Bytes>& expected, int width, int height, const Video& got, double minPsnr);

// The file read with our viewer's reader, frame after frame in order, as
// playback reads it; rate and scale from the stream header.
Video ReadWithOurReader(const std::string& path, std::uint32_t* rate = nullptr, std::uint32_t* scale = nullptr);
// The file as ffmpeg decodes it to bgr24.
Video FfmpegDecode(const std::string& path, int width, int height);

}  // namespace interop
