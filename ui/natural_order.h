// The order a person expects of file names: runs of digits compare by their
// value (img2 before img10) and letters without regard to case.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace ui {

// The order in which paths (8-bit, UTF-8) stand when sorted: indexes into
// paths. By file name in natural order, then by the whole path in natural
// order, then byte by byte, so equal keys keep no say and the result is the
// same whatever order the paths came in.
std::vector<std::size_t> NaturalOrder(const std::vector<std::string>& paths);

// paths sorted by NaturalOrder.
std::vector<std::string> SortedNaturally(std::vector<std::string> paths);

}  // namespace ui
