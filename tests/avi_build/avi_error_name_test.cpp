#include "avi_build/avi_error_name.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <string>
#include <thread>

#include "platform/vfw.h"

namespace {

struct Case {
  HRESULT code;
  const char* text;
};

TEST(AviErrorName, KnownAndUnknownCodes) {
  const Case cases[] = {
      {AVIERR_OK, "AVIERR_OK"},
      {REGDB_E_CLASSNOTREG, "REGDB_E_CLASSNOTREG"},
      {MakeAviErr(0x8004406Au), "AVIERR_BADPARAM"},
      {MakeAviErr(0x80044065u), "AVIERR_UNSUPPORTED"},
      {MakeAviErr(0x80044075u), "AVIERR_CANTCOMPRESS"},
      {MakeAviErr(0x800440C6u), "AVIERR_USERABORT"},
      {MakeAviErr(0x800440C7u), "AVIERR_ERROR"},
      {1, "AVI Error Unknown (0x00000001)"},
      {MakeAviErr(0x8004ABCDu), "AVI Error Unknown (0x8004abcd)"},
      {-1, "AVI Error Unknown (0xffffffff)"},
      {MakeAviErr(0x80044076u), "AVI Error Unknown (0x80044076)"},  // between the two runs of codes
  };
  for (const Case& c : cases) EXPECT_STREQ(AviErrorName(c.code), c.text) << c.code;
}

TEST(AviErrorName, EveryCodeOfTheTableHasItsOwnName) {
  for (std::uint32_t code : {0x80044065u, 0x80044066u, 0x80044067u, 0x80044068u, 0x80044069u, 0x8004406Au,
                             0x8004406Bu, 0x8004406Cu, 0x8004406Du, 0x8004406Eu, 0x8004406Fu, 0x80044070u,
                             0x80044071u, 0x80044072u, 0x80044073u, 0x80044074u, 0x80044075u, 0x800440C6u,
                             0x800440C7u, 0x00000000u, 0x80040154u}) {
    const std::string name = AviErrorName(MakeAviErr(code));
    EXPECT_EQ(name.find("Unknown"), std::string::npos) << std::hex << code;
  }
  EXPECT_STREQ(AviErrorName(AVIERR_FILEWRITE), "AVIERR_FILEWRITE");
  EXPECT_STREQ(AviErrorName(AVIERR_NODATA), "AVIERR_NODATA");
}

TEST(AviErrorName, ANameOutlivesLaterUnknownCodes) {
  const char* name = AviErrorName(AVIERR_FILEOPEN);
  const char* unknown = AviErrorName(7);
  AviErrorName(8);
  EXPECT_STREQ(name, "AVIERR_FILEOPEN");
  EXPECT_STREQ(unknown, "AVI Error Unknown (0x00000008)") << "the thread's one text was overwritten";
}

// Two workers formatting different unknown codes at once each keep their own
// intact text.
TEST(AviErrorName, ThreadsKeepTheirOwnUnknownText) {
  std::atomic<int> failures{0};
  auto worker = [&failures](std::uint32_t base) {
    for (std::uint32_t i = 0; i < 20000; ++i) {
      const std::uint32_t code = base + i;
      const char* text = AviErrorName(static_cast<HRESULT>(code));
      char expected[40];
      std::snprintf(expected, sizeof expected, "AVI Error Unknown (0x%08x)", code);
      std::this_thread::yield();
      if (std::string(text) != expected) failures.fetch_add(1);
    }
  };
  std::thread a(worker, 0x10000000u);
  std::thread b(worker, 0x20000000u);
  a.join();
  b.join();
  EXPECT_EQ(failures.load(), 0);
}

}  // namespace
