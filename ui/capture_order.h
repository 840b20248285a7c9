// The order pictures were taken in.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace ui {

// The order of a list by the time its pictures were taken
// (PictureCaptureTime), ties by name in natural order: indexes into paths.
// Reads each file's header. Any thread.
std::vector<std::size_t> CaptureOrder(const std::vector<std::string>& paths);

}  // namespace ui
