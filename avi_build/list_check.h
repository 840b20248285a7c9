// A look at a picture list before a file is made from it: which entries will
// not open and why, sizes, bit depths and orientations apart from the rest,
// files listed twice, gaps in numbered names, and what the list makes at a
// frame rate.
// Reads headers only, so a long list is checked in a fraction of the time
// making it takes.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace avi_build {

struct ListCheck {
  int entries = 0;
  int unopened = 0;  // entries that will not open
  int frames = 0;    // entries that will open: one frame each
  bool stopped = false;
  // The report, lines ending in '\n'.
  std::string text;
};

// Called before each entry with (entry, count); false stops the check, whose
// report then covers the entries looked at. May be empty.
using CheckProgress = std::function<bool(int n, int count)>;

// Checks entries (picture paths, in list order) for making at fps frames a
// second. Touches no shared state: may run on any thread.
[[nodiscard]] ListCheck CheckList(const std::vector<std::string>& entries, std::uint32_t fps,
                                  const CheckProgress& progress = {});

}  // namespace avi_build
