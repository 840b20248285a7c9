// ICCompressorChoose with scripted choosers.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/codec/compressor_choice.h"
#include "platform/vfw.h"
#include "tests/platform/codec/codec_test_support.h"

namespace {

// Installs a chooser for one test and puts the previous one back.
class ScopedChooser {
 public:
  explicit ScopedChooser(CompressorChooser chooser) : m_previous(ICSetCompressorChooser(std::move(chooser))) {}
  ~ScopedChooser() { ICSetCompressorChooser(std::move(m_previous)); }

 private:
  CompressorChooser m_previous;
};

COMPVARS FreshCompvars(LONG cbSize = 64) {
  COMPVARS cv{};
  cv.cbSize = cbSize;
  return cv;
}

struct ChooseCase {
  const char* name;
  LONG cbSize;
  int answer;           // what the script returns
  BOOL expected;
  const char* chosen;   // FourCC of the opened compressor, "none", or "" when FALSE
};

const ChooseCase kChooseCases[] = {
    {"Cancel", 64, -1, FALSE, ""},
    {"Uncompressed", 64, 0, TRUE, "none"},
    {"FirstCompressor", 64, 1, TRUE, "MJPG"},
    {"PastTheList", 64, 99, FALSE, ""},
    {"WrongSize", 60, 1, FALSE, ""},
};

class Choose : public ::testing::TestWithParam<ChooseCase> {};

TEST_P(Choose, FollowsTheChooser) {
  const ChooseCase& c = GetParam();
  int calls = 0;
  std::string title;
  ScopedChooser scoped([&](HWND, const std::string& t, const std::vector<CompressorChoice>&, CompressorSettings&) {
    ++calls;
    title = t;
    return c.answer;
  });
  BITMAPINFOHEADER in = codectest::InputHeader(64, 48);
  COMPVARS cv = FreshCompvars(c.cbSize);
  EXPECT_EQ(ICCompressorChoose(nullptr, 0, &in, nullptr, &cv, "Select Compressor to use"), c.expected);
  EXPECT_EQ(calls, c.cbSize == 64 ? 1 : 0);
  if (calls) {
    EXPECT_EQ(title, "Select Compressor to use");
  }
  if (c.expected) {
    EXPECT_EQ(codec::CompressorName(cv.fccHandler), c.chosen);
    EXPECT_EQ(cv.hic != nullptr, std::string(c.chosen) != "none");
    if (cv.hic) {
      // The opened compressor is ready for the input it was chosen for.
      EXPECT_EQ(ICSendMessage(cv.hic, ICM_COMPRESS_QUERY, reinterpret_cast<DWORD_PTR>(&in), 0), ICERR_OK);
      EXPECT_EQ(ICClose(cv.hic), ICERR_OK);
    }
  } else {
    EXPECT_EQ(cv.hic, nullptr);
  }
}

INSTANTIATE_TEST_SUITE_P(Scripts, Choose, ::testing::ValuesIn(kChooseCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(Choose, WithoutAChooserNothingIsChosen) {
  ScopedChooser none{CompressorChooser{}};
  COMPVARS cv = FreshCompvars();
  EXPECT_FALSE(ICCompressorChoose(nullptr, 0, nullptr, nullptr, &cv, "t"));
  EXPECT_FALSE(ICCompressorChoose(nullptr, 0, nullptr, nullptr, nullptr, "t"));
}

// Entry 0 is always uncompressed; every compressor follows, those that
// decline the input with the reason, and cannot be chosen.
TEST(Choose, OffersEveryCompressorSayingWhichDecline) {
  std::vector<CompressorChoice> offered;
  ScopedChooser scoped([&](HWND, const std::string&, const std::vector<CompressorChoice>& o, CompressorSettings&) {
    offered = o;
    for (std::size_t i = 0; i < o.size(); ++i)
      if (!o[i].declined.empty()) return int(i);
    return -1;
  });
  auto declined = [&] {
    std::vector<std::string> out;
    for (const auto& choice : offered)
      if (!choice.declined.empty()) out.push_back(codec::CompressorName(choice.fccHandler));
    return out;
  };
  struct Case {
    BITMAPINFOHEADER in;
    std::vector<std::string> declined;
  };
  BITMAPINFOHEADER rgb32 = codectest::InputHeader(8, 8);
  rgb32.biBitCount = 32;
  const Case cases[] = {
      {codectest::InputHeader(8, 8), {}},
      {codectest::InputHeader(5, 5), {"H264", "MSVC"}},
      {codectest::InputHeader(10000, 8), {"FMP4"}},
      {rgb32, {"MJPG", "H264", "FMP4", "FFV1", "HFYU", "cvid", "MSVC"}},
  };
  for (const Case& c : cases) {
    BITMAPINFOHEADER in = c.in;
    COMPVARS cv = FreshCompvars();
    EXPECT_FALSE(ICCompressorChoose(nullptr, 0, &in, nullptr, &cv, "t"));  // a declining entry is never chosen
    ASSERT_EQ(offered.size(), 8u);
    EXPECT_EQ(offered[0].name, "Full Frames (Uncompressed)");
    EXPECT_EQ(declined(), c.declined) << c.in.biWidth << "x" << c.in.biHeight;
  }
  EXPECT_EQ(offered[2].declined, "H.264 (x264) takes 24-bit RGB frames only.");
}

// What the chooser set reaches COMPVARS, only where the compressor takes it.
TEST(Choose, SettingsReachTheChoice) {
  struct Case {
    const char* fcc;
    LONG lQ, lKey;
  };
  const Case cases[] = {{"none", ICQUALITY_DEFAULT, 0}, {"MJPG", 6000, 0}, {"H264", 6000, 7},
                        {"FFV1", ICQUALITY_DEFAULT, 0}, {"MSVC", ICQUALITY_DEFAULT, 7}};
  for (const Case& c : cases) {
    FOURCC fcc = 0;
    ASSERT_TRUE(codec::ParseCompressorName(c.fcc, &fcc));
    CompressorSettings settings;
    settings.quality = 60;
    settings.keyInterval = 7;
    ScopedChooser scoped(codec::ChooserPicking(fcc, settings));
    BITMAPINFOHEADER in = codectest::InputHeader(16, 16);
    COMPVARS cv = FreshCompvars();
    ASSERT_TRUE(ICCompressorChoose(nullptr, 0, &in, nullptr, &cv, "t")) << c.fcc;
    EXPECT_EQ(cv.lQ, c.lQ) << c.fcc;
    EXPECT_EQ(cv.lKey, c.lKey) << c.fcc;
    if (cv.hic) {
      EXPECT_EQ(ICClose(cv.hic), ICERR_OK);
    }
  }
}

TEST(Choose, PickingByFourcc) {
  BITMAPINFOHEADER in = codectest::InputHeader(5, 5);
  struct Pick {
    std::string option;
    BOOL expected;
    std::string chosen;
  };
  const Pick picks[] = {{"none", TRUE, "none"}, {"NONE", TRUE, "none"}, {"mjpg", TRUE, "MJPG"}, {"CVID", TRUE, "cvid"},
                        {"MSVC", FALSE, ""},    {"H264", FALSE, ""},    {"ABCD", FALSE, ""}};
  for (const Pick& p : picks) {
    FOURCC fcc = 0;
    ASSERT_TRUE(codec::ParseCompressorName(p.option, &fcc)) << p.option;
    ScopedChooser scoped(codec::ChooserPicking(fcc));
    COMPVARS cv = FreshCompvars();
    EXPECT_EQ(ICCompressorChoose(nullptr, 0, &in, nullptr, &cv, "t"), p.expected) << p.option;
    if (p.expected) {
      EXPECT_EQ(codec::CompressorName(cv.fccHandler), p.chosen);
    }
    if (cv.hic) {
      EXPECT_EQ(ICClose(cv.hic), ICERR_OK);
    }
  }
  FOURCC fcc;
  EXPECT_FALSE(codec::ParseCompressorName("MJPEG", &fcc));
  EXPECT_FALSE(codec::ParseCompressorName("", &fcc));
}

}  // namespace
