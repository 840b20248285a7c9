#include "tests/platform/avifile/avi_test_support.h"

#include <cstdio>
#include <cstring>

#include <gtest/gtest.h>

extern "C" {
#include <libavutil/md5.h>
}

#include "tests/support/test_support.h"

namespace avitest {

using testsupport::DibStride;

std::vector<std::uint8_t> RawFormat(int width, int height) {
  BITMAPINFOHEADER bih{};
  bih.biSize = sizeof bih;
  bih.biWidth = width;
  bih.biHeight = height;
  bih.biPlanes = 1;
  bih.biBitCount = 24;
  bih.biCompression = BI_RGB;
  bih.biSizeImage = static_cast<DWORD>(DibStride(width) * height);
  std::vector<std::uint8_t> bytes(sizeof bih);
  std::memcpy(bytes.data(), &bih, sizeof bih);
  return bytes;
}

std::vector<std::uint8_t> FakeCompressedFormat(int width, int height, std::size_t extra) {
  std::vector<std::uint8_t> bytes = RawFormat(width, height);
  BITMAPINFOHEADER bih;
  std::memcpy(&bih, bytes.data(), sizeof bih);
  bih.biSize = static_cast<DWORD>(sizeof bih + extra);
  bih.biCompression = mmioFOURCC('T', 'E', 'S', 'T');
  bih.biSizeImage = 0;
  std::memcpy(bytes.data(), &bih, sizeof bih);
  for (std::size_t i = 0; i < extra; ++i) bytes.push_back(static_cast<std::uint8_t>(0xA0 + i));
  return bytes;
}

std::vector<std::uint8_t> PatternFrame(int width, int height, int index) {
  const int stride = DibStride(width);
  std::vector<std::uint8_t> frame(static_cast<std::size_t>(stride) * height, 0);
  for (int y = 0; y < height; ++y) {
    std::uint8_t* row = frame.data() + static_cast<std::size_t>(y) * stride;
    for (int x = 0; x < width; ++x) {
      row[3 * x] = static_cast<std::uint8_t>(x * 7 + index * 13);
      row[3 * x + 1] = static_cast<std::uint8_t>(y * 5 + index * 3);
      row[3 * x + 2] = static_cast<std::uint8_t>((x ^ y) + index * 29);
    }
  }
  return frame;
}

AVISTREAMINFOA StreamHeader(int width, int height, int fps, DWORD sampleSize) {
  AVISTREAMINFOA h{};
  h.fccType = streamtypeVIDEO;
  h.fccHandler = mmioFOURCC('D', 'I', 'B', ' ');
  h.wPriority = 1;
  h.dwScale = 1;
  h.dwRate = static_cast<DWORD>(fps);
  h.dwSuggestedBufferSize = static_cast<DWORD>(DibStride(width) * height);
  h.dwQuality = static_cast<DWORD>(-1);
  h.dwSampleSize = sampleSize;
  h.rcFrame = RECT{0, 0, width, height};
  std::strcpy(h.szName, "Stillweaver");
  return h;
}

Clip RawClip(int width, int height, int fps, int frameCount) {
  Clip clip;
  clip.header = StreamHeader(width, height, fps, static_cast<DWORD>(DibStride(width) * height));
  clip.format = RawFormat(width, height);
  for (int i = 0; i < frameCount; ++i) clip.frames.push_back(PatternFrame(width, height, i));
  return clip;
}

WriteOutcome WriteClip(const std::string& path, const Clip& clip, std::uint64_t partLimit) {
  WriteOutcome out;
  PAVIFILE file = nullptr;
  out.open = AVIFileOpenA(&file, path.c_str(), OF_WRITE | OF_CREATE, nullptr);
  if (out.open != AVIERR_OK) return out;
  if (partLimit && (out.open = AVIFileSetPartLimit(file, partLimit)) != AVIERR_OK) {
    out.fileRelease = AVIFileRelease(file);
    return out;
  }
  PAVISTREAM stream = nullptr;
  out.create = AVIFileCreateStreamA(file, &stream, &clip.header);
  if (out.create == AVIERR_OK) {
    out.format = AVIStreamSetFormat(stream, 0, clip.format.data(), static_cast<LONG>(clip.format.size()));
    for (std::size_t i = 0; i < clip.frames.size(); ++i) {
      LONG samples = 0, bytes = 0;
      const DWORD flags = clip.flags.empty() ? 0 : clip.flags[i];
      out.writes.push_back(AVIStreamWrite(stream, static_cast<LONG>(i), 1, clip.frames[i].data(),
                                          static_cast<LONG>(clip.frames[i].size()), flags, &samples, &bytes));
      if (out.writes.back() != AVIERR_OK) break;
      if (i < clip.sources.size() &&
          AVIStreamSetFrameSource(stream, static_cast<LONG>(i), clip.sources[i].first.c_str(),
                                  clip.sources[i].second.c_str()) != AVIERR_OK)
        out.writes.back() = AVIERR_ERROR;
    }
    out.streamRelease = AVIStreamRelease(stream);
  }
  out.fileRelease = AVIFileRelease(file);
  return out;
}

OpenWriter OpenForWriting(const std::string& path, const Clip& clip) {
  OpenWriter out;
  out.result = AVIFileOpenA(&out.file, path.c_str(), OF_WRITE | OF_CREATE, nullptr);
  if (out.result == AVIERR_OK) out.result = AVIFileCreateStreamA(out.file, &out.stream, &clip.header);
  if (out.result == AVIERR_OK)
    out.result = AVIStreamSetFormat(out.stream, 0, clip.format.data(), static_cast<LONG>(clip.format.size()));
  return out;
}

HRESULT WriteFrame(PAVISTREAM stream, const Clip& clip, int i, LONG* samples, LONG* bytes) {
  const auto& frame = clip.frames[static_cast<std::size_t>(i)];
  return AVIStreamWrite(stream, i, 1, frame.data(), static_cast<LONG>(frame.size()), 0, samples, bytes);
}

ReadBack ReadClip(const std::string& path) {
  ReadBack back;
  PAVIFILE file = nullptr;
  back.open = AVIFileOpenA(&file, path.c_str(), OF_READ, nullptr);
  if (back.open != AVIERR_OK) return back;
  PAVISTREAM stream = nullptr;
  back.stream = AVIFileGetStream(file, &stream, streamtypeVIDEO, 0);
  if (back.stream == AVIERR_OK) {
    back.stream = AVIStreamInfoA(stream, &back.info, sizeof back.info);
    LONG size = 0;
    if (back.stream == AVIERR_OK) back.stream = AVIStreamReadFormat(stream, 0, nullptr, &size);
    back.format.resize(static_cast<std::size_t>(size));
    if (back.stream == AVIERR_OK) back.stream = AVIStreamReadFormat(stream, 0, back.format.data(), &size);
    const LONG length = AVIStreamLength(stream);
    for (LONG i = 0; i < length; ++i) {
      LONG bytes = 0;
      HRESULT hr = AVIStreamRead(stream, i, 1, nullptr, 0, &bytes, nullptr);
      std::vector<std::uint8_t> frame(static_cast<std::size_t>(bytes));
      if (hr == AVIERR_OK) hr = AVIStreamRead(stream, i, 1, frame.data(), bytes, &bytes, nullptr);
      if (hr != AVIERR_OK) back.reads.push_back(hr);
      back.frames.push_back(std::move(frame));
      back.keys.push_back(AVIStreamIsKeyFrame(stream, i));
    }
    back.hasSources = AVIStreamHasFrameSources(stream);
    const char* source = nullptr;
    const char* time = nullptr;
    for (LONG i = 0; i < length && AVIStreamFrameSource(stream, i, &source, &time) == AVIERR_OK; ++i)
      back.sources.emplace_back(source, time);
    (void)AVIStreamRelease(stream);  // a file being read releases without anything to report
  }
  (void)AVIFileRelease(file);
  return back;
}

LONG FramesIn(const std::string& path) {
  AVIFileInit();
  LONG frames = -1;
  PAVIFILE file = nullptr;
  if (AVIFileOpenA(&file, path.c_str(), OF_READ, nullptr) == AVIERR_OK) {
    PAVISTREAM stream = nullptr;
    if (AVIFileGetStream(file, &stream, streamtypeVIDEO, 0) == AVIERR_OK) {
      frames = AVIStreamLength(stream);
      EXPECT_EQ(AVIStreamRelease(stream), 0);
    }
    EXPECT_EQ(AVIFileRelease(file), 0);
  }
  AVIFileExit();
  return frames;
}

std::string Md5Hex(const std::vector<std::uint8_t>& bytes) {
  std::uint8_t digest[16];
  av_md5_sum(digest, bytes.data(), static_cast<int>(bytes.size()));
  char hex[33];
  for (int i = 0; i < 16; ++i) std::snprintf(hex + 2 * i, 3, "%02x", digest[i]);
  return hex;
}

std::string TopDownMd5(const std::vector<std::uint8_t>& frame, int width, int height) {
  std::vector<std::uint8_t> packed;
  packed.reserve(static_cast<std::size_t>(width) * height * 3);
  for (int y = height - 1; y >= 0; --y) {
    const std::uint8_t* row = frame.data() + static_cast<std::size_t>(y) * DibStride(width);
    packed.insert(packed.end(), row, row + 3 * width);
  }
  return Md5Hex(packed);
}

}  // namespace avitest
