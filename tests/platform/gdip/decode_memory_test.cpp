// Pictures decoded one after another on a thread that keeps picture memory
// come out exactly as on a thread that does not, whatever the pictures
// before them left in the kept blocks.
#include <gtest/gtest.h>

#include <thread>
#include <turbojpeg.h>

#include "platform/gdip/decode_memory.h"
#include "platform/gdiplus.h"
#include "platform/picture_memory.h"
#include "platform/text.h"
#include "tests/support/picture_fixtures.h"
#include "tests/support/test_support.h"

namespace {

using namespace testsupport;

std::vector<std::uint8_t> Jpeg(int width, int height, const Pattern& pattern, int sampling, int flags) {
  const std::vector<std::uint8_t> pixels = PatternBgr(width, height, pattern);
  tjhandle handle = tjInitCompress();
  unsigned char* jpeg = nullptr;
  unsigned long size = 0;
  const int failed = tjCompress2(handle, pixels.data(), width, 0, height, TJPF_BGR, &jpeg, &size, sampling, 90, flags);
  tjDestroy(handle);
  std::vector<std::uint8_t> bytes;
  if (!failed) bytes.assign(jpeg, jpeg + size);
  tjFree(jpeg);
  return bytes;
}

// The file cut before its `scan`th scan and ended there: a progressive
// picture then lacks the later scans' coefficients, which must read zero.
std::vector<std::uint8_t> EndBeforeScan(std::vector<std::uint8_t> bytes, int scan) {
  for (std::size_t i = 2; i + 1 < bytes.size(); ++i)
    if (bytes[i] == 0xFF && bytes[i + 1] == 0xDA && --scan == 0) {
      bytes.resize(i);
      break;
    }
  bytes.insert(bytes.end(), {0xFF, 0xD9});
  return bytes;
}

// The first scan's data cut at `fraction` and the file ended there: the
// rows it lacks stay black.
std::vector<std::uint8_t> CutScan(std::vector<std::uint8_t> bytes, double fraction) {
  std::size_t scan = 0;
  for (std::size_t i = 2; i + 3 < bytes.size() && !scan; ++i)
    if (bytes[i] == 0xFF && bytes[i + 1] == 0xDA) scan = i + 2 + (bytes[i + 2] << 8 | bytes[i + 3]);
  std::size_t cut = scan + static_cast<std::size_t>(double(bytes.size() - 2 - scan) * fraction);
  if (bytes[cut - 1] == 0xFF) --cut;  // not inside a stuffed byte
  bytes.resize(cut);
  bytes.insert(bytes.end(), {0xFF, 0xD9});
  return bytes;
}

// Each picture's pixels, decoded in order on a thread of its own.
std::vector<std::vector<std::uint8_t>> DecodeAll(const std::vector<std::string>& paths, bool keep,
                                                 std::size_t* keptBytes) {
  std::vector<std::vector<std::uint8_t>> out;
  std::thread([&] {
    if (keep) KeepPictureMemoryOnThisThread();
    for (const std::string& path : paths) {
      Bitmap bitmap(WidenUtf8(path).c_str());
      out.push_back(bitmap.lastStatus() == Ok ? LockedPixels(bitmap.image(), PixelFormat24bppRGB)
                                              : std::vector<std::uint8_t>{});
    }
    *keptBytes = gdip::KeptMemoryBytes();
  }).join();
  return out;
}

TEST(DecodeMemory, PicturesAfterOthersDecodeAsAlone) {
  const Pattern noisy = [](int x, int y) {
    return Rgb{std::uint8_t(x * 7 ^ y * 13), std::uint8_t(x * y), std::uint8_t((x + y) * 5)};
  };
  const Pattern soft = Gradient(1200, 900);
  const std::vector<std::uint8_t> progressive = Jpeg(1200, 900, soft, TJSAMP_420, TJFLAG_PROGRESSIVE);
  struct Picture {
    const char* name;
    std::vector<std::uint8_t> bytes;
  };
  // Busy pictures first, so that the blocks hold data where the later ones
  // need zeros: coefficients their scans skip, rows their data lacks.
  const std::vector<Picture> pictures = {
      {"busy progressive 4:4:4", Jpeg(1400, 1000, noisy, TJSAMP_444, TJFLAG_PROGRESSIVE)},
      {"smaller progressive 4:2:0", progressive},
      {"busy baseline", Jpeg(1200, 900, noisy, TJSAMP_444, 0)},
      {"progressive lacking its later scans", EndBeforeScan(progressive, 3)},
      {"busy progressive again", Jpeg(1400, 1000, noisy, TJSAMP_444, TJFLAG_PROGRESSIVE)},
      {"baseline whose data ends early", CutScan(Jpeg(1200, 900, soft, TJSAMP_420, 0), 0.3)},
      {"progressive with its first scan alone", EndBeforeScan(progressive, 2)},
  };
  TempDir dir;
  std::vector<std::string> paths;
  for (const Picture& p : pictures) {
    ASSERT_GT(p.bytes.size(), 100u) << p.name;
    paths.push_back(dir.file(std::to_string(paths.size()) + ".jpg"));
    WriteFileBytes(paths.back(), p.bytes);
  }
  std::size_t kept = 0, plain = 0;
  const auto alone = DecodeAll(paths, false, &plain);
  const auto after = DecodeAll(paths, true, &kept);
  for (std::size_t i = 0; i < pictures.size(); ++i) {
    SCOPED_TRACE(pictures[i].name);
    EXPECT_FALSE(alone[i].empty());
    EXPECT_TRUE(alone[i] == after[i]);
  }
  EXPECT_EQ(plain, 0u);
  EXPECT_GT(kept, 0u);
  EXPECT_LE(kept, kKeptPictureBytes);
}

}  // namespace
