// Calls out of order or with bad arguments give their codes and leave the
// handles usable.
#include <gtest/gtest.h>

#include "platform/avifile.h"
#include "tests/platform/avifile/avi_test_support.h"
#include "tests/support/test_support.h"

namespace {

using testsupport::TempDir;

TEST(AviApi, NullHandlesAndArguments) {
  PAVIFILE file = nullptr;
  PAVISTREAM stream = nullptr;
  const AVISTREAMINFOA header = avitest::StreamHeader(4, 4, 10, 48);
  AVISTREAMINFOA info{};
  LONG n = 0;
  EXPECT_EQ(AVIFileOpenA(nullptr, "x.avi", OF_READ, nullptr), AVIERR_BADPARAM);
  EXPECT_EQ(AVIFileOpenA(&file, nullptr, OF_READ, nullptr), AVIERR_BADPARAM);
  const CLSID handler{};
  EXPECT_EQ(AVIFileOpenA(&file, "x.avi", OF_READ, &handler), AVIERR_BADPARAM);
  EXPECT_EQ(AVIFileRelease(nullptr), AVIERR_BADHANDLE);
  EXPECT_EQ(AVIStreamRelease(nullptr), AVIERR_BADHANDLE);
  EXPECT_EQ(AVIFileCreateStreamA(nullptr, &stream, &header), AVIERR_BADHANDLE);
  EXPECT_EQ(AVIFileGetStream(nullptr, &stream, streamtypeVIDEO, 0), AVIERR_BADHANDLE);
  EXPECT_EQ(AVIStreamSetFormat(nullptr, 0, &header, 40), AVIERR_BADHANDLE);
  EXPECT_EQ(AVIStreamWrite(nullptr, 0, 1, &header, 4, 0, nullptr, nullptr), AVIERR_BADHANDLE);
  EXPECT_EQ(AVIStreamInfoA(nullptr, &info, sizeof info), AVIERR_BADHANDLE);
  EXPECT_EQ(AVIStreamReadFormat(nullptr, 0, nullptr, &n), AVIERR_BADHANDLE);
  EXPECT_EQ(AVIStreamRead(nullptr, 0, 1, nullptr, 0, &n, nullptr), AVIERR_BADHANDLE);
  EXPECT_EQ(AVIStreamLength(nullptr), -1);
  EXPECT_EQ(AVIStreamFindSample(nullptr, 0, FIND_KEY | FIND_PREV), -1);
  EXPECT_EQ(AVIFileSetPartLimit(nullptr, 1000), AVIERR_BADHANDLE);
}

TEST(AviApi, WriterRefusesWhatItCannotWrite) {
  TempDir dir;
  const avitest::Clip clip = avitest::RawClip(4, 4, 10, 2);
  PAVIFILE file = reinterpret_cast<PAVIFILE>(1);
  EXPECT_EQ(AVIFileOpenA(&file, dir.file("no/such/folder.avi").c_str(), OF_WRITE | OF_CREATE, nullptr),
            AVIERR_FILEOPEN);
  EXPECT_EQ(file, nullptr);
  ASSERT_EQ(AVIFileOpenA(&file, dir.file("w.avi").c_str(), OF_WRITE | OF_CREATE, nullptr), AVIERR_OK);
  EXPECT_EQ(AVIFileSetPartLimit(file, 0), AVIERR_BADPARAM);
  EXPECT_EQ(AVIFileSetPartLimit(file, 3ull << 30), AVIERR_BADPARAM) << "parts stay far from 4 GiB";
  AVISTREAMINFOA audio = clip.header;
  audio.fccType = streamtypeAUDIO;
  PAVISTREAM stream = nullptr;
  EXPECT_EQ(AVIFileCreateStreamA(file, &stream, &audio), AVIERR_UNSUPPORTED);
  ASSERT_EQ(AVIFileCreateStreamA(file, &stream, &clip.header), AVIERR_OK);
  PAVISTREAM second = nullptr;
  EXPECT_EQ(AVIFileCreateStreamA(file, &second, &clip.header), AVIERR_UNSUPPORTED) << "one stream per file";

  const void* frame = clip.frames[0].data();
  const LONG size = static_cast<LONG>(clip.frames[0].size());
  EXPECT_EQ(AVIStreamWrite(stream, 0, 1, frame, size, 0, nullptr, nullptr), AVIERR_BADFORMAT) << "no format yet";
  EXPECT_EQ(AVIStreamSetFormat(stream, 0, clip.format.data(), 39), AVIERR_BADSIZE);
  EXPECT_EQ(AVIStreamSetFormat(stream, 0, nullptr, 40), AVIERR_BADPARAM);
  ASSERT_EQ(AVIStreamSetFormat(stream, 0, clip.format.data(), 40), AVIERR_OK);
  EXPECT_EQ(AVIStreamWrite(stream, 1, 1, frame, size, 0, nullptr, nullptr), AVIERR_BADPARAM) << "not the next position";
  EXPECT_EQ(AVIStreamWrite(stream, 0, 2, frame, size, 0, nullptr, nullptr), AVIERR_BADPARAM) << "one sample at a time";
  EXPECT_EQ(AVIStreamWrite(stream, 0, 1, nullptr, size, 0, nullptr, nullptr), AVIERR_BADPARAM);
  EXPECT_EQ(AVIStreamWrite(stream, 0, 1, frame, -1, 0, nullptr, nullptr), AVIERR_BADPARAM);
  ASSERT_EQ(AVIStreamWrite(stream, 0, 1, frame, size, 0, nullptr, nullptr), AVIERR_OK);
  EXPECT_EQ(AVIStreamSetFormat(stream, 0, clip.format.data(), 40), AVIERR_UNSUPPORTED) << "no format changes";
  ASSERT_EQ(AVIStreamWrite(stream, -1, 1, clip.frames[1].data(), size, 0, nullptr, nullptr), AVIERR_OK)
      << "-1 appends";
  EXPECT_EQ(AVIStreamLength(stream), 2);
  AVISTREAMINFOA info{};
  ASSERT_EQ(AVIStreamInfoA(stream, &info, sizeof info), AVIERR_OK);
  EXPECT_EQ(info.dwLength, 2u);
  LONG bytes = 0;
  EXPECT_EQ(AVIStreamRead(stream, 0, 1, nullptr, 0, &bytes, nullptr), AVIERR_UNSUPPORTED);
  EXPECT_EQ(AVIStreamRelease(stream), 0);
  EXPECT_EQ(AVIFileRelease(file), 0);
  EXPECT_EQ(avitest::ReadClip(dir.file("w.avi")).frames, clip.frames);
}

TEST(AviApi, ReaderRefusesWritesAndChecksReads) {
  TempDir dir;
  const avitest::Clip clip = avitest::RawClip(4, 4, 10, 3);
  ASSERT_EQ(avitest::WriteClip(dir.file("r.avi"), clip).fileRelease, 0);
  PAVIFILE file = nullptr;
  EXPECT_EQ(AVIFileOpenA(&file, dir.file("r.avi").c_str(), OF_WRITE, nullptr), AVIERR_UNSUPPORTED)
      << "existing files are not edited";
  ASSERT_EQ(AVIFileOpenA(&file, dir.file("r.avi").c_str(), OF_READ, nullptr), AVIERR_OK);
  PAVISTREAM stream = nullptr;
  EXPECT_EQ(AVIFileCreateStreamA(file, &stream, &clip.header), AVIERR_READONLY);
  EXPECT_EQ(AVIFileSetPartLimit(file, 1000), AVIERR_READONLY);
  EXPECT_EQ(AVIFileGetStream(file, &stream, streamtypeVIDEO, 1), AVIERR_NODATA) << "only one video stream";
  EXPECT_EQ(AVIFileGetStream(file, &stream, streamtypeVIDEO, -1), AVIERR_NODATA);
  ASSERT_EQ(AVIFileGetStream(file, &stream, streamtypeVIDEO, 0), AVIERR_OK);
  EXPECT_EQ(AVIStreamSetFormat(stream, 0, clip.format.data(), 40), AVIERR_READONLY);
  EXPECT_EQ(AVIStreamWrite(stream, 3, 1, clip.frames[0].data(), 48, 0, nullptr, nullptr), AVIERR_READONLY);

  std::vector<std::uint8_t> buffer(48);
  LONG bytes = -1, samples = -1;
  EXPECT_EQ(AVIStreamRead(stream, 1, 1, buffer.data(), 47, &bytes, &samples), AVIERR_BUFFERTOOSMALL);
  EXPECT_EQ(bytes, 48) << "the size needed";
  EXPECT_EQ(AVIStreamRead(stream, 3, 1, buffer.data(), 48, &bytes, &samples), AVIERR_BADPARAM);
  EXPECT_EQ(AVIStreamRead(stream, -1, 1, buffer.data(), 48, &bytes, &samples), AVIERR_BADPARAM);
  EXPECT_EQ(AVIStreamRead(stream, 1, 0, buffer.data(), 48, &bytes, &samples), AVIERR_BADPARAM);
  ASSERT_EQ(AVIStreamRead(stream, 2, 1, buffer.data(), 48, &bytes, &samples), AVIERR_OK);
  EXPECT_EQ(bytes, 48);
  EXPECT_EQ(samples, 1);
  EXPECT_EQ(buffer, clip.frames[2]);

  // A short format buffer gets the start of the format.
  LONG formatSize = 20;
  std::uint8_t format[20];
  ASSERT_EQ(AVIStreamReadFormat(stream, 0, format, &formatSize), AVIERR_OK);
  EXPECT_EQ(formatSize, 20);
  EXPECT_EQ(std::vector<std::uint8_t>(format, format + 20),
            std::vector<std::uint8_t>(clip.format.begin(), clip.format.begin() + 20));
  // A short stream record gets the start of the record.
  AVISTREAMINFOA info{};
  ASSERT_EQ(AVIStreamInfoA(stream, &info, 8), AVIERR_OK);
  EXPECT_EQ(info.fccType, streamtypeVIDEO);
  EXPECT_EQ(info.dwRate, 0u);

  EXPECT_EQ(AVIStreamRelease(stream), 0);
  EXPECT_EQ(AVIStreamRelease(stream), AVIERR_BADHANDLE) << "released once too often";
  EXPECT_EQ(AVIFileRelease(file), 0);
}

}  // namespace
