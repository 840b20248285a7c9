// The resampler's account of its last draw, for tests that bound its work
// without timing it. Internal to platform/gdip.
#pragma once

#include <cstdint>

namespace gdip {

struct DrawReport {
  // Samples weighted and summed, one per tap and byte: what a draw's time
  // grows with.
  std::uint64_t samples = 0;
};

// The last GdipDrawImagePoints or GdipDrawImageRectI on the calling thread.
DrawReport LastDrawReport();

}  // namespace gdip
