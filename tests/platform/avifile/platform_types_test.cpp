// The Windows-compatible structures keep their on-disk sizes.
#include <gtest/gtest.h>

#include "platform/avifile.h"

TEST(PlatformTypes, LayoutsMatchTheFileFormats) {
  EXPECT_EQ(sizeof(BITMAPINFOHEADER), 40u);
  EXPECT_EQ(sizeof(AVISTREAMINFOA), 140u);
  EXPECT_EQ(mmioFOURCC('v', 'i', 'd', 's'), 0x73646976u);
}
