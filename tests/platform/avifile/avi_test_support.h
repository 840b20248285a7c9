// Fixtures for the AVI file tests and every test that writes or reads back
// an AVI: generated frames, a writer and a reader over the public functions,
// and frame hashes to set beside FFmpeg's (tests/support has FFmpeg's side).
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "platform/avifile.h"

namespace avitest {

// A 40-byte BI_RGB, 24-bit, bottom-up format.
std::vector<std::uint8_t> RawFormat(int width, int height);
// A format of a made-up compressor: 40 bytes and extra codec data.
std::vector<std::uint8_t> FakeCompressedFormat(int width, int height, std::size_t extra);
// Frame index of a clip as rows × stride bytes of a moving pattern, stride
// padding 0.
std::vector<std::uint8_t> PatternFrame(int width, int height, int index);
// The stream header the Make-AVI job passes.
AVISTREAMINFOA StreamHeader(int width, int height, int fps, DWORD sampleSize);

struct Clip {
  AVISTREAMINFOA header{};
  std::vector<std::uint8_t> format;
  std::vector<std::vector<std::uint8_t>> frames;
  std::vector<DWORD> flags;  // per frame; empty: all 0
  // Per frame, recorded with AVIStreamSetFrameSource; empty: none.
  std::vector<std::pair<std::string, std::string>> sources;  // path, time
};
Clip RawClip(int width, int height, int fps, int frameCount);

struct WriteOutcome {
  HRESULT open = -1, create = -1, format = -1;
  std::vector<HRESULT> writes;
  LONG streamRelease = -1, fileRelease = -1;
};
// Writes the clip through the public functions; partLimit 0 keeps the default.
WriteOutcome WriteClip(const std::string& path, const Clip& clip, std::uint64_t partLimit = 0);

// A file opened for writing with the clip's stream created and its format
// set, for tests that drive the writes and releases themselves.
struct OpenWriter {
  HRESULT result = -1;  // AVIERR_OK when every step worked
  PAVIFILE file = nullptr;
  PAVISTREAM stream = nullptr;
};
OpenWriter OpenForWriting(const std::string& path, const Clip& clip);
// Writes the clip's frame i as sample i.
HRESULT WriteFrame(PAVISTREAM stream, const Clip& clip, int i, LONG* samples = nullptr, LONG* bytes = nullptr);

struct ReadBack {
  HRESULT open = -1, stream = -1;
  AVISTREAMINFOA info{};
  std::vector<std::uint8_t> format;
  std::vector<std::vector<std::uint8_t>> frames;
  std::vector<bool> keys;
  std::vector<HRESULT> reads;  // any failed AVIStreamRead
  bool hasSources = false;
  std::vector<std::pair<std::string, std::string>> sources;  // per frame while AVIStreamFrameSource finds one
};
ReadBack ReadClip(const std::string& path);
// Frames in the file's video stream as our reader finds them, -1 when it
// cannot open the file.
LONG FramesIn(const std::string& path);

std::string Md5Hex(const std::vector<std::uint8_t>& bytes);
// MD5 of a bottom-up 24-bit frame as rows from the top without padding: what
// `ffmpeg -pix_fmt bgr24 -f framemd5` hashes.
std::string TopDownMd5(const std::vector<std::uint8_t>& frame, int width, int height);

}  // namespace avitest
